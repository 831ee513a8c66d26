#include "event_defs.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "atomic_file.h"
#include "xml_reader.h"

namespace {

class TypeTableReader : public XmlElementHandler {
 public:
  TypeTableReader(DescTable& table, int slots, const char* keytag, const char* valuetag)
      : table_(table), last_(slots - 1), keytag_(keytag), valuetag_(valuetag) {}

  const char* Start(std::string_view name, size_t) override {
    state_ = name == keytag_ ? 1 : name == valuetag_ ? 2 : 0;
    return nullptr;
  }
  const char* End(std::string_view, size_t) override {
    state_ = 0;
    return nullptr;
  }
  const char* Chars(std::string_view text, size_t) override {
    if (static_cast<int>(table_.entries.size()) >= last_) return nullptr;
    if (state_ == 1) {
      pending_key_ = std::string(text);
      have_key_ = true;
    } else if (state_ == 2 && have_key_) {
      table_.entries.push_back({pending_key_, std::string(text), true});
      have_key_ = false;
    }
    return nullptr;
  }

 private:
  DescTable& table_;
  int last_;
  std::string_view keytag_, valuetag_;
  int state_ = 0;
  std::string pending_key_;
  bool have_key_ = false;
};

}  // namespace

const char* type_to_desc(const DescTable* table, const char* key) {
  if (!table) return key;
  for (const auto& entry : table->entries) {
    if (entry.key == key) return entry.has_desc ? entry.desc.c_str() : key;
  }
  return key;
}

int fillin_types_table(DescTable& table, int slots, const std::string& path, const char* listtag,
                       const char* keytag, const char* valuetag, std::string& err) {
  table.entries.clear();
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || st.st_size > kDescFileMax) return 1;
  std::string text, readerr;
  if (QdReadFile(path, text, readerr) != 0) return 1;
  size_t at = text.find(listtag);
  if (at == std::string::npos) return 2;
  TypeTableReader reader(table, slots, keytag, valuetag);
  if (XmlProcessString(std::string_view(text).substr(at), reader, err) != 0) return 3;
  return 0;
}

void init_desc_strings(const std::string& dir, EventDefs& defs) {
  std::string err;
  const std::string types = dir + "/eventtypes";
  (void)fillin_types_table(defs.types, kEventTypeSlots, types, "<EventTypeList>", "EventID",
                           "EventDesc", err);
  (void)fillin_types_table(defs.codes, kEventTypeSlots, types, "<EventTypeList>", "EventID",
                           "EventKeycode", err);
  (void)fillin_types_table(defs.classes, kEventClassSlots, dir + "/eventclasses",
                           "<EventClassList>", "ClassID", "ClassDesc", err);
  (void)fillin_types_table(defs.comps, kEventCompSlots, dir + "/eventcomps",
                           "<ComponentTypeList>", "ComponentID", "ComponentDesc", err);
}

void print_desc_table(const DescTable& table) {
  for (const auto& entry : table.entries) {
    std::printf("Type: %s, Description: %s\n", entry.key.c_str(),
                entry.has_desc ? entry.desc.c_str() : "(null)");
  }
}
