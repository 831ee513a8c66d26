#pragma once
// What the event parsing and table modules put into their messages and
// notifications beside the analyzer's reporting seam (anal_alert.h): the
// formatted texts and the current file's values they name. Without an
// analyzer state attached (a bare engine in a test or a fuzz run) the
// values read as 0 and "".

#include <string>

#include "anal_alert.h"
#include "str_format.h"  // QdFormat, for the texts of the messages

// The current file's type and product id.
long CurrentFileType();
const char* CurrentProdId();
