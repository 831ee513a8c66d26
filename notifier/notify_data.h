#pragma once
// The notification record: one notification for one recipient, as mail,
// pages, templates and the alert history read it. The processing of a
// work message clears it, fills the notification fields once and
// overwrites the recipient fields (USERID, SHIFT, CATEGORY, ORGTYPE,
// LANGUAGE, USERTZ, UserTime) for each user it tells; everything else only
// reads it.
//
// Fields are zero-terminated texts of fixed width (terminator included)
// and time stamps; every field a template keyword reads is named as the
// keyword. Byte layout (all single bytes, so no padding):
//
//   offset  field          width  content
//       0  NOTTYPE            4  transaction id as processed ("PNR", "SNR", "GNR")
//       4  NOTID             80  notify id
//      84  RAPLOC            80  alerting location, or "Varn <sp id> (forwarded)"
//     164  HUBLOC            80  the notifier's local literal
//     244  NotifyTime        24  processing time in the alert zone (NOTTIME_HUB)
//     268  UserTime          24  the same instant in the recipient's zone (NOTTIME_USER)
//     292  HUBTZ             80  zone abbreviation of the notify time
//     372  NOTCOMMENTS     1024  comments gathered while processing
//    1396  NOTUNIQUE        257  repeat key
//    1653  VENDOR            41  machine vendor
//    1694  PRODUCT           41  machine product
//    1735  SERIAL            81  machine id
//    1816  MODEL             81  machine model
//    1897  MODELID            5  model suffix of mail subjects
//    1902  SITE              80  site number
//    1982  SITETZ            80  site zone abbreviation at the first event time
//    2062  SITENAME         256  site name
//    2318  SITENICKNAME      20  site nickname
//    2338  USERID           101  recipient's user id
//    2439  SHIFT             10  "prime" or "off"
//    2449  CATEGORY          31  recipient's category
//    2480  ORGTYPE            4  organisation type without its sort letter
//    2484  LANGUAGE          31  recipient's language
//    2515  USERTZ            80  zone abbreviation of the user time
//    2595  EVENTLOCATION     10  local literal, or "Site"
//    2605  EVENTTZ           80  HUBTZ or SITETZ, as EVENTLOCATION says
//    2685  EventTimeFirst    24  first event time (EVENTTIMEFIRST)
//    2709  EventTimeLast     24  last event time (EVENTTIME, EVENTTIMELAST)
//    2733  EVENTTIMESHORT    20  "Mar07 14:05" of the first event time
//    2753  COUNTER           10  event counter
//    2763  URGENCY           10  "alert", "high", "low", "ignore"
//    2773  SHORTURGENCY       2  first letter of URGENCY, upper case
//    2775  NOTCLASS          10  notification class, decimal
//    2785  EVENT            257  event
//    3042  SOURCE           257  source
//    3299  ABSTRACT          81  abstract ("SUPPRESSED:" first at the start of repeat suppression)
//    3380  TEXT            4001  full text
//    7381  CUSTTEXT        4001  TEXT cut at the first "XML FORMAT:"
//   11382  SRnumber          81  service request number
//   11463  EntityId          81  entity id
//   11544  (end)
//
// Every text is written with NotifySet, which cuts what does not fit, so
// no copy into the record can overrun a field.

#include <cstddef>
#include <cstring>
#include <string>

#include "time_stamp.h"

struct NotifyData {
  char NOTTYPE[4];
  char NOTID[80];
  char RAPLOC[80];
  char HUBLOC[80];
  Time_Stamp NotifyTime;
  Time_Stamp UserTime;
  char HUBTZ[80];
  char NOTCOMMENTS[1024];
  char NOTUNIQUE[257];
  char VENDOR[41];
  char PRODUCT[41];
  char SERIAL[81];
  char MODEL[81];
  char MODELID[5];
  char SITE[80];
  char SITETZ[80];
  char SITENAME[256];
  char SITENICKNAME[20];
  char USERID[101];
  char SHIFT[10];
  char CATEGORY[31];
  char ORGTYPE[4];
  char LANGUAGE[31];
  char USERTZ[80];
  char EVENTLOCATION[10];
  char EVENTTZ[80];
  Time_Stamp EventTimeFirst;
  Time_Stamp EventTimeLast;
  char EVENTTIMESHORT[20];
  char COUNTER[10];
  char URGENCY[10];
  char SHORTURGENCY[2];
  char NOTCLASS[10];
  char EVENT[257];
  char SOURCE[257];
  char ABSTRACT[81];
  char TEXT[4001];
  char CUSTTEXT[4001];
  char SRnumber[81];
  char EntityId[81];
};

