#pragma once
// The one place where long waits and fixed time-outs are scaled. The
// environment variable QD_TIME_SCALE (a positive factor, default 1) shrinks
// every documented wait so tests can run those paths in seconds. Nothing
// else in the system reads QD_TIME_SCALE.

// The factor in force: QD_TIME_SCALE when it parses as a positive number,
// else 1.
double QdTimeScale();

// `seconds` times the factor, in seconds.
double QdScaledSeconds(double seconds);

// `seconds` times the factor, in whole milliseconds, at least 1 when
// `seconds` is positive (so a scaled wait never becomes a busy loop).
long QdScaledMillis(double seconds);

// Sleeps for the scaled time. A signal cuts the sleep short; returns 0 when
// the whole time passed, 1 when a signal interrupted it.
int QdSleep(double seconds);
