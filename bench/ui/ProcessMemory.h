#pragma once
// The process's resident memory, for the benchmarks' counters. Linux only:
// read from /proc/self/status; the peak can be reset between runs.

// Current and peak resident set size in MiB; -1 when unknown.
double ResidentMiB();
double PeakResidentMiB();
// Starts a new peak from the current size (no-op where unsupported).
void ResetPeakResident();
