#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "bench/process_stats.h"

namespace bench {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

namespace {

long ResidentOf(const std::string& statmPath) {
    std::ifstream statm(statmPath);
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace

long ResidentKiB() {
    return ResidentOf("/proc/self/statm");
}

long ResidentKiBOf(long pid) {
    return ResidentOf("/proc/" + std::to_string(pid) + "/statm");
}

}  // namespace bench
