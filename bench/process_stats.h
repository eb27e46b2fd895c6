#pragma once
// This process's CPU time and resident memory, per platform.

namespace bench {

double CpuSeconds();  // user and system time so far
long ResidentKiB();   // resident set (Windows: working set)
// Another process's resident set, by its id; 0 when it cannot be read.
long ResidentKiBOf(long pid);

}  // namespace bench
