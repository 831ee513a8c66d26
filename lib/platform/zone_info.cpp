#include "zone_info.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

#include "err_text.h"
#include "qd_path.h"
#include "time_stamp.h"

namespace {

constexpr size_t kMaxZoneFile = 1 << 20;

// A name is looked up only inside the zone database: no absolute path, no
// ".." component, nothing but the characters zone names are made of.
bool ZoneNameAcceptable(const std::string& name) {
  if (name.empty() || name[0] == '/' || name.size() > 255) return false;
  for (unsigned char c : name) {
    if (!std::isalnum(c) && c != '/' && c != '_' && c != '-' && c != '+' && c != '.') return false;
  }
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    std::string part = name.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

// Bounds-checked big-endian reader over the file's bytes.
class Bytes {
 public:
  explicit Bytes(const std::string& data) : data_(data) {}
  bool Has(size_t n) const { return pos_ <= data_.size() && data_.size() - pos_ >= n; }
  size_t pos() const { return pos_; }
  void Skip(size_t n) { pos_ += n; }
  int64_t Int(int width) {
    uint64_t v = 0;
    for (int i = 0; i < width; ++i) v = (v << 8) | static_cast<unsigned char>(data_[pos_++]);
    if (width == 4) return static_cast<int32_t>(static_cast<uint32_t>(v));
    return static_cast<int64_t>(v);
  }
  unsigned char Byte() { return static_cast<unsigned char>(data_[pos_++]); }
  const std::string& data() const { return data_; }

 private:
  const std::string& data_;
  size_t pos_ = 0;
};

struct Header {
  char version;
  int64_t isutcnt, isstdcnt, leapcnt, timecnt, typecnt, charcnt;
};

bool ReadHeader(Bytes& in, Header& h) {
  if (!in.Has(44) || in.data().compare(in.pos(), 4, "TZif") != 0) return false;
  in.Skip(4);
  h.version = static_cast<char>(in.Byte());
  in.Skip(15);
  h.isutcnt = in.Int(4);
  h.isstdcnt = in.Int(4);
  h.leapcnt = in.Int(4);
  h.timecnt = in.Int(4);
  h.typecnt = in.Int(4);
  h.charcnt = in.Int(4);
  return h.isutcnt >= 0 && h.isstdcnt >= 0 && h.leapcnt >= 0 && h.timecnt >= 0 &&
         h.typecnt >= 1 && h.typecnt <= 256 && h.charcnt >= 0;
}

size_t BlockSize(const Header& h, int timewidth) {
  return h.timecnt * (timewidth + 1) + h.typecnt * 6 + h.charcnt + h.leapcnt * (timewidth + 4) +
         h.isstdcnt + h.isutcnt;
}

bool ReadBlock(Bytes& in, const Header& h, int timewidth, ZoneInfo& zone) {
  if (!in.Has(BlockSize(h, timewidth))) return false;
  zone.times.clear();
  zone.index.clear();
  zone.types.clear();
  for (int64_t i = 0; i < h.timecnt; ++i) zone.times.push_back(in.Int(timewidth));
  for (int64_t i = 0; i < h.timecnt; ++i) {
    zone.index.push_back(in.Byte());
    if (zone.index.back() >= h.typecnt) return false;
  }
  if (!std::is_sorted(zone.times.begin(), zone.times.end())) return false;
  std::vector<unsigned> desig;
  for (int64_t i = 0; i < h.typecnt; ++i) {
    ZoneType t;
    t.utoff = static_cast<int32_t>(in.Int(4));
    t.isdst = in.Byte() != 0;
    desig.push_back(in.Byte());
    zone.types.push_back(t);
  }
  std::string chars = in.data().substr(in.pos(), h.charcnt);
  in.Skip(h.charcnt);
  for (size_t i = 0; i < zone.types.size(); ++i) {
    if (desig[i] >= chars.size()) return false;
    zone.types[i].abbr = chars.substr(desig[i], chars.find('\0', desig[i]) - desig[i]);
  }
  in.Skip(h.leapcnt * (timewidth + 4) + h.isstdcnt + h.isutcnt);
  return true;
}

bool ReadFooter(Bytes& in, ZoneInfo& zone) {
  const std::string& data = in.data();
  if (!in.Has(1) || data[in.pos()] != '\n') return false;
  size_t end = data.find('\n', in.pos() + 1);
  if (end == std::string::npos) return false;
  std::string text = data.substr(in.pos() + 1, end - in.pos() - 1);
  if (text.empty()) return true;
  return ZoneParseRule(text, zone.rule) == 0;
}

bool ParseZoneFile(const std::string& data, ZoneInfo& zone) {
  Bytes in(data);
  Header h;
  if (!ReadHeader(in, h)) return false;
  if (h.version == '\0') return ReadBlock(in, h, 4, zone);
  // Version 2 and later repeat the data with 64-bit times after the
  // 32-bit block, followed by the rule text for later times.
  if (!in.Has(BlockSize(h, 4))) return false;
  in.Skip(BlockSize(h, 4));
  return ReadHeader(in, h) && ReadBlock(in, h, 8, zone) && ReadFooter(in, zone);
}

// Reads a regular file of at most kMaxZoneFile bytes (a larger one is
// returned cut, and then fails to parse). Returns 0, or -1 when there is
// no such regular file.
int ReadZoneFile(const std::string& path, std::string& data) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return -1;
  }
  char buffer[8192];
  ssize_t n;
  while (data.size() <= kMaxZoneFile && (n = read(fd, buffer, sizeof buffer)) != 0) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return -1;
    }
    data.append(buffer, n);
  }
  close(fd);
  return 0;
}

