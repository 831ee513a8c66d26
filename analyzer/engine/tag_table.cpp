#include "tag_table.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "engine_log.h"

namespace {

void CopyName(char (&out)[41], const char* in) {
  std::snprintf(out, sizeof out, "%s", in ? in : "");
}

}  // namespace

TAGENTRY* FindTagEntry(TAGENTRY* table, const char* name) {
  if (!table || !name) return nullptr;
  for (TAGENTRY* entry = table; entry->tagname[0] != '\0'; ++entry) {
    if (std::strcmp(entry->tagname, name) == 0) return entry;
  }
  return nullptr;
}

TAGENTRY* FindTagEntry(int slot, const char* name) {
  if (slot < 0 || slot >= kSlotCount) return nullptr;
  return FindTagEntry(Engine().tags[slot], name);
}

TAGENTRY* NewTagTable(long rows) {
  if (rows < 0) return nullptr;
  TAGENTRY* table = new (std::nothrow) TAGENTRY[static_cast<size_t>(rows) + kScratchTags + 1];
  if (!table) return nullptr;
  for (int i = 0; i < kScratchTags; ++i)
    std::snprintf(table[i].tagname, sizeof table[i].tagname, "RV%d", i);
  return table;
}

void FillTagEntry(TAGENTRY& entry, const char* tagname, const char* separator,
                  const char* redirect_name, const char* const flags[6]) {
  static const uint32_t kBits[6] = {flag_nodata,   flag_repdata, flag_catdata,
                                    flag_redirect, flag_makehex, flag_droptag};
  CopyName(entry.tagname, tagname);
  CopyName(entry.redirect_name, redirect_name);
  entry.redirect = nullptr;
  entry.flags = 0;
  for (int i = 0; i < 6; ++i) {
    if (flags[i] && std::strcmp(flags[i], "Y") == 0) entry.flags |= kBits[i];
  }
  entry.separator = separator ? separator : "";
  entry.data.clear();
  entry.start_exit = nullptr;
  entry.end_exit = nullptr;
  entry.text_exit = nullptr;
}

int ResolveTagRedirects(TAGENTRY* table, long file_type) {
  for (TAGENTRY* entry = table; entry->tagname[0] != '\0'; ++entry) {
    if (!(entry->flags & flag_redirect)) continue;
    entry->redirect = FindTagEntry(table, entry->redirect_name);
    if (!entry->redirect) {
      AnalLog("0037", 'A', entry->redirect_name, entry->tagname, file_type);
      return -1;
    }
  }
  return 0;
}
