#pragma once
// Test fixture of the analysis engine's modules: a private QD_ROOT, a
// daemon with a logger ("QDAN", prefix "QDA") that the engine works for, a
// current event file, a fresh engine per test, and hand-built tables.

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "anal_alert.h"
#include "pattern_table.h"
#include "tag_exits.h"
#include "tag_table.h"
#include "temp_root.h"

// One row of a hand-built tag table.
struct TagDef {
  const char* name;
  uint32_t flags = 0;
  const char* separator = nullptr;
  const char* redirect = nullptr;
  TagExitFn end_exit = nullptr;
};

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetEngine();  // no seams: notifications go to the alerts file
    st_.module_name = "qdAnalyze";
    std::snprintf(st_.message_prefix, sizeof st_.message_prefix, "QDA");
    st_.log.reset(new CLogMessage("QDAN"));
    st_.envelope.nMessageID = 0x2A;
    an_.file.Cfile_type = 100;
    std::snprintf(an_.file.Cprod_id, sizeof an_.file.Cprod_id, "SN1234");
    std::snprintf(an_.file.Cstore_filename, sizeof an_.file.Cstore_filename, "/sp/store/e1");
    Engine().daemon = &st_;
    Engine().analyzer = &an_;
  }
  void TearDown() override {
    ResetEngine();
    Engine().daemon = nullptr;
    Engine().analyzer = nullptr;
  }

  // The rows as slot 0's tag table, values "<no value>", redirects resolved.
  void InstallTags(const std::vector<TagDef>& rows) {
    TAGENTRY* table = NewTagTable(static_cast<long>(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
      const uint32_t bits[6] = {flag_nodata, flag_repdata, flag_catdata, flag_redirect, flag_makehex, flag_droptag};
      const char* columns[6];
      for (int b = 0; b < 6; ++b) columns[b] = (rows[i].flags & bits[b]) ? "Y" : "N";
      TAGENTRY& entry = table[kScratchTags + i];
      FillTagEntry(entry, rows[i].name, rows[i].separator, rows[i].redirect ? rows[i].redirect : "", columns);
      entry.end_exit = rows[i].end_exit;
    }
    for (TAGENTRY* e = table; e->tagname[0]; ++e) e->data = "<no value>";
    ASSERT_EQ(0, ResolveTagRedirects(table, 100));
    Engine().tags[0] = table;
  }

  // The rows as slot 0's pattern table.
  struct PatternDef {
    const char* apply;
    int lineseq, rule;
    const char* pattern;
    std::vector<const char*> tags;
  };
  void InstallPatterns(const std::vector<PatternDef>& rows) {
    PatternEntry* table = new PatternEntry[rows.size() + 1];
    Engine().patterns[0] = table;
    for (size_t i = 0; i < rows.size(); ++i) {
      std::vector<const char*> tags = rows[i].tags;
      tags.resize(kCaptureCount, nullptr);
      ASSERT_EQ(kPatternFilled, FillPatternEntry(table[i], 100, 0, rows[i].apply, rows[i].lineseq,
                                                 rows[i].rule, rows[i].pattern, tags.data()));
    }
  }

  TAGENTRY& Tag(const char* name) {
    TAGENTRY* entry = FindTagEntry(0, name);
    if (!entry) throw std::runtime_error(std::string("no tag ") + name);
    return *entry;
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
};
