#pragma once
// Transaction records for the tests of the logger: a valid record of each
// format, cleared to zero bytes and filled as a sender fills one, so a test
// spoils just the field it is about. Also the platform log read back as
// "ID U ARGUMENTS" lines, under a catalogue with no texts (so each line
// shows its arguments joined by " | ").

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "log_message.h"
#include "qd_txn.h"
#include "temp_root.h"

namespace txntest {

template <size_t N>
void Put(char (&field)[N], const char* text) {
  std::snprintf(field, N, "%s", text);
}

// 'a' and "2014/10/09 23:38:00.00".
inline Time_Stamp Stamp(const char* text = "2014/10/09 23:38:00.00") {
  Time_Stamp s;
  s.fmt = 'a';
  std::memcpy(&s.Year[0], text, sizeof s - 1);
  s.dlm7 = '\0';
  return s;
}

inline QDTxn Record(uint8_t fmt) {
  QDTxn t;
  std::memset(&t, 0, sizeof t);
  qd_Transaction_Header& h = t.hdr;
  h.fmt = fmt;
  h.encription = '0';
  h.compression = '0';
  h.char_set = 'A';
  h.hw_architecture = 'X';
  Put(h.TxnId, "FAR");
  h.TxnAttr1 = 0x80;
  h.TxnAttr3 = 0x02;
  h.TxnAttr4 = 0xAB;
  h.TxnTime = Stamp();
  Put(h.AssocId, "Sec5F5E1000uSec0000002A");
  Put(h.prod.vendor, "Zarvek");
  Put(h.prod.prod, "Velmar");
  Put(h.prod.id, "1234567");
  Put(h.sp.vendor, "Qentra");
  Put(h.sp.prod, "SP");
  Put(h.sp.id, "SP0042");
  switch (fmt) {
    case 1: case 4: {
      // Formats 1 and 4 share the file notice at the same offsets.
      qd_Transaction_Format_1& f = t.f1;
      Put(f.FileType, "100");
      f.FileTime = Stamp("2014/10/09 23:30:05.17");
      Put(f.FileSeq, "7");
      Put(f.FileSize_full, "2048");
      Put(f.FileSize_comp, "512");
      Put(f.FileName, "/sp/prod/data/files/1234567/event/evt.7");
      if (fmt == 4) {
        Put(t.f4.FileHash, "0123456789abcdef0123456789abcdef");
        Put(t.f4.MultiSeq, "1");
        Put(t.f4.MultiTotal, "2");
        Put(t.f4.MultiHash, "fedcba9876543210fedcba9876543210");
        Put(t.f4.comments, "  part one");
      } else {
        Put(f.comments, "  arrived\n");
      }
      break;
    }
    case 2:
      Put(t.f2.FDB_Objid, "42");
      break;
    case 3: case 5: case 6: case 7: {
      qd_Transaction_Format_3& f = t.f3;
      f.urgency = 'H';
      f.notclass = 12;
      Put(f.event, "  disk_fail ");
      Put(f.source, "enclosure 2");
      f.EventTimeFirst = Stamp("2014/10/09 23:00:00.00");
      f.EventTimeLast = Stamp("2014/10/09 23:38:00.99");
      f.EventLocation = 'C';
      Put(f.abstract, "Disk failed");
      Put(f.counter, "3");
      Put(f.text, "   Disk 2.14 failed.\n");
      if (fmt >= 5) Put(t.f7.model, "Velmar 8400");
      if (fmt >= 6) Put(t.f7.NotifyUnique, "disk_fail;2.14");
      if (fmt == 7) {
        Put(t.f7.SRnumber, "SR123");
        Put(t.f7.EntityId, "E77");
      }
      break;
    }
    case 255:
      Put(t.stop.comments, "  operator stop");
      break;
    default:
      break;
  }
  return t;
}

// Makes the logger of the process use a catalogue without texts.
inline void BareCatalogue(const TempRoot& root) {
  root.write("/usr/local/qd/share/messages.cat", "# no texts: arguments are logged bare\n");
}

// The platform log as "ID U ARGS" lines.
inline std::vector<std::string> Logged(const TempRoot& root) {
  std::vector<std::string> out;
  std::istringstream in(root.read("/var/log/qd/qd.log"));
  for (std::string line; std::getline(in, line);) {
    // "DATE TIME PROCESS[PID] ID U TEXT": drop the first three words.
    size_t at = 0;
    for (int i = 0; i < 3 && at != std::string::npos; ++i) at = line.find(' ', at + 1);
    out.push_back(at == std::string::npos ? line : line.substr(at + 1));
  }
  return out;
}

// A private root with a bare catalogue and a logger reading it.
struct LogUnderTest {
  LogUnderTest() : log(Prepare(root)) {}
  std::vector<std::string> lines() const { return Logged(root); }
  TempRoot root;
  CLogMessage log;

 private:
  static const char* Prepare(const TempRoot& root) {
    BareCatalogue(root);
    return "QDTEST";
  }
};

}  // namespace txntest
