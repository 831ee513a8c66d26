// Mail delivery (send_mail.h).
#include "send_mail.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "alerts.h"
#include "child_process.h"
#include "mail_fold.h"
#include "mail_template.h"
#include "qd_path.h"

namespace {

bool HasControl(const char* text) {
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    if (*p < 0x20 || *p == 0x7f) return true;
  }
  return false;
}

bool RegularFile(const std::string& path) {
  struct stat sb;
  return stat(path.c_str(), &sb) == 0 && S_ISREG(sb.st_mode);
}

// The two temporary files of one mail; removed when it goes.
struct MailFiles {
  std::string mail, out;
  ~MailFiles() {
    if (!out.empty()) unlink(out.c_str());
    if (!mail.empty()) unlink(mail.c_str());
  }
};

void LogFile(NotifierState& st, const char* what, const std::string& path) {
  if (st.log) st.log->Insert("QDZ0080", '2', what, path);
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// The expanded template, or false (already logged).
bool ExpandTemplate(NotifierState& st, const std::string& path, const NotifyData& nd,
                    std::string& body) {
  char* buf = nullptr;
  size_t len = 0;
  FILE* mem = open_memstream(&buf, &len);
  if (!mem) {
    LogFile(st, "writing temp mail file", "<not available>");
    return false;
  }
  int rc = qdTemplate(QdPath(path).c_str(), nd, mem, st.log, st.settings.forwarding);
  std::fclose(mem);
  if (buf) body.assign(buf, len);
  std::free(buf);
  return rc == kTemplateDone;
}

// Runs the mailer over the mail file; true when it took the mail silently.
bool RunMailer(NotifierState& st, const MailFiles& files) {
  ChildSpec cmd;
  cmd.argv = {QdPath(st.settings.mailer), "-t", "-oi"};
  cmd.stdinPath = files.mail;
  cmd.stdoutPath = files.out;
  cmd.stderrPath = "=stdout";
  std::string text = QdCommandText(cmd);
  int status = 0;
  char err[256] = {0};
  int rc = QdRunChild(cmd, st.settings.mailer_timeout, &status, err, sizeof err);
  bool ok = true;
  if (rc == CHILD_TIMEOUT) {
    if (st.log) st.log->Insert(NotifierMsgId(st, 44), '2', st.settings.mailer_timeout, text);
    ok = false;
  } else if (rc != CHILD_OK) {
    if (st.log) st.log->Insert(NotifierMsgId(st, 40), '2', -1, text + ": " + err);
    ok = false;
  } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (st.log) st.log->Insert(NotifierMsgId(st, 40), '2', code, text);
    ok = false;
  }
  if (FILE* out = std::fopen(files.out.c_str(), "rb")) {
    char line[512];
    if (std::fgets(line, sizeof line, out)) {
      line[std::strcspn(line, "\n")] = '\0';
      if (st.log) st.log->Insert(NotifierMsgId(st, 41), '2', "sendmail", line);
      ok = false;
    }
    std::fclose(out);
  }
  return ok;
}