// --- rule text -------------------------------------------------------

class RuleText {
 public:
  explicit RuleText(const std::string& text) : s_(text) {}
  bool AtEnd() const { return i_ >= s_.size(); }
  bool Take(char c) {
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  char Peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }

  bool Name(std::string& out) {
    size_t start = i_;
    if (Take('<')) {
      size_t close = s_.find('>', i_);
      if (close == std::string::npos || close - i_ < 3) return false;
      out = s_.substr(i_, close - i_);
      i_ = close + 1;
      return true;
    }
    while (i_ < s_.size() && std::isalpha(static_cast<unsigned char>(s_[i_]))) ++i_;
    out = s_.substr(start, i_ - start);
    return out.size() >= 3;
  }

  bool Number(int& out, int max) {
    size_t start = i_;
    long v = 0;
    while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_])) && i_ - start < 4) {
      v = v * 10 + (s_[i_++] - '0');
    }
    out = static_cast<int>(v);
    return i_ > start && v <= max;
  }

  // [+-]hh[:mm[:ss]] in seconds.
  bool Clock(int32_t& out, int maxhours) {
    int sign = 1;
    if (Take('-')) {
      sign = -1;
    } else {
      Take('+');
    }
    int h = 0, m = 0, sec = 0;
    if (!Number(h, maxhours)) return false;
    if (Take(':') && !Number(m, 59)) return false;
    if (Take(':') && !Number(sec, 59)) return false;
    out = sign * (h * 3600 + m * 60 + sec);
    return true;
  }

  bool Day(ZoneRuleDay& d) {
    if (Take('J')) {
      d.kind = 'J';
      if (!Number(d.day, 365) || d.day < 1) return false;
    } else if (Take('M')) {
      d.kind = 'M';
      if (!Number(d.month, 12) || d.month < 1 || !Take('.') || !Number(d.week, 5) ||
          d.week < 1 || !Take('.') || !Number(d.weekday, 6)) {
        return false;
      }
    } else {
      d.kind = 'D';
      if (!Number(d.day, 365)) return false;
    }
    d.time = 7200;
    // Times may be negative or beyond a day (up to 167 hours).
    return !Take('/') || Clock(d.time, 167);
  }

 private:
  const std::string& s_;
  size_t i_ = 0;
};

// Days since the epoch of the rule day `d` in `year`.
int64_t RuleDayOf(const ZoneRuleDay& d, int64_t year) {
  int64_t jan1 = QdDaysFromCivil(year, 1, 1);
  if (d.kind == 'J') return jan1 + d.day - 1 + (QdLeapYear(year) && d.day >= 60 ? 1 : 0);
  if (d.kind == 'D') return jan1 + d.day;
  int64_t first = QdDaysFromCivil(year, d.month, 1);
  int first_wday = static_cast<int>(((first + 4) % 7 + 7) % 7);  // 1970-01-01 was a Thursday
  int64_t day = first + (d.weekday - first_wday + 7) % 7 + 7 * (d.week - 1);
  int64_t next_month = d.month == 12 ? QdDaysFromCivil(year + 1, 1, 1)
                                     : QdDaysFromCivil(year, d.month + 1, 1);
  while (day >= next_month) day -= 7;
  return day;
}

