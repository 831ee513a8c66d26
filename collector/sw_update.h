#pragma once
// The software update log. While an array software update is in progress
// (its start time under "SPEVT_SW_UPDATE_TIME_<sysid>", 0 when none) the
// summary of every filed event is appended to
// "/sp/prod/data/files/<sysid>/evtlog/temp_evtlog"; when the update ends
// (its completion or cancellation event) or has taken longer than the
// array's longest expected update, the log is renamed "<stamp>.swupd" and
// handed to the file transfer process.
#include <ctime>
#include <string>

#include "evt_record.h"
#include "evtmon_state.h"

// System path of the update log.
std::string UpdateLogPath(const EvtmonState& st);

// For every filed event, with its summary: appends it to the update log
// while an update is in progress; ends the update when it has run too long.
// Always 0; failures are logged.
int check_sw_update(EvtmonState& st, const std::string& summary, time_t now);

// Action 10 of the filter rules: an "Applying VQX software" event starts the
// update (new level and start time stored, the log begun afresh); every
// event of the action is written to the log; the completion and
// cancellation events end the update. Returns 0.
int SoftwareUpdateAction(EvtmonState& st, const evtmon_t& e, time_t evtime);

// Renames the update log to "<evtlogdir>/<stamp>.swupd", asks for its
// transfer and resets the start time. 0, or -1 (logged) when the log could
// not be renamed or sent. `where` names the caller in the log texts.
int CloseUpdateLog(EvtmonState& st, time_t now, const char* where);
