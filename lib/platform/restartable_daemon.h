#pragma once
// Making a program a restartable daemon.
//
// The calling process starts a detached supervisor and ends; the
// supervisor starts the daemon as its child and starts it again whenever
// it ends, except after exit status 100 (an operator stop or a stop
// transaction) or after the supervisor itself was told to stop:
//
//   caller --fork--> (new session) --fork--> supervisor --fork--> daemon
//     returns 1        ends at once            pid file          returns 0
//
// The supervisor and the daemon run in their own session, with the dump
// directory as working directory, standard input and output on /dev/null
// and standard error appended to "<dumpdirectory>/<name>.stderr", where
// the supervisor also writes one line per start, end and restart. Each
// restart is a fresh fork of the process image as it was at the call, so
// the daemon always begins where the program called RestartableDaemon.
//
// Restarts pause first (1 s, doubled after each quick failure, at most
// 60 s; back to 1 s after a run of 10 minutes or more), through the scaled
// waits of time_scale.h. SIGTERM and SIGINT sent to the supervisor are
// forwarded to the daemon and end the supervisor once the daemon has
// ended; SIGHUP is forwarded (the daemon re-initialises) or, during a
// pause, starts the daemon at once.
//
// The supervisor's process id is in QdPath("/var/run/qd/<name>.pid"), held
// under a lock for its whole life, so `kill -TERM $(cat <that file>)` stops
// the daemon for good and a second supervisor of the same name is refused.
// The file is removed when the supervisor ends.

// Becomes the daemon `name` (a file-name-safe text: no '/', at most 100
// characters) with the dump directory `dumpdirectory` (a system path,
// resolved through QdPath and created when missing).
//
// With `restart` false no supervisor is made: the process only detaches
// and the pid file names the daemon itself.
//
// When the environment shows a service manager started the process
// (INVOCATION_ID or NOTIFY_SOCKET set), it already supervises, logs and
// restarts: nothing is done and 0 is returned at once.
//
// Returns, in the calling process: 1 when the supervisor (or daemon) is
// running, the caller should end with exit status 0; -1 when it could not
// be started (a reason is written to standard error, no process is left
// behind). Returns 0 in the daemon process, which goes on as the daemon.
int RestartableDaemon(const char* name, const char* dumpdirectory, bool restart);
