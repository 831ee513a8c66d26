#include "handler_patterns.h"

#include "analysis_engine.h"
#include "daemon_log.h"

// The extended-analysis patterns, numbered 0 to 43; handlers address them
// by number. "\n" is a newline and "\\." a literal dot in the expression.
const std::vector<const char*>& EventHandlerPatternTexts() {
  static const std::vector<const char*> texts = {
      /*  0 link error handler */ "\n[[:blank:]]*Zarvekdata LESB counts[[:space:]]*",
      /*  1 link error handler */ "\n[[:blank:]]*cage[[:digit:]]*[[:blank:]]+",
      /*  2 link error handler */ "\n[[:blank:]]*host[[:digit:]]*[[:blank:]]+",
      /*  3 drive cage handler */ "\n[[:blank:]]*-+[[:blank:]]*showcage -d[[:blank:]]+",
      /*  4 drive cage handler */ "\n[[:blank:]]*[[:digit:]][.[:digit:]]*:[[:digit:]][[:blank:]]+[[:xdigit:]]+[[:blank:]]+[^[:space:]]+[[:blank:]]+([[:digit:]]+)[[:blank:]]+",
      /*  5 drive cage handler */ "\n[[:blank:]]*VendorId,ProductId[[:blank:]]+[^[:space:]]+,([^[:space:]]+)",
      /*  6 drive cage handler */ "\n[[:blank:]]*VendorId,ProductId[[:blank:]]+[^[:space:]]+,[^[:space:]]+[[:blank:]]+[^[:space:]]+,([^[:space:]]+)",
      /*  7 drive cage handler */ "[Cc]age[[:digit:]]+-([AB]),",
      /*  8 drive cage handler */ "\n[[:blank:]]*State[(]self,partner[)][[:blank:]]+Normal Op,Download fw in process",
      /*  9 drive cage handler */ "\n[[:blank:]]*State[(]self,partner[)][[:blank:]]+[^\n,]+,[^\n,]+Normal Op,Download fw in process",
      /* 10 drive cage handler */ "cage time[[:blank:]]+[[:alpha:]]+[[:blank:]]+([[:alpha:]]+)[[:blank:]]+([[:digit:]]+)[[:blank:]]+([[:digit:]]+):([[:digit:]]+):([[:digit:]]+)[[:blank:]]+([[:digit:]]{4})\\.",
      /* 11 drive cage handler */ "\n[[:blank:]]*State[(]self,partner[)][[:blank:]]+Normal Op,Normal Op",
      /* 12 drive cage handler */ "\n[[:blank:]]*State[(]self,partner[)][[:blank:]]+[^\n,]+,[^\n,]+Normal Op,Normal Op",
      /* 13 disk handlers */ "\n[[:blank:]]*Id[[:blank:]]+(Cage_){0,1}Pos[[:blank:]]+SizeMB[^\n]+\n[[:blank:]]*([-[:digit:]]+)[[:blank:]]+([-.?:[:digit:]]+)[[:blank:]]+([-[:digit:]]+)([[:blank:]]+[^[:space:]]+){4}[[:blank:]]+([^[:space:]]+)",
      /* 14 disk handlers */ "Failure:[[:blank:]]*(.+) on disk (wwn ){0,1}[[:xdigit:]]+\\.",
      /* 15 disk handlers */ "Vqx error code =[[:blank:]]*([^-]+)[[:blank:]]*-",
      /* 16 disk handlers */ "Vqx error info =[[:blank:]]*([^-]+)[[:blank:]]*-",
      /* 17 disk handlers */ "Sys error code =[[:blank:]]*([^-]+)([[:blank:]]*-){0,1}",
      /* 18 not used by any handler */ "\n[[:blank:]]*Id[[:blank:]]+Cage_Pos[[:blank:]]+Device_id[^\n]+\n[[:blank:]]*[[:digit:]]+[[:blank:]]+[^[:space:]]+[[:blank:]]+([^[:space:]]+)",
      /* 19 node power and battery handlers */ "\n[[:blank:]]+-+ showbattery [^\n]+[[:blank:]\n]+[[:blank:]]*Node [[:digit:]]+ Battery Life =",
      /* 20 node power and battery handlers */ "\n[[:blank:]]+-+ showbattery [^\n]+[[:blank:]\n]+[[:blank:]]*Bat[[:blank:]]+-+Power Supply[^\n]+\n[[:blank:]]*Life [^\n]+\n[[:blank:]]*(Node)",
      /* 21 node power and battery handlers */ "\n[[:blank:]]+-+ showbattery [^\n]+[[:blank:]\n]*\n[[:blank:]]*-+Node[[:blank:]]+[[:digit:]]+[[:blank:]]+PS[[:blank:]]+[[:digit:]]+(-+)[[:blank:]]*\n",
      /* 22 node power and battery handlers */ "\n([[:blank:]]*Power Supply[[:blank:]]+[[:digit:]]+[[:blank:]]+)",
      /* 23 node power and battery handlers */ "\n([[:blank:]]*Node[[:blank:]]+[[:digit:]]+[[:blank:]]*\n)",
      /* 24 node power and battery handlers */ "\n([[:blank:]]*Battery[[:blank:]]+[[:digit:]]+[[:blank:]]+)",
      /* 25 node power and battery handlers */ "^[^\n]+(\n[[:blank:]]+[[:digit:]]+([[:blank:]]+[^[:space:]]+){8,11}[[:blank:]]*)+(.)",
      /* 26 not used by any handler */ " Too many batteries\\.",
      /* 27 node power and battery handlers */ "\n[[:blank:]]*Battery[[:blank:]]+([[:digit:]]+)[[:blank:]]+Serial Number [(]([^)]*)[)]",
      /* 28 node power and battery handlers */ "Node ([[:digit:]]+) PS ([[:digit:]]+) Battery[[:blank:]]+([^[:space:]]+)",
      /* 29 node power and battery handlers */ "Node ([[:digit:]]+) Power Supply ([[:digit:]]+)[[:blank:]]+(.+)[[:space:]]*$",
      /* 30 drive cage handler */ "\n[[:blank:]]*Position:[[:blank:]]+([^\n]+)[[:blank:]]*\n",
      /* 31 drive cage handler */ "cage time[[:blank:]]+([[:digit:]]+)[[:blank:]]+seconds from boot",
      /* 32 node power and battery handlers */ "\nCLI[[:blank:]]+[^\n]+[[:blank:]]+failed returned[[:blank:]]+[0-9]+[[:blank:]]*\n",
      /* 33 node power and battery handlers */ "\n[[:blank:]]+-+ shownode [^\n]*-+[[:blank:]]*\n",
      /* 34 node power and battery handlers */ "(\n)[[:blank:]]*-+[^\n]+-+[[:blank:]]*\n",
      /* 35 node power and battery handlers */ "\n[[:blank:]]*Manufacturer[[:blank:]]*:[[:blank:]]*([^\n]+)[[:blank:]]*\n",
      /* 36 node power and battery handlers */ "\n[[:blank:]]*Model[[:blank:]]*:[[:blank:]]*([^\n]+)[[:blank:]]*\n",
      /* 37 node power and battery handlers */ "\n[[:blank:]]*Serial Number[[:blank:]]*:[[:blank:]]*([^\n]+)[[:blank:]]*\n",
      /* 38 node power and battery handlers */ "\n[[:blank:]]*State[[:blank:]]+:[[:blank:]]+([^\n]+)[[:blank:]]*\n",
      /* 39 node power and battery handlers */ "\n[[:blank:]]*Max Battery Life[(]mins[)][[:blank:]]+:[[:blank:]]+([^\n]+)[[:blank:]]*\n",
      /* 40 node power and battery handlers */ "\n[[:blank:]]*Expired[[:blank:]]+:[[:blank:]]+([^\n]+)[[:blank:]]*\n",
      /* 41 node power and battery handlers */ "\n[[:blank:]]*Charge State[[:blank:]]+:[[:blank:]]+([^\n]+)[[:blank:]]*\n",
      /* 42 node power and battery handlers */ "\n[[:blank:]]+-+ (show[^\n]*) -+[[:blank:]]*\n",
      /* 43 drive cage handler */ "cage time[[:blank:]]+([[:digit:]]{4})-([[:digit:]]{2})-([[:digit:]]{2})[[:blank:]]+([[:digit:]]+):([[:digit:]]+):([[:digit:]]+)[[:blank:]]+[^[:space:]]+\\.",
  };
  return texts;
}

