#pragma once
// Test fixture of the analysis engine's modules: a private QD_ROOT, a
// daemon state with a logger ("QDAN", prefix "QDA") that the engine works
// for, a current event file, and a fresh engine for every test. Helpers
// build tag and pattern tables by hand and read back the platform log and
// the alerts.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "anal_alert.h"
#include "analysis_engine.h"
#include "pattern_table.h"
#include "tag_exits.h"
#include "tag_table.h"
#include "temp_root.h"

// One row of a hand-built tag table.
struct TagSpec {
  const char* name;
  uint32_t flags = 0;        // table flags
  const char* separator = nullptr;
  const char* redirect = nullptr;
  TagExitFn end_exit = nullptr;
};

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetEngine();
    SetAnalAlertHook(nullptr);  // notifications go to the alerts file
    st_.module_name = "qdAnalyze";
    std::snprintf(st_.message_prefix, sizeof st_.message_prefix, "QDA");
    st_.log.reset(new CLogMessage("QDAN"));
    ASSERT_EQ(st_.log->CreateError, 0) << st_.log->szErrorMsg;
    st_.envelope.nMessageID = 0x2A;
    an_.file.Cfile_type = 100;
    std::snprintf(an_.file.Cprod_id, sizeof an_.file.Cprod_id, "SN1234");
    std::snprintf(an_.file.Cstore_filename, sizeof an_.file.Cstore_filename, "/sp/store/e1");
    Engine().daemon = &st_;
    Engine().analyzer = &an_;
  }
  void TearDown() override {
    ReleasePatternTable(pending_);
    SetTagTranslateLookup(nullptr);
    ResetEngine();
    Engine().daemon = nullptr;
    Engine().analyzer = nullptr;
  }

  // A table of the rows (in the order given) into `slot`; redirects
  // resolved. Fails the test when a redirect does not resolve.
  TAGENTRY* InstallTags(const std::vector<TagSpec>& rows, int slot = 0) {
    TAGENTRY* table = NewTagTable(static_cast<long>(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
      static const uint32_t kBits[6] = {flag_nodata,   flag_repdata,  flag_catdata,
                                        flag_redirect, flag_makehex, flag_droptag};
      const char* columns[6];
      for (int b = 0; b < 6; ++b) columns[b] = (rows[i].flags & kBits[b]) ? "Y" : "N";
      TAGENTRY& entry = table[kScratchTags + i];
      FillTagEntry(entry, rows[i].name, rows[i].separator,
                   rows[i].redirect ? rows[i].redirect : "<no redirect>", columns);
      entry.end_exit = rows[i].end_exit;
    }
    EXPECT_EQ(0, ResolveTagRedirects(table, 100));
    ReleaseTagTable(Engine().tags[slot]);
    Engine().tags[slot] = table;
    return table;
  }

  // Adds one pattern row to the table being built for `slot`; returns
  // FillPatternEntry's result. Call FinishPatterns() before use.
  int AddPattern(const char* apply, int lineseq, int rule, const char* pattern,
                 std::vector<const char*> tags = {}, int slot = 0) {
    tags.resize(kCaptureCount, nullptr);
    const char* names[kCaptureCount];
    for (int k = 0; k < kCaptureCount; ++k) names[k] = tags[k];
    PatternEntry* table = pending_ ? pending_ : (pending_ = new PatternEntry[32]);
    pending_slot_ = slot;
    return FillPatternEntry(table[pending_count_++], 100, slot, apply, lineseq, rule, pattern, names);
  }
  void FinishPatterns() {
    ReleasePatternTable(Engine().patterns[pending_slot_]);
    Engine().patterns[pending_slot_] = pending_;
    pending_ = nullptr;
    pending_count_ = 0;
  }

  TAGENTRY& Tag(const char* name, int slot = 0) {
    TAGENTRY* entry = FindTagEntry(slot, name);
    if (!entry) ADD_FAILURE() << "no tag " << name;
    static TAGENTRY none;
    return entry ? *entry : none;
  }
  bool HasData(const char* name) { return (Tag(name).flags & TAG_HAS_DATA) != 0; }

  std::string Log() const { return root_.read("/var/log/qd/qd.log"); }
  std::string Alerts() const { return root_.read("/var/log/qd/alerts.log"); }
  static int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

  TempRoot root_;
  DaemonState st_;
  AnalyzerState an_;

 private:
  PatternEntry* pending_ = nullptr;
  int pending_count_ = 0;
  int pending_slot_ = 0;
};
