#pragma once
// The factory-restore dialog's frames (dialog 138): one of two factory parameter sets, stamped
// with the local date of the press.

#include <cstdint>
#include <vector>

namespace commands {

enum class FactorySet : uint8_t {
    Quiet = 0x76,          // sound and light signals off
    SoundAndLight = 0x77,  // sound and light signals on
};

struct LocalDate {
    int year;
    int month;  // 1..12
    int day;    // 1..31
};

// The local calendar date of `secondsSinceEpoch`.
LocalDate LocalDateOf(int64_t secondsSinceEpoch);

// The 48-byte frame: set header, date as "%4d-%2d-%2d" in bytes 16-25, 01 at byte 33, the rest 00.
std::vector<uint8_t> FactoryFrame(FactorySet set, const LocalDate& date);

}  // namespace commands
