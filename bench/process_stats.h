#pragma once
// This process's CPU time and resident memory, per platform.

namespace bench {

double CpuSeconds();  // user and system time so far
long ResidentKiB();   // resident set (Windows: working set)

}  // namespace bench
