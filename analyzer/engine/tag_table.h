#pragma once
// Tag tables: which XML tags an event file of a file type may hold and how
// their values are collected (qd_tag_data), loaded once per slot and kept
// in Engine().tags.
//
// Layout of a table for n rows of qd_tag_data:
//   0 .. 9        scratch entries "RV0".."RV9" (pattern targets, templates)
//   10 .. n + 9   the rows, in tagname order (bytewise)
//   n + 10        terminator: empty tagname

#include <stdint.h>

#include "analysis_engine.h"

constexpr int kScratchTags = 10;

// The entry that receives `entry`'s data: its redirect target when it has
// flag_redirect and the target is resolved, else the entry itself.
inline TAGENTRY* TagTarget(TAGENTRY* entry) {
  return (entry->flags & flag_redirect) && entry->redirect ? entry->redirect : entry;
}

// The first entry of `table` whose tagname equals `name` exactly (linear
// scan up to the terminator), or null; null when `table` or `name` is
// null. The slot form looks in Engine().tags[slot] (null for a slot out of
// range or without a table).
TAGENTRY* FindTagEntry(TAGENTRY* table, const char* name);
TAGENTRY* FindTagEntry(int slot, const char* name);

// Loads the tag table of `file_type` into `slot`. Whatever table the slot
// held is released first. Returns 0 with the new table in the slot and in
// *out (when `out` is not null). Returns -1 with the slot and *out null,
// no half-built table left behind, when:
//  - the count or the cursor fails: QDZ0100 ("select tag count for
//    file_type %ld", "open tag cursor for file_type %ld", "fetch tag cursor
//    for file_type %ld") and the reconnect request;
//  - the file type has no rows: 0032 ('A'; "tag data", file type);
//  - a redirect names no entry of the table: 0037 ('A'; redirect name, tag
//    name, file type), for the first such entry;
//  - memory is short: 0035 ('A'; "tag", n + 11);
//  - the slot is out of range.
[[nodiscard]] int GetTags(TAGENTRY** out, long file_type, int slot);

// --- building blocks of GetTags (no database) ------------------------------

// A table for `rows` rows: RV0..RV9, then rows + 1 entries with empty
// names. Null when `rows` is negative or memory is short.
TAGENTRY* NewTagTable(long rows);

// Fills `entry` from one row: names copied (cut to 40 characters),
// redirect cleared, each of the six flag columns (nodata, repdata,
// catdata, redirect, makehex, droptag, in that order; "Y" sets, anything
// else - null too - leaves clear) sets its table flag, separator copied
// (null: empty), data emptied, exits cleared.
void FillTagEntry(TAGENTRY& entry, const char* tagname, const char* separator,
                  const char* redirect_name, const char* const flags[6]);

// Resolves the redirect of every entry with flag_redirect, in table
// order, by name within the table. Returns 0; -1 at the first name that
// is not found, after logging 0037 ('A'; redirect name, tag name,
// `file_type`).
[[nodiscard]] int ResolveTagRedirects(TAGENTRY* table, long file_type);
