// The template engine: keywords, "%%", what stays as written, line limits,
// the XML preparation of the free texts, and failures.
#include "mail_template.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "temp_root.h"
#include "testdata/mail_root.h"

namespace {

std::string Expand(const std::string& line, const NotifyData& nd, bool xml = false) {
  std::string out;
  TemplateExpandLine(line.data(), line.size(), nd, xml, out);
  return out;
}

// Runs the engine over `text` as a template; the output in `out`.
int ExpandFile(const std::string& text, const NotifyData& nd, std::string& out,
        CLogMessage* log = nullptr) {
  FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "rb");
  char* buf = nullptr;
  size_t len = 0;
  FILE* mem = open_memstream(&buf, &len);
  int rc = TemplateCopy(in, "test.tmplt", nd, mem, log, false);
  std::fclose(mem);
  std::fclose(in);
  out.assign(buf, len);
  std::free(buf);
  return rc;
}

std::string SourceFile(const std::string& rel) {
  const char* src = std::getenv("QD_SOURCE_DIR");
  std::ifstream in(std::string(src ? src : ".") + "/" + rel, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class MailTemplate : public ::testing::Test {
 protected:
  void SetUp() override { FillSample(nd_); }
  NotifyData nd_;
};

TEST_F(MailTemplate, KeywordsPercentSignsAndWhatStaysAsWritten) {
  EXPECT_EQ(Expand("Id %NOTID. at %EVENTTIME.%%", nd_), "Id P1042 at 2026/03/07 05:04:05.06%");
  EXPECT_EQ(Expand("%EVENTTIME.=%EVENTTIMELAST.", nd_),
            "2026/03/07 05:04:05.06=2026/03/07 05:04:05.06");
  EXPECT_EQ(Expand("%NOSUCH. and %notid. stay", nd_), "%NOSUCH. and %notid. stay");
  EXPECT_EQ(Expand("lone %", nd_), "lone %");
  EXPECT_EQ(Expand("50% of %SERIAL", nd_), "50% of %SERIAL");
  // After an unknown keyword the scan goes on right after its '%'.
  EXPECT_EQ(Expand("%%NOTID. %x%NOTID.", nd_), "%NOTID. %xP1042");
  EXPECT_EQ(Expand("%%%%", nd_), "%%");
  EXPECT_EQ(Expand("%.", nd_), "%.");
}

TEST_F(MailTemplate, EveryKeywordAsTheExpectedFileSays) {
  std::string tmpl = SourceFile("notifier/testdata/all_keywords.tmplt");
  ASSERT_FALSE(tmpl.empty());
  std::string out;
  ASSERT_EQ(ExpandFile(tmpl, nd_, out), kTemplateDone);
  EXPECT_EQ(out, SourceFile("notifier/testdata/all_keywords.expected"));
}

TEST_F(MailTemplate, OnlyTheFreeTextsArePreparedForXml) {
  NotifySet(nd_.SITENAME, "A&B <hall>");
  NotifySet(nd_.ABSTRACT, "x < y & \"z\"");
  NotifySet(nd_.NOTCOMMENTS, "'c'");
  EXPECT_EQ(Expand("%SITENAME.|%ABSTRACT.|%NOTCOMMENTS.", nd_, true),
            "A&B <hall>|x &lt; y &amp; &quot;z&quot;|&apos;c&apos;");
  EXPECT_EQ(Expand("%TEXT.", nd_, true).find("&lt;magazine 1&gt;"), 7u);
  EXPECT_EQ(Expand("%CUSTTEXT.", nd_, true), "Disk 7 &lt;magazine 1&gt; failed &amp; was spared.\n");
  EXPECT_EQ(Expand("%ABSTRACT.", nd_, false), "x < y & \"z\"");
}

TEST_F(MailTemplate, LinesUpTo4095CharactersAndEveryOutputLineEnded) {
  std::string out;
  std::string longest(kTemplateLineMax, 'a');
  ASSERT_EQ(ExpandFile(longest + "\nlast without line feed", nd_, out), kTemplateDone);
  EXPECT_EQ(out, longest + "\nlast without line feed\n");
  ASSERT_EQ(ExpandFile(longest, nd_, out), kTemplateDone);
  EXPECT_EQ(out, longest + "\n");

  TempRoot root;
  CLogMessage log("QDNOT");
  EXPECT_EQ(ExpandFile("first\n" + longest + "a\nnever\n", nd_, out, &log), kTemplateFailed);
  EXPECT_EQ(out, "first\n");
  EXPECT_NE(root.read("/var/log/qd/qd.log").find("QDZ0080 2 File error reading template file 'test.tmplt'"),
            std::string::npos)
      << root.read("/var/log/qd/qd.log");
}

TEST_F(MailTemplate, FailuresToOpenOrWriteAreLogged) {
  TempRoot root;
  CLogMessage log("QDNOT");
  FILE* out = std::fopen("/dev/null", "wb");
  EXPECT_EQ(qdTemplate(root.under("/missing.tmplt").c_str(), nd_, out, &log, false), kTemplateFailed);
  std::fclose(out);
  root.write("/t.tmplt", "%NOTID.\n");
  FILE* full = std::fopen("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  setvbuf(full, nullptr, _IONBF, 0);
  EXPECT_EQ(qdTemplate(root.under("/t.tmplt").c_str(), nd_, full, &log, false), kTemplateFailed);
  std::fclose(full);
  std::string text = root.read("/var/log/qd/qd.log");
  EXPECT_NE(text.find("File error opening template file '" + root.under("/missing.tmplt") + "'"),
            std::string::npos) << text;
  EXPECT_NE(text.find("File error writing temp mail file '<not available>'"), std::string::npos)
      << text;
}

}  // namespace
