// The mailer's stand-in, installed below a root at /usr/sbin/sendmail.
//
//   sendmail -t [-oi] [...]
//
// Reads one mail from standard input and keeps it whole as one file in
// DIR/var/spool/sim-mail/ ("<seconds>.<nanoseconds>.<pid>.mail", written to a
// temporary name and renamed, so a reader never sees half a mail), with
// its argument vector beside it ("....argv", one argument a line, written
// first). Without -oi a line holding a single "." ends the mail, as the
// real mailer reads it. DIR is $QD_ROOT, or else the directory three levels
// above this program (DIR/usr/sbin/sendmail).
//
// Every call appends one JSON line to DIR/var/log/qd/sim/sendmail.calls:
//   {"argv": [...], "time": <seconds>, "pid": <pid>}
//
// Behaviour comes from DIR/etc/qd/sim/sendmail.conf when it exists, lines
// of "key = value" ('#' starts a comment):
//   exit = N        end with status N; a non-zero status keeps no mail
//   output = TEXT   print TEXT and a line feed on standard output (the mail
//                   is still kept when the status is 0)
//   delay = SECONDS wait that long after reading the mail before anything
//                   else (a hung mailer)
// Without the file: keep the mail, print nothing, status 0.
//
// Exit statuses of its own: 64 when -t is missing ("sendmail: -t is
// required" on standard error), 75 when the mail cannot be kept (the
// reason on standard error).
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string RootDir(const char* argv0) {
  const char* env = std::getenv("QD_ROOT");
  if (env && *env) return env;
  char self[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string path = n > 0 ? std::string(self, static_cast<size_t>(n)) : argv0;
  for (int i = 0; i < 3; ++i) {
    size_t slash = path.rfind('/');
    path = slash == std::string::npos ? "." : path.substr(0, slash);
  }
  return path.empty() ? "/" : path;
}

std::string Json(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7f) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

void AppendCall(const std::string& root, int argc, char** argv) {
  std::string line = "{\"argv\": [";
  for (int i = 0; i < argc; ++i) line += (i ? ", " : "") + Json(argv[i]);
  line += "], \"time\": " + std::to_string(std::time(nullptr)) +
          ", \"pid\": " + std::to_string(getpid()) + "}\n";
  std::string dir = root + "/var/log/qd/sim";
  if (FILE* f = std::fopen((dir + "/sendmail.calls").c_str(), "a")) {
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
  }
}

struct Conf {
  int exit_status = 0;
  bool has_output = false;
  std::string output;
  double delay = 0;
};

std::string Trimmed(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

Conf ReadConf(const std::string& root) {
  Conf conf;
  std::ifstream in(root + "/etc/qd/sim/sendmail.conf");
  for (std::string line; std::getline(in, line);) {
    line = Trimmed(line);
    if (line.empty() || line[0] == '#') continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = Trimmed(line.substr(0, eq)), value = Trimmed(line.substr(eq + 1));
    if (key == "exit") conf.exit_status = std::atoi(value.c_str());
    if (key == "output") {
      conf.has_output = true;
      conf.output = value;
    }
    if (key == "delay") conf.delay = std::atof(value.c_str());
  }
  return conf;
}

std::string ReadMail(bool dotEnds) {
  std::string mail;
  for (std::string line; std::getline(std::cin, line);) {
    if (dotEnds && (line == "." || line == ".\r")) break;
    mail += line;
    if (!std::cin.eof()) mail += '\n';
  }
  return mail;
}

bool WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  return static_cast<bool>(out);
}

int Keep(const std::string& root, int argc, char** argv, const std::string& mail) {
  std::string dir = root + "/var/spool/sim-mail";
  // Names sort in the order the mails came.
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  char name[64];
  std::snprintf(name, sizeof name, "%010lld.%09ld.%d", static_cast<long long>(now.tv_sec),
                now.tv_nsec, static_cast<int>(getpid()));
  std::string base = dir + "/" + name;
  std::string args;
  for (int i = 0; i < argc; ++i) args += std::string(argv[i]) + "\n";
  std::string tmp = dir + "/.tmp." + std::to_string(getpid());
  if (!WriteFile(base + ".argv", args) || !WriteFile(tmp, mail) ||
      std::rename(tmp.c_str(), (base + ".mail").c_str()) != 0) {
    std::fprintf(stderr, "sendmail: cannot keep the mail in %s: %s\n", dir.c_str(),
                 std::strerror(errno));
    std::remove(tmp.c_str());
    return 75;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string root = RootDir(argv[0]);
  AppendCall(root, argc, argv);
  bool t = false, oi = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-t") == 0) t = true;
    if (std::strcmp(argv[i], "-oi") == 0 || std::strcmp(argv[i], "-i") == 0) oi = true;
  }
  if (!t) {
    std::fprintf(stderr, "sendmail: -t is required\n");
    return 64;
  }
  Conf conf = ReadConf(root);
  std::string mail = ReadMail(!oi);
  if (conf.delay > 0) {
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(conf.delay);
    ts.tv_nsec = static_cast<long>((conf.delay - static_cast<double>(ts.tv_sec)) * 1e9);
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
  }
  if (conf.has_output) std::printf("%s\n", conf.output.c_str());
  if (conf.exit_status != 0) return conf.exit_status;
  return Keep(root, argc, argv, mail);
}
