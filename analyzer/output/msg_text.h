#pragma once
// Message texts of the analysis: qd_anal_msgtext rows chosen by the file
// type, the current event name and the message keys Mkey1..Mkey3, a key
// column holding "*" matching any value.

#include "analysis_sql.h"

// The text given back when no message text can be had.
extern const char kMsgTextNotFound[];  // "*MsgTextNotFound*"

// The lookup keys of the current analysis: Cfile_type, the event name and
// Mkey1..Mkey6 of the engine.
AnalKeys CurrentKeys();

// Looks up the message text for the current keys and copies it into
// `destination`, cut to `length` - 1 characters. Returns 0 when found.
// Returns 1 with "*MsgTextNotFound*" (cut likewise) when no row matches or
// its text is null (process notification 'H' "<event> MsgText not found."
// with the keys and the store file, message 0033) or on a database error,
// more than one matching row included (QDZ0100 "MsgText select", reconnect
// request, the transaction rolled back). Nothing is written when
// `destination` is null or `length` below 1.
int GetMsgText(char* destination, int length);
