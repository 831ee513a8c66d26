#pragma once
// Dropping root: programs started by root (systemd, an operator) switch to
// the service account named by the dictionary key SERVICE_USER ([Global])
// before they do anything else.

// Switches the process to the service user: initgroups, setgid, setuid, in
// that order, each checked, and then makes sure root cannot be regained.
// Nothing to do (result 0) when the process does not run as root (the
// dictionary is not even read then), when SERVICE_USER is absent, or when
// the process already runs as that user.
// Returns 0 on success; non-zero with the reason in `errortext` (at most
// `size` bytes, NUL included; may be null):
//   1  the user could not be determined (dictionary unreadable or the key
//      unreadable, unknown user name); nothing was changed;
//  -1  a switching call failed; the process may have changed groups already
//      and must not go on as if it had the service user's identity.
int QDSetUser(char* errortext, int size);
