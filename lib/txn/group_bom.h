#pragma once
// Group membership expansion: the flat list of every group that holds a
// starting object (a product or site, an organisation, a user), directly
// or through other groups, as the 50 names a membership test binds.
//
// One algorithm over three membership tables:
//
//   function      table             starting key
//   qdGrpBOM      qd_group_mem      member_product = product or member_site = site
//   qdOrgGrpBOM   qd_orggroup_mem   member_organization = organisation
//   qdUGrpBOM     qd_usergroup_mem  member_user = user
//
// Level 0 is the groups holding the starting object; each further level is
// the groups holding a group of the level before (member_group), found
// with one query that binds the whole previous level as 50 parameters.
// Names are appended in level order, each level in name order, so the same
// tables always give the same list. A name reached again (over a second
// path, or around a cycle) is appended again and noted in `msg` ("Group
// loop found for <name>"); a cycle therefore runs until the list is full
// and ends in "Result array overflow.".
//
// All statements run on the process's current database connection and
// every cursor is closed on every way out. A failed statement's
// transaction is rolled back (the server refuses every later statement
// of a failed transaction); the caller decides on reconnecting. Logs
// nothing: the caller logs `msg`.

#include <cstddef>
#include <string>

#include "group_params.h"

constexpr int kQdGroupMax = 50;            // names in a result
constexpr size_t kQdGroupNameSize = 41;    // bytes of one result entry
extern const char kQdNoGroup[];            // "!not!": the entry without a group

static_assert(sizeof(QdGroupParams) == kQdGroupMax * kQdGroupNameSize,
              "QdGroupParams is char[50][41] without gaps");

// Results of the expansions.
enum QdBomResult : int {
  kBomDone = 0,      // at least one group; `msg` may hold a loop note
  kBomNoGroup = 1,   // the object is in no group; every entry "!not!"
  kBomError = -1,    // `msg` says why; the entries hold what was found so far
};

// `result` is caller-owned: kQdGroupMax pointers to buffers of at least
// kQdGroupNameSize bytes. On entry `msg` is cleared and every entry set to
// "!not!". Error texts (followed by the database's message where one
// failed): "Error opening initial cursor. ", "Error selecting group_name
// for product_id=%ld or site_id=%ld. " (qdOrgGrpBOM: "for
// organization=%s. ", qdUGrpBOM: "for member_user=%ld. "), "Error opening
// secondary cursor at level %d. ", "Fetch error at level %d. ", "Result
// array overflow." (a 51st name, which is never written).
[[nodiscard]] int qdGrpBOM(long product_id, long site_id, char** result, std::string& msg);
[[nodiscard]] int qdOrgGrpBOM(const char* organization, char** result, std::string& msg);
[[nodiscard]] int qdUGrpBOM(long user, char** result, std::string& msg);

// A caller-owned result list with its pointer array, ready for the calls
// above and for binding.
struct QdGroupList {
  char names[kQdGroupMax][kQdGroupNameSize];
  char* ptrs[kQdGroupMax];
  QdGroupList();
  QdGroupList(const QdGroupList&) = delete;
  QdGroupList& operator=(const QdGroupList&) = delete;
};

// Copies the 50 entries of `names` into the parameter block, each cut to
// 40 characters; a null pointer list gives 50 "!not!".
void QdGroupParamsFill(QdGroupParams& params, char* const* names);
