#pragma once
// The notification record of one message: filled once from the message in
// hand before the users are looked for; the recipient fields follow per
// user (notify_users).

#include "daemon.h"
#include "notify_data.h"
#include "process_message.h"

// Clears `nd` and fills the notification fields from `m` and the
// notifier's settings: kind, notify id, locations, the notify time (now in
// the alert zone) and its zone name, machine, model and model suffix, the
// site and its zone name at the first event time, event location and
// zone, both event times and the short form, counter, urgency, class,
// event, source, abstract (as repeat suppression left it), texts,
// comments, repeat key, service request and entity. A zone that cannot be
// used logs QDZ9999 '2' and leaves its name empty.
void FillNotifyData(DaemonState& st, const NotifyMessage& m, NotifyData& nd);

// The model suffix of mail subjects: for products other than "SP", "QD"
// and "VMC" of vendor "Zarvek" or "Varn", "-" and the model's first
// character ("-?" for the model "Unknown"); "" otherwise.
std::string ModelSuffix(const char* vendor, const char* product, const char* model);