int CompileHandlerPatterns(DaemonState& st, const std::vector<const char*>& texts) {
  AnalyzerState& an = Analyzer(st);
  ReleaseHandlerPatterns(an);
  int failed = 0;
  for (size_t i = 0; i < texts.size(); ++i) {
    auto slot = std::make_unique<HandlerPattern>();
    int rc = regcomp(&slot->regex, texts[i], REG_EXTENDED);
    if (rc == 0) {
      slot->compiled = true;
    } else {
      char why[1024];
      regerror(rc, &slot->regex, why, sizeof why);
      DaemonLogOwn(st, "0036", '2', -1, "event handler patterns", static_cast<long>(i));
      DaemonLogOwn(st, "9999", '2', why);
      ++failed;
    }
    an.patterns.push_back(std::move(slot));
  }
  return failed;
}

void ReleaseHandlerPatterns(AnalyzerState& an) {
  for (auto& slot : an.patterns) {
    if (slot->compiled) regfree(&slot->regex);
  }
  an.patterns.clear();
}

const regex_t* HandlerPatternAt(int n) {
  const AnalyzerState* an = Engine().analyzer;
  if (!an || n < 0 || static_cast<size_t>(n) >= an->patterns.size()) return nullptr;
  const HandlerPattern* p = an->patterns[n].get();
  return p && p->compiled ? &p->regex : nullptr;
}
