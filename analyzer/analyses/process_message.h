#pragma once
// The analyzer's processing step: one received work message becomes one
// analysis.

#include "daemon.h"

// Handles the message in st.envelope / st.buffer:
//  - logs 0011 "Received"; clears the transaction-stored flag and the
//    analysis flags;
//  - refuses (-1) data shorter than a format 2 record with QDZ0040 "FAR",
//    before anything is logged; a stop record (format 255) of at least its
//    own size is taken;
//  - logs the record with qdLogTxn and returns its result when that fails
//    (-1 invalid, 2 database failure); marks the record stored otherwise;
//  - a stop record sets st.stop_requested and returns 0;
//  - refuses other formats than 2 (QDZ0041) and kinds other than "FAR"
//    (QDZ0042);
//  - looks for earlier deliveries of the same request (request_attempts.h):
//    after one that ended "Done" it logs 0044 and returns 0, doing nothing
//    more; a database error there returns 1;
//  - fills the current file from qd_fdb_cat by FDB_Objid (none: 0021,
//    refused), or from the record itself with the type number from
//    qd_fdb_attr (none: QDZ0047, refused); the request's values take '?'
//    for bytes that are not UTF-8 first. A database error logs QDZ0100 and
//    returns 1 (with the reconnect request when the connection was lost),
//    or -1 when the database refused the request's values (a data
//    exception, which every retry would meet again);
//  - logs 0030, sets Orun_date, empties Canal_filename, reduces a type
//    above 100000 by 100000 for the whole analysis (the catalogue's own
//    type kept in catalogue_file_type) and returns the result of the
//    analysis of that type (100 event, 101 configuration); other types log
//    0022 and are refused.
// `retrycycle` is not used by the analyzer.
[[nodiscard]] int process_message(DaemonState& st, bool retrycycle);
