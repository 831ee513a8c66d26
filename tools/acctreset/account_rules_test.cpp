#include "account_rules.h"

#include <crypt.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "default_tables.h"
#include "nd_munge.h"

namespace {

class AccountRules : public ::testing::Test {
 protected:
  void SetUp() override {
    InitDefaultTables(t_);
    ASSERT_EQ(UnscrambleShadowTable(t_.Uroot, "root"), 0);
    ASSERT_EQ(UnscrambleServiceTables(t_), 0);
  }

  std::string Shadow(const std::string& in, RewriteOutcome& outcome) {
    std::vector<ShadowRule> rules = {{"qdapp", SHADOW_LOCK, nullptr},
                                     {"spdood", SHADOW_DEFAULT, t_.Uspdood},
                                     {"spvar", SHADOW_DEFAULT, t_.Uspvar}};
    std::string out;
    RewriteShadowText(in, rules, out, outcome);
    return out;
  }

  std::string Web(const std::string& in, RewriteOutcome& outcome) {
    std::vector<WebRule> rules = {{"spdood", t_.Uspdood_ht}, {"setupusr", t_.Usetupusr_ht}};
    std::string out;
    RewriteWebText(in, rules, out, outcome);
    return out;
  }

  static std::string Line(const PWS& entry) {
    std::string s = entry.buf;
    return s.substr(0, s.size() - 1);
  }

  DefaultTables t_;
};

// The passwords the README gives operators, current default first.
struct Documented {
  const char* account;
  const PWS* shadow;  // null: web only
  const PWS* web;     // null: shadow only
  const char* current;
  const char* earlier;
};

bool Verifies(const char* password, const std::string& hash) {
  struct crypt_data data;
  std::memset(&data, 0, sizeof data);
  const char* got = crypt_r(password, hash.c_str(), &data);
  return got != nullptr && hash == got;
}

TEST_F(AccountRules, TablesHoldSha512HashesOfTheDocumentedPasswords) {
  const Documented docs[] = {
      {"root", t_.Uroot, nullptr, "QdRoot#Reset2026", "QdRoot#Reset2024"},
      {"spdood", t_.Uspdood, t_.Uspdood_ht, "QdDood#Reset2026", "QdDood#Reset2024"},
      {"spvar", t_.Uspvar, t_.Uspvar_ht, "QdVar#Reset2026", "QdVar#Reset2024"},
      {"zarvekcust", t_.Uzarvekcust, t_.Uzarvekcust_ht, "QdCust#Reset2026", "QdCust#Reset2024"},
      {"setupusr", nullptr, t_.Usetupusr_ht, "QdSetup#Reset2026", "QdSetup#Reset2024"},
  };
  for (const Documented& d : docs) {
    const char* passwords[] = {d.current, d.earlier};
    for (int i = 0; i < 2; ++i) {
      if (d.shadow) {
        EXPECT_EQ(std::string(d.shadow[i].buf).rfind("$6$", 0), 0u) << d.account;
        EXPECT_TRUE(Verifies(passwords[i], d.shadow[i].buf)) << d.account << " " << i;
      }
      if (d.web) {
        std::string prefix = std::string(d.account) + ":";
        std::string line = Line(d.web[i]);
        ASSERT_EQ(line.rfind(prefix + "$6$", 0), 0u) << d.account;
        EXPECT_TRUE(Verifies(passwords[i], line.substr(prefix.size()))) << d.account << " " << i;
      }
    }
    if (d.shadow) {
      EXPECT_EQ(d.shadow[2].scrambled, nullptr);
    }
    if (d.web) {
      EXPECT_EQ(d.web[2].scrambled, nullptr);
    }
  }
}

TEST_F(AccountRules, BadScrambledEntriesFailTheTable) {
  std::string wrongUser = nDmunge("spvar:$6$abc$def", 0, kAcctMungeKey);
  std::string noHash = nDmunge("spdood::1:2", 0, kAcctMungeKey);
  std::string webExtra = nDmunge("spdood:$6$abc$def:x", 0, kAcctMungeKey);
  std::string good = nDmunge("spdood:$6$abc$def:19000::", 0, kAcctMungeKey);
  for (const std::string& bad : {std::string("414"), std::string("4X"), wrongUser, noHash}) {
    PWS table[3] = {{good.c_str(), {}}, {bad.c_str(), {}}, {nullptr, {}}};
    testing::internal::CaptureStderr();
    EXPECT_EQ(UnscrambleShadowTable(table, "spdood"), -1) << bad;
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Bad default password entry for spdood"),
              std::string::npos);
    EXPECT_STREQ(table[0].buf, "$6$abc$def");
    EXPECT_STREQ(table[1].buf, "");
  }
  PWS web[2] = {{webExtra.c_str(), {}}, {nullptr, {}}};
  testing::internal::CaptureStderr();
  EXPECT_EQ(UnscrambleWebTable(web, "spdood"), -1);
  testing::internal::GetCapturedStderr();
}

