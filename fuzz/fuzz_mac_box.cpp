// The MAC box reader: a byte exactly when the box starts with one or two hexadecimal digits, and
// then their value; six boxes give a MAC exactly when every box holds a byte, else the first bad
// box.
#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <string>

#include "fuzz/check.h"
#include "netcfg/address_set.h"

namespace {

int Digit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) ? std::stoi(std::string(1, c), nullptr, 16)
                                                        : -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    std::array<std::string, 6> boxes;
    for (std::string& box : boxes) box = input.ConsumeRandomLengthString(8);
    for (const std::string& box : boxes) {
        const std::optional<uint8_t> byte = netcfg::ReadMacBox(box);
        const int hi = box.empty() ? -1 : Digit(box[0]);
        const int lo = box.size() < 2 ? -2 : Digit(box[1]);
        if (hi < 0 || lo == -1) {
            FUZZ_CHECK(!byte.has_value());
        } else {
            FUZZ_CHECK(byte.has_value());
            FUZZ_CHECK(*byte == (lo == -2 ? hi : hi * 16 + lo));
        }
    }
    const netcfg::MacBoxesRead read = netcfg::ReadMacBoxes(boxes);
    int firstBad = 0;
    for (int i = 0; i < 6 && firstBad == 0; ++i) {
        if (!netcfg::ReadMacBox(boxes[i])) firstBad = i + 1;
    }
    FUZZ_CHECK(read.badBox == firstBad);
    FUZZ_CHECK(read.mac.has_value() == (firstBad == 0));
    if (read.mac) {
        for (int i = 0; i < 6; ++i) FUZZ_CHECK((*read.mac)[i] == *netcfg::ReadMacBox(boxes[i]));
    }
    FUZZ_CHECK(!netcfg::MacBoxErrorText(firstBad == 0 ? 1 : firstBad, input.ConsumeBool()).empty());
    return 0;
}
