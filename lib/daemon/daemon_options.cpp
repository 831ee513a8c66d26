// Command-line options of the queue daemons.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "daemon.h"
#include "daemon_log.h"

namespace {

// A time option in seconds: a value not above 0 becomes 1.
long SecondsOption(const char* arg) {
  long value = std::strtol(arg ? arg : "", nullptr, 10);
  return value > 0 ? value : 1;
}

// Whether `letter` is one of the framework's options in `optstring`.
bool Offered(const char* optstring, int letter) {
  return letter != ':' && std::strchr(optstring, letter) != nullptr;
}

}  // namespace

int DaemonParseOptions(const DaemonConfig& config, DaemonState& st, int argc, char** argv) {
  int invalid = 0;
  opterr = 0;  // our own message, not getopt's
  optind = 0;  // a full reset, so the options can be read again in one process
  std::string optstring = std::string("+") + config.option_string;
  int option;
  while ((option = getopt(argc, argv, optstring.c_str())) != -1) {
    int letter = option == '?' ? optopt : option;
    bool taken = Offered(config.option_string, option);
    switch (taken ? option : 0) {
      case 'C': st.no_retry_cycles = true; break;
      case 'd': break;  // only its place as the first argument counts
      case 'o': st.db_target = optarg; st.target_from_option = true; break;
      case 'i': st.db_id = optarg; st.id_from_option = true; break;
      case 'm': st.message_name = optarg; break;
      case 'p': st.process_name = optarg; break;
      case 't': st.max_inactivity = SecondsOption(optarg); break;
      case 'r': st.retry_interval = SecondsOption(optarg); break;
      case 'l': st.retry_limit = SecondsOption(optarg); break;
      default:
        taken = option != '?' && config.extra_option &&
                config.extra_option(st, option, optarg) == 0;
        break;
    }
    if (!taken) {
      char text[64];
      std::snprintf(text, sizeof text, "Unknown/invalid option '%c'", letter ? letter : '?');
      DaemonStderr(st, text);
      ++invalid;
    }
  }
  if (st.receive_wait > st.retry_interval) st.receive_wait = st.retry_interval;
  return invalid;
}