TEST_F(AccountRules, ShadowPasswordFieldsFollowTheRules) {
  const std::string current = t_.Uspdood[0].buf;
  const std::string earlier = t_.Uspdood[1].buf;
  const std::string varCurrent = t_.Uspvar[0].buf;
  RewriteOutcome outcome;
  std::string in =
      "root:$6$r$rootsown:19000:0:99999:7:::\n"
      "spdood:" + earlier + ":19000:0:99999:7:::\n"
      "spvar:$6$mine$locally:19001:0:99999:7:::\n"
      "qdapp:$6$q$qq:19002::::::\n"
      "spdoodle:$6$x$y:1::::::\n";
  std::string expected =
      "root:$6$r$rootsown:19000:0:99999:7:::\n"
      "spdood:" + current + ":19000:0:99999:7:::\n"
      "spvar:$6$mine$locally:19001:0:99999:7:::\n"
      "qdapp:!!:19002::::::\n"
      "spdoodle:$6$x$y:1::::::\n";
  EXPECT_EQ(Shadow(in, outcome), expected);
  EXPECT_EQ(outcome.notices, (std::vector<std::string>{"Set default password for spdood",
                                                       "Retained locally set password for spvar"}));

  // Locked, empty and already-current passwords all become the default;
  // a line of one field, blank lines and a last line without a line feed
  // are copied as they are.
  outcome = RewriteOutcome();
  in = "spdood:!$6$old$x:1:::\n\nspvar\nspvar::5\nspdood:" + current + "\nqdapp:x";
  expected = "spdood:" + current + ":1:::\n\nspvar\nspvar:" + varCurrent + ":5\nspdood:" + current +
             "\nqdapp:!!";
  EXPECT_EQ(Shadow(in, outcome), expected);
  EXPECT_EQ(outcome.notices, (std::vector<std::string>{"Set default password for spdood",
                                                       "Set default password for spvar",
                                                       "Set default password for spdood"}));
}

TEST_F(AccountRules, ForcedRuleCountsItsLines) {
  std::vector<ShadowRule> rules = {{"root", SHADOW_FORCE, t_.Uroot}};
  RewriteOutcome outcome;
  std::string out;
  RewriteShadowText("root:$6$mine$x:1::\nbin:*:1::\n", rules, out, outcome);
  EXPECT_EQ(out, "root:" + std::string(t_.Uroot[0].buf) + ":1::\nbin:*:1::\n");
  EXPECT_EQ(outcome.forced, 1);
  EXPECT_TRUE(outcome.notices.empty());
  outcome = RewriteOutcome();
  RewriteShadowText("bin:*:1::\n", rules, out, outcome);
  EXPECT_EQ(outcome.forced, 0);
}

TEST_F(AccountRules, WebLinesFollowTheRules) {
  const std::string current = Line(t_.Uspdood_ht[0]);
  const std::string earlier = Line(t_.Uspdood_ht[1]);
  const std::string setup = Line(t_.Usetupusr_ht[0]);
  const std::string longLine = "spdood:" + std::string(2000, 'h');
  RewriteOutcome outcome;
  EXPECT_EQ(Web(earlier + "\nother:$6$o$o\nsetupusr:!locked\n", outcome),
            current + "\nother:$6$o$o\n" + setup + "\n");
  EXPECT_EQ(outcome.notices, (std::vector<std::string>{"Set default http password for spdood",
                                                       "Set default http password for setupusr"}));
  // A long locally set line stays whole; a last line without a line feed
  // keeps having none.
  outcome = RewriteOutcome();
  EXPECT_EQ(Web(longLine + "\nsetupusr:", outcome), longLine + "\n" + setup);
  EXPECT_EQ(outcome.notices, (std::vector<std::string>{
                                 "Retained locally set http password for spdood",
                                 "Set default http password for setupusr"}));
  // A file without any of the accounts is copied unchanged.
  outcome = RewriteOutcome();
  EXPECT_EQ(Web("a:b\n\nspdoodx:y", outcome), "a:b\n\nspdoodx:y");
  EXPECT_TRUE(outcome.notices.empty());
}

}  // namespace
