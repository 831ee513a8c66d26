#pragma once
// What every collector test root starts from: scaled time, UTC, and a
// dictionary that names the private database as the work-message store.
#include <cstdlib>
#include <string>

#include "temp_root.h"

inline void PrepareCollectorRoot(TempRoot& root, const std::string& dbname) {
  setenv("QD_TIME_SCALE", "0.01", 1);
  setenv("TZ", "UTC", 1);
  root.write("/etc/qd/gdda.conf",
             "[Global]\nSYSTEM_LEVEL = Prod\nSP_ID = SP0042\nWM_CONNINFO = dbname=" + dbname + "\n[Prod]\n");
}
