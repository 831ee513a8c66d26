// qdconf: reads and changes the configuration dictionary.
//
//   qdconf get KEY [LEVEL]        prints the value; LEVEL defaults to the
//                                 system level (SYSTEM_LEVEL), and a key the
//                                 level lacks is taken from Global
//   qdconf set KEY VALUE [LEVEL]  stores the value in the state file, where
//                                 it overrides the configuration; LEVEL
//                                 defaults to Global
//   qdconf list                   every key of every level with its value
//                                 and where it comes from (conf or state)
//
// LEVEL is Global, Dev, Test or Prod in any case, or 1..4. Exit status: 0
// done, 1 failure (message on standard error), 2 bad arguments (usage).

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "gdda.h"

namespace {

enum ExitCode { EXIT_DONE = 0, EXIT_FAILED = 1, EXIT_USAGE = 2 };

const char* const kUsage =
    "usage: qdconf get KEY [LEVEL]\n"
    "       qdconf set KEY VALUE [LEVEL]\n"
    "       qdconf list\n"
    "LEVEL: Global, Dev, Test or Prod (any case) or 1..4; get defaults to the\n"
    "system level (falling back to Global), set to Global.\n";

int Usage(const char* problem) {
  if (problem) std::fprintf(stderr, "qdconf: %s\n", problem);
  std::fputs(kUsage, stderr);
  return EXIT_USAGE;
}

int Failed(const char* text) {
  std::fprintf(stderr, "qdconf: %s\n", text);
  return EXIT_FAILED;
}

int Get(CGDDA& dictionary, const char* key, const char* leveltext) {
  int level = GDDA_GLOBAL;
  if (leveltext) {
    level = GddaLevelFromText(leveltext);
    if (level == GDDA_INVALID) return Usage("unknown level");
  } else {
    char name[kGddaLevelTextSize];
    level = dictionary.GetSystemLevel(name);
    if (level == GDDA_INVALID) {
      std::fprintf(stderr, "qdconf: system level unknown (%s); reading Global\n",
                   dictionary.szErrorMsg);
      level = GDDA_GLOBAL;
    }
  }
  std::string value;
  if (!dictionary.GetValue(key, value, level)) return Failed(dictionary.szErrorMsg);
  std::printf("%s\n", value.c_str());
  return EXIT_DONE;
}

int Set(CGDDA& dictionary, const char* key, const char* value, const char* leveltext) {
  int level = leveltext ? GddaLevelFromText(leveltext) : GDDA_GLOBAL;
  if (level == GDDA_INVALID) return Usage("unknown level");
  if (!dictionary.SetValue(key, value, level)) return Failed(dictionary.szErrorMsg);
  return EXIT_DONE;
}

int List(CGDDA& dictionary) {
  std::vector<GddaEntry> entries;
  if (dictionary.List(entries) != 0) return Failed(dictionary.szErrorMsg);
  for (const GddaEntry& entry : entries) {
    const char* source = entry.overrides_conf ? "state, overrides conf"
                                              : (entry.from_state ? "state" : "conf");
    std::printf("%-6s %s = %s  (%s)\n", GddaLevelName(entry.level), entry.key.c_str(),
                entry.value.c_str(), source);
  }
  return std::fflush(stdout) == 0 ? EXIT_DONE : Failed("could not write the list");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage(nullptr);
  std::string command = argv[1];
  if (command == "-h" || command == "--help") {
    std::fputs(kUsage, stdout);
    return EXIT_DONE;
  }
  bool get = command == "get" && (argc == 3 || argc == 4);
  bool set = command == "set" && (argc == 4 || argc == 5);
  bool list = command == "list" && argc == 2;
  if (!get && !set && !list) return Usage("bad arguments");

  CGDDA dictionary;
  if (dictionary.CreateError) return Failed(dictionary.szErrorMsg);
  if (get) return Get(dictionary, argv[2], argc == 4 ? argv[3] : nullptr);
  if (set) return Set(dictionary, argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
  return List(dictionary);
}