int Deliver(NotifierState& st, const NotifyData& nd, const char* address, const char* kind,
            MailFiles& files) {
  const NotifierSettings& set = st.settings;
  std::string base = QdPath("/tmp") + "/" + MailFileWord(set.program_name) + "." +
                     MailFileWord(nd.NOTID) + "." + MailFileWord(nd.USERID);
  std::string pattern = base + ".XXXXXX";
  int fd = mkstemp(pattern.data());
  if (fd < 0) {
    LogFile(st, "opening temp mail file", pattern);
    return kDeliveryFailed;
  }
  files.mail = pattern;
  std::string head = "From: " + MailHeaderValue(set.sender) + "\n" +
                     "To: " + MailHeaderValue(address) + "\n";
  if (!set.additional_to.empty()) head += "To: " + MailHeaderValue(set.additional_to) + "\n";
  head += MailSubject(nd, kind) + "\n\n";

  std::string tmpl = MailTemplatePath(set.template_dir, kind, st.scope.modifier, nd.ORGTYPE,
                                      nd.LANGUAGE);
  int result = kDeliverySent;
  std::string body;
  if (tmpl.empty()) {
    char detail[1024];
    std::snprintf(detail, sizeof detail, "File '%s/%s', mod=%s, org=%s, lang=%s",
                  set.template_dir.c_str(), kind, st.scope.modifier, nd.ORGTYPE, nd.LANGUAGE);
    if (st.log) st.log->Insert(NotifierMsgId(st, 42), 'A', nd.USERID, detail);
    BackDoorNotify(set.program_name.c_str(), 'H', "Unable to find template", detail, '0');
    result = kDeliveryFailed;
  } else if (!ExpandTemplate(st, tmpl, nd, body)) {
    result = kDeliveryFailed;
  }
  bool written = WriteAll(fd, head) && (result != kDeliverySent || WriteAll(fd, FoldMailBody(body)));
  if (close(fd) != 0) written = false;
  if (!written) {
    LogFile(st, "writing temp mail file", files.mail);
    result = kDeliveryFailed;
  }
  if (result != kDeliverySent) return result;

  files.out = files.mail + ".out";
  int ofd = open(files.out.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (ofd < 0) {
    files.out.clear();
    LogFile(st, "opening temp mail file", files.mail + ".out");
    return kDeliveryFailed;
  }
  close(ofd);
  return RunMailer(st, files) ? kDeliverySent : kDeliveryFailed;
}

}  // namespace

std::string MailHeaderValue(const std::string& value) {
  std::string out = value;
  for (char& c : out) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) c = ' ';
  }
  return out;
}

std::string MailFileWord(const std::string& id) {
  std::string out;
  for (char c : id) {
    if (out.size() == 64) break;
    bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                std::strchr(".@+_-", c) != nullptr;
    out.push_back(keep && c != '\0' ? c : '_');
  }
  return out.empty() ? "none" : out;
}

std::string MailSubject(const NotifyData& nd, const char* kind) {
  std::string line = "Subject: Zarvek-" + std::string(nd.SERIAL) + nd.MODELID;
  if (std::strcmp(kind, "page") != 0) line += ":" + std::string(nd.ABSTRACT);
  line = MailHeaderValue(line);
  if (line.size() > kSubjectMax) line.resize(kSubjectMax);
  return line;
}

std::string MailTemplatePath(const std::string& dir, const char* kind, const char* modifier,
                             const char* orgtype, const char* language) {
  bool orgOk = std::strchr(orgtype, '/') == nullptr;
  bool langOk = std::strchr(language, '/') == nullptr;
  std::string head = dir + "/" + kind + modifier;
  const std::pair<bool, std::string> candidates[] = {
      {orgOk && langOk, head + orgtype + language + ".tmplt"},
      {orgOk, head + orgtype + ".tmplt"},
      {langOk, head + "CMN" + language + ".tmplt"},
      {true, head + ".tmplt"},
  };
  for (const auto& c : candidates) {
    if (c.first && RegularFile(QdPath(c.second))) return c.second;
  }
  return "";
}

int SendMail(NotifierState& st, const NotifyData& nd, const char* address, const char* kind) {
  const char* to = address ? address : "<no address>";
  if (std::strncmp(to, "<no ", 4) == 0) {
    NotifierLogRecipient(st, nd, '2', std::string("mail failed - ") + to);
    return kDeliveryImpossible;
  }
  if (HasControl(to)) {
    NotifierLogRecipient(st, nd, '2', "mail failed - address holds control characters");
    return kDeliveryImpossible;
  }
  int result;
  {
    MailFiles files;
    result = Deliver(st, nd, to, kind, files);
  }
  NotifierLogRecipient(st, nd, result == kDeliverySent ? '1' : '2',
                       std::string(result == kDeliverySent ? "mail succeeded to " : "mail failed to ") +
                           to);
  return result;
}
