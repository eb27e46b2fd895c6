#include "commands/factory_frames.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>

#include "commands/setting_frames.h"

namespace commands {
namespace {

// Parameters from byte 4 onward, up to and including byte 33.
constexpr std::size_t kDateAt = 12;  // byte 16
constexpr std::size_t kDateLength = 10;
constexpr std::size_t kMarkerAt = 29;  // byte 33
constexpr std::array<uint8_t, 12> kQuietHead{0x00, 0x01, 0x02, 0x01, 0x00, 0x00,
                                             0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr std::array<uint8_t, 12> kSoundHead{0x00, 0x01, 0x02, 0x01, 0x00, 0x58,
                                             0x00, 0x00, 0x00, 0x07, 0x00, 0x06};

}  // namespace

LocalDate LocalDateOf(int64_t secondsSinceEpoch) {
    const std::time_t seconds = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) return {1970, 1, 1};
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::vector<uint8_t> FactoryFrame(FactorySet set, const LocalDate& date) {
    std::array<uint8_t, kMarkerAt + 1> params{};
    const auto& head = set == FactorySet::Quiet ? kQuietHead : kSoundHead;
    std::copy(head.begin(), head.end(), params.begin());
    char text[40];
    std::snprintf(text, sizeof text, "%4d-%2d-%2d", date.year, date.month, date.day);
    std::copy_n(text, kDateLength, params.begin() + kDateAt);
    params[kMarkerAt] = 0x01;
    return BuildSettingFrame(static_cast<uint8_t>(set), params);
}

}  // namespace commands