static_assert(sizeof(NotifyData) == 11544, "NotifyData is 11544 bytes");
static_assert(offsetof(NotifyData, NOTTYPE) == 0, "NotifyData.NOTTYPE");
static_assert(offsetof(NotifyData, NOTID) == 4, "NotifyData.NOTID");
static_assert(offsetof(NotifyData, RAPLOC) == 84, "NotifyData.RAPLOC");
static_assert(offsetof(NotifyData, HUBLOC) == 164, "NotifyData.HUBLOC");
static_assert(offsetof(NotifyData, NotifyTime) == 244, "NotifyData.NotifyTime");
static_assert(offsetof(NotifyData, UserTime) == 268, "NotifyData.UserTime");
static_assert(offsetof(NotifyData, HUBTZ) == 292, "NotifyData.HUBTZ");
static_assert(offsetof(NotifyData, NOTCOMMENTS) == 372, "NotifyData.NOTCOMMENTS");
static_assert(offsetof(NotifyData, NOTUNIQUE) == 1396, "NotifyData.NOTUNIQUE");
static_assert(offsetof(NotifyData, VENDOR) == 1653, "NotifyData.VENDOR");
static_assert(offsetof(NotifyData, PRODUCT) == 1694, "NotifyData.PRODUCT");
static_assert(offsetof(NotifyData, SERIAL) == 1735, "NotifyData.SERIAL");
static_assert(offsetof(NotifyData, MODEL) == 1816, "NotifyData.MODEL");
static_assert(offsetof(NotifyData, MODELID) == 1897, "NotifyData.MODELID");
static_assert(offsetof(NotifyData, SITE) == 1902, "NotifyData.SITE");
static_assert(offsetof(NotifyData, SITETZ) == 1982, "NotifyData.SITETZ");
static_assert(offsetof(NotifyData, SITENAME) == 2062, "NotifyData.SITENAME");
static_assert(offsetof(NotifyData, SITENICKNAME) == 2318, "NotifyData.SITENICKNAME");
static_assert(offsetof(NotifyData, USERID) == 2338, "NotifyData.USERID");
static_assert(offsetof(NotifyData, SHIFT) == 2439, "NotifyData.SHIFT");
static_assert(offsetof(NotifyData, CATEGORY) == 2449, "NotifyData.CATEGORY");
static_assert(offsetof(NotifyData, ORGTYPE) == 2480, "NotifyData.ORGTYPE");
static_assert(offsetof(NotifyData, LANGUAGE) == 2484, "NotifyData.LANGUAGE");
static_assert(offsetof(NotifyData, USERTZ) == 2515, "NotifyData.USERTZ");
static_assert(offsetof(NotifyData, EVENTLOCATION) == 2595, "NotifyData.EVENTLOCATION");
static_assert(offsetof(NotifyData, EVENTTZ) == 2605, "NotifyData.EVENTTZ");
static_assert(offsetof(NotifyData, EventTimeFirst) == 2685, "NotifyData.EventTimeFirst");
static_assert(offsetof(NotifyData, EventTimeLast) == 2709, "NotifyData.EventTimeLast");
static_assert(offsetof(NotifyData, EVENTTIMESHORT) == 2733, "NotifyData.EVENTTIMESHORT");
static_assert(offsetof(NotifyData, COUNTER) == 2753, "NotifyData.COUNTER");
static_assert(offsetof(NotifyData, URGENCY) == 2763, "NotifyData.URGENCY");
static_assert(offsetof(NotifyData, SHORTURGENCY) == 2773, "NotifyData.SHORTURGENCY");
static_assert(offsetof(NotifyData, NOTCLASS) == 2775, "NotifyData.NOTCLASS");
static_assert(offsetof(NotifyData, EVENT) == 2785, "NotifyData.EVENT");
static_assert(offsetof(NotifyData, SOURCE) == 3042, "NotifyData.SOURCE");
static_assert(offsetof(NotifyData, ABSTRACT) == 3299, "NotifyData.ABSTRACT");
static_assert(offsetof(NotifyData, TEXT) == 3380, "NotifyData.TEXT");
static_assert(offsetof(NotifyData, CUSTTEXT) == 7381, "NotifyData.CUSTTEXT");
static_assert(offsetof(NotifyData, SRnumber) == 11382, "NotifyData.SRnumber");
static_assert(offsetof(NotifyData, EntityId) == 11463, "NotifyData.EntityId");

// Clears every field (texts empty, stamps zero bytes).
void NotifyClear(NotifyData& nd);

// Copies `text` (null reads "") into the field `dst`, cut to its width
// less the terminator; returns false when it had to be cut.
template <size_t N>
bool NotifySet(char (&dst)[N], const char* text) {
  const char* s = text ? text : "";
  size_t n = strnlen(s, N);
  bool whole = n < N;
  if (!whole) n = N - 1;
  std::memmove(dst, s, n);
  dst[n] = '\0';
  return whole;
}
template <size_t N>
bool NotifySet(char (&dst)[N], const std::string& text) {
  return NotifySet(dst, text.c_str());
}

// Sets EVENTTIMESHORT from EventTimeFirst: the English month abbreviation,
// the day, a blank, hour, colon, minute ("Mar07 14:05"). A stamp whose
// month is not 01..12 gives "???" for the month.
void NotifySetEventTimeShort(NotifyData& nd);

// Sets CUSTTEXT to TEXT cut before its first "XML FORMAT:" (all of TEXT
// when it has none).
void NotifySetCustText(NotifyData& nd);

// The text a template shows for a stamp: its 22 characters after the
// format byte, "YYYY/MM/DD HH:MM:SS.hh" (up to the first NUL).
std::string NotifyStampText(const Time_Stamp& ts);
