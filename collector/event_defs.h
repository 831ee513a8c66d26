#pragma once
// The array's event definition tables: descriptions of event types, their
// key codes, event classes and component types, loaded from the three XML
// definition files of the array's software level.
#include <string>
#include <vector>

// Slots of each table; one fewer entries are filled at most.
constexpr int kEventTypeSlots = 1024;
constexpr int kEventClassSlots = 20;
constexpr int kEventCompSlots = 512;
// Definition files larger than this are not loaded.
constexpr long kDescFileMax = 163840;

struct DescEntry {
  std::string key;
  std::string desc;
  bool has_desc = false;
};

// One lookup table: entries in file order.
struct DescTable {
  std::vector<DescEntry> entries;
};

// The four tables a worker loads once.
struct EventDefs {
  DescTable types;    // EventID -> EventDesc
  DescTable codes;    // EventID -> EventKeycode
  DescTable classes;  // ClassID -> ClassDesc
  DescTable comps;    // ComponentID -> ComponentDesc
};

// The description of the first entry whose key equals `key`; `key` itself
// when the table is null, has no such key, or the entry has no description.
const char* type_to_desc(const DescTable* table, const char* key);

// Empties `table` and loads it from the file `path` (already resolved): from
// the first `listtag` on, one element is read; each text of element
// `keytag` starts an entry and the next text of `valuetag` completes it (a
// value without a key is ignored, a key without a value is replaced by the
// next key). At most slots - 1 entries. A file that cannot be opened or is
// larger than kDescFileMax leaves the table empty and returns 1; a file
// without the list tag returns 2; a parse error returns 3 with the text in
// `err` (entries read before it are kept); 0 otherwise.
int fillin_types_table(DescTable& table, int slots, const std::string& path, const char* listtag,
                       const char* keytag, const char* valuetag, std::string& err);

// Loads the four tables from "eventtypes", "eventclasses" and "eventcomps"
// in `dir` (already resolved). A missing or unreadable file leaves its
// tables empty; lookups then answer the key itself.
void init_desc_strings(const std::string& dir, EventDefs& defs);

// Writes "Type: %s, Description: %s\n" per entry to standard output.
void print_desc_table(const DescTable& table);
