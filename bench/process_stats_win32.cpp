#include <windows.h>
// After windows.h:
#include <psapi.h>

#include "bench/process_stats.h"

namespace bench {

double CpuSeconds() {
    FILETIME created{}, ended{}, kernel{}, user{};
    if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) return 0;
    const auto seconds = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

namespace {

long WorkingSetKiB(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    if (!GetProcessMemoryInfo(process, &counters, sizeof counters)) return 0;
    return static_cast<long>(counters.WorkingSetSize / 1024);
}

}  // namespace

long ResidentKiB() {
    return WorkingSetKiB(GetCurrentProcess());
}

long ResidentKiBOf(long pid) {
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE,
                                       static_cast<DWORD>(pid));
    if (process == nullptr) return 0;
    const long kib = WorkingSetKiB(process);
    CloseHandle(process);
    return kib;
}

}  // namespace bench