const ZoneType& RuleTypeAt(const ZoneRule& rule, int64_t utc) {
  if (!rule.has_dst) return rule.std_type;
  int64_t year;
  int month, day;
  QdCivilFromDays((utc + rule.std_type.utoff) / 86400 - ((utc + rule.std_type.utoff) % 86400 < 0),
                  year, month, day);
  int64_t start = RuleDayOf(rule.start, year) * 86400 + rule.start.time - rule.std_type.utoff;
  int64_t end = RuleDayOf(rule.end, year) * 86400 + rule.end.time - rule.dst_type.utoff;
  bool dst = start < end ? (utc >= start && utc < end) : !(utc >= end && utc < start);
  return dst ? rule.dst_type : rule.std_type;
}

}  // namespace

int ZoneParseRule(const std::string& text, ZoneRule& rule) {
  RuleText in(text);
  rule = ZoneRule();
  int32_t west = 0;
  if (!in.Name(rule.std_type.abbr) || !in.Clock(west, 24)) return -1;
  rule.std_type.utoff = -west;
  rule.present = true;
  if (in.AtEnd()) return 0;
  rule.has_dst = true;
  rule.dst_type.isdst = true;
  if (!in.Name(rule.dst_type.abbr)) return -1;
  rule.dst_type.utoff = rule.std_type.utoff + 3600;
  if (in.Peek() != ',' && !in.AtEnd()) {
    if (!in.Clock(west, 24)) return -1;
    rule.dst_type.utoff = -west;
  }
  if (in.AtEnd()) {
    // No change dates: the customary ones of the C library.
    return ZoneParseRule(text + ",M3.2.0,M11.1.0", rule);
  }
  if (!in.Take(',') || !in.Day(rule.start) || !in.Take(',') || !in.Day(rule.end)) return -1;
  return in.AtEnd() ? 0 : -1;
}

int ZoneLoad(const char* name, ZoneInfo& zone, char* errtext) {
  std::string zname = name ? name : "";
  if (!ZoneNameAcceptable(zname)) {
    SetErrText(errtext, "unknown time zone '%s'", zname.c_str());
    return -1;
  }
  std::string data;
  if (ReadZoneFile(QdPath("/usr/share/zoneinfo/" + zname), data) != 0) {
    SetErrText(errtext, "unknown time zone '%s'", zname.c_str());
    return -1;
  }
  zone = ZoneInfo();
  if (data.size() > kMaxZoneFile || !ParseZoneFile(data, zone)) {
    SetErrText(errtext, "time zone file for '%s' is damaged", zname.c_str());
    return -1;
  }
  return 0;
}

const ZoneType& ZoneTypeAt(const ZoneInfo& zone, int64_t utc) {
  if (zone.times.empty() || utc < zone.times.front()) {
    if (zone.times.empty() && zone.rule.present) return RuleTypeAt(zone.rule, utc);
    return zone.types[0];
  }
  if (utc >= zone.times.back() && zone.rule.present) return RuleTypeAt(zone.rule, utc);
  size_t i = std::upper_bound(zone.times.begin(), zone.times.end(), utc) - zone.times.begin();
  return zone.types[zone.index[i - 1]];
}

int64_t ZoneWallToUtc(const ZoneInfo& zone, int64_t wall) {
  // The instant lies within a day of the wall-clock reading, so the offsets
  // in force a little over a day before and after, and at the reading
  // itself, are every offset that can apply.
  const int64_t kReach = 90000;
  int32_t offsets[3] = {ZoneTypeAt(zone, wall - kReach).utoff, ZoneTypeAt(zone, wall).utoff,
                        ZoneTypeAt(zone, wall + kReach).utoff};
  bool found = false;
  int64_t best = 0;
  for (int32_t off : offsets) {
    int64_t t = wall - off;
    if (ZoneTypeAt(zone, t).utoff == off && (!found || t < best)) {
      best = t;
      found = true;
    }
  }
  if (found) return best;
  // In a gap: read with the offset in force before the change.
  int32_t largest = *std::max_element(std::begin(offsets), std::end(offsets));
  return wall - ZoneTypeAt(zone, wall - largest).utoff;
}
