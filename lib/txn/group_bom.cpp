// Group membership expansion: one algorithm over the three membership
// tables (group_bom.h).
#include "group_bom.h"

#include <cstdio>
#include <cstring>

#include "group_bom_sql.h"
#include "sql_error.h"

const char kQdNoGroup[] = "!not!";

namespace {

struct BomStart {
  int table;
  long key1;
  long key2;
  const char* org;
  std::string what;  // the starting object, for the initial fetch error
};

void SetEntry(char* entry, const char* name) {
  std::snprintf(entry, kQdGroupNameSize, "%s", name);
}

bool Contains(char* const* result, int count, const char* name) {
  for (int i = 0; i < count; ++i) {
    if (std::strcmp(result[i], name) == 0) return true;
  }
  return false;
}

// Ends the expansion after a failed statement: the message, the cursor
// closed when it is open, the transaction rolled back.
int Fail(std::string& msg, const std::string& text, bool withDbText, int table, bool initial,
         bool cursorOpen) {
  msg = text;
  if (withDbText) msg += QdSqlMessage();
  if (cursorOpen) (void)BomSqlClose(table, initial);
  (void)BomSqlRollback();
  return kBomError;
}

int Expand(const BomStart& start, char** result, std::string& msg) {
  msg.clear();
  for (int i = 0; i < kQdGroupMax; ++i) SetEntry(result[i], kQdNoGroup);

  char level[kQdGroupMax][kQdGroupNameSize];
  int levelCount = 0;
  int count = 0;
  char name[kQdGroupNameSize];

  if (BomSqlOpenInitial(start.table, start.key1, start.key2, start.org) != 0) {
    return Fail(msg, "Error opening initial cursor. ", true, start.table, true, false);
  }
  for (;;) {
    int code = BomSqlFetch(start.table, true, name);
    if (code == 100) break;
    if (code != 0) {
      return Fail(msg, "Error selecting group_name for " + start.what + ". ", true, start.table,
                  true, true);
    }
    if (count == kQdGroupMax) {
      return Fail(msg, "Result array overflow.", false, start.table, true, true);
    }
    SetEntry(result[count++], name);
    SetEntry(level[levelCount++], name);
  }
  (void)BomSqlClose(start.table, true);
  if (count == 0) return kBomNoGroup;

  for (int depth = 1; levelCount > 0; ++depth) {
    char* levelPtrs[kQdGroupMax];
    for (int i = 0; i < kQdGroupMax; ++i) {
      if (i >= levelCount) SetEntry(level[i], kQdNoGroup);
      levelPtrs[i] = level[i];
    }
    QdGroupParams params;
    QdGroupParamsFill(params, levelPtrs);
    if (BomSqlOpenLevel(start.table, params) != 0) {
      return Fail(msg, "Error opening secondary cursor at level " + std::to_string(depth) + ". ",
                  true, start.table, false, false);
    }
    levelCount = 0;
    for (;;) {
      int code = BomSqlFetch(start.table, false, name);
      if (code == 100) break;
      if (code != 0) {
        return Fail(msg, "Fetch error at level " + std::to_string(depth) + ". ", true,
                    start.table, false, true);
      }
      if (Contains(result, count, name)) msg = std::string("Group loop found for ") + name;
      if (count == kQdGroupMax) {
        return Fail(msg, "Result array overflow.", false, start.table, false, true);
      }
      SetEntry(result[count++], name);
      SetEntry(level[levelCount++], name);
    }
    (void)BomSqlClose(start.table, false);
  }
  return kBomDone;
}

}  // namespace

QdGroupList::QdGroupList() {
  for (int i = 0; i < kQdGroupMax; ++i) {
    SetEntry(names[i], kQdNoGroup);
    ptrs[i] = names[i];
  }
}

void QdGroupParamsFill(QdGroupParams& params, char* const* names) {
  char block[kQdGroupMax][kQdGroupNameSize];
  for (int i = 0; i < kQdGroupMax; ++i) SetEntry(block[i], names ? names[i] : kQdNoGroup);
  std::memcpy(&params, block, sizeof params);
}

int qdGrpBOM(long product_id, long site_id, char** result, std::string& msg) {
  char what[96];
  std::snprintf(what, sizeof what, "product_id=%ld or site_id=%ld", product_id, site_id);
  return Expand({kBomProducts, product_id, site_id, nullptr, what}, result, msg);
}

int qdOrgGrpBOM(const char* organization, char** result, std::string& msg) {
  const char* org = organization ? organization : "";
  return Expand({kBomOrganizations, 0, 0, org, std::string("organization=") + org}, result, msg);
}

int qdUGrpBOM(long user, char** result, std::string& msg) {
  return Expand({kBomUsers, user, 0, nullptr, "member_user=" + std::to_string(user)}, result, msg);
}
