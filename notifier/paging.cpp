// Paging (paging.h).
#include "paging.h"

#include <cstring>

#include "send_mail.h"

namespace {
bool Placeholder(const char* text) { return std::strncmp(text, "<no ", 4) == 0; }
}  // namespace

int IssuePage(NotifierState& st, const NotifyData& nd, bool closedLoop) {
  const NotifyRecipient& r = st.recipient;
  if (Placeholder(r.pager_type)) {
    NotifierLogRecipient(st, nd, '2', std::string("page failed - ") + r.pager_type);
    return kDeliveryImpossible;
  }
  if (Placeholder(r.pager_access)) {
    NotifierLogRecipient(st, nd, '2', std::string("page failed - ") + r.pager_access);
    return kDeliveryImpossible;
  }
  if (Placeholder(r.transport)) {
    NotifierLogRecipient(st, nd, '2',
                         std::string("page failed - '") + r.pager_type + "' is an unknown pager type");
    return kDeliveryImpossible;
  }
  if (closedLoop) {
    NotifierLogRecipient(st, nd, '0', "closed loop page request changed to open loop");
  }
  if (std::strcmp(r.transport, "mail") == 0) return SendMail(st, nd, r.pager_access, "page");
  NotifierLogRecipient(st, nd, '2',
                       std::string("page failed - '") + r.transport + "' is an unknown transport method");
  return kDeliveryImpossible;
}
