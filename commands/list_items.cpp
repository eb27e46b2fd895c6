#include "commands/list_items.h"

#include <array>

namespace commands {
namespace {

constexpr std::array<const char*, 6> kBeeperModes{"0", "1", "2", "3", "4", "5"};
constexpr std::array<const char*, 5> kBlankFeedLines{"1行", "2行", "3行", "4行", "5行"};
constexpr std::array<const char*, 9> kBaudRates{"1200",  "2400",  "4800",   "9600",  "19200",
                                                "38400", "57600", "115200", "128000"};

}  // namespace

std::span<const char* const> BeeperModeItems() {
    return kBeeperModes;
}
std::span<const char* const> BlankFeedItems() {
    return kBlankFeedLines;
}
std::span<const char* const> BaudRateItems() {
    return kBaudRates;
}

}  // namespace commands
