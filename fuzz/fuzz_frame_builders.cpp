// The WiFi and Bluetooth frame builders on any text: a frame is either refused (nothing to send)
// or exactly its fixed length with its header, and what it carries fits the limits.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <string>

#include "commands/setting_frames.h"
#include "commands/settings_rows.h"
#include "fuzz/check.h"
#include "netcfg/wifi_frames.h"
#include "platform/text_codec.h"

namespace {

bool Starts(const std::vector<uint8_t>& frame, std::initializer_list<uint8_t> header) {
    return std::equal(header.begin(), header.end(), frame.begin());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string first = input.ConsumeRandomLengthString(160);
    const std::string second = input.ConsumeRandomLengthString(160);

    const netcfg::WifiFrame credentials = netcfg::CredentialsFrame(first, second);
    if (credentials.tooLong == netcfg::WifiTooLong::None) {
        FUZZ_CHECK(credentials.bytes.size() == 128);
        FUZZ_CHECK(Starts(credentials.bytes, {0x1F, 0x1B, 0x68}));
        // SSID, its 00, password: then only zeros.
        const auto ssidEnd = std::find(credentials.bytes.begin() + 3, credentials.bytes.end(), 0);
        FUZZ_CHECK(ssidEnd - credentials.bytes.begin() - 3 <= 63);
    } else {
        FUZZ_CHECK(credentials.bytes.empty());
        FUZZ_CHECK(*netcfg::WifiTooLongMessage(credentials.tooLong, 1) != '\0');
    }

    const netcfg::WifiFrame restore = netcfg::WifiRestoreFrame(first, second);
    const std::size_t carried =
        platform::Utf8ToGbk(first).size() + platform::Utf8ToGbk(second).size();
    if (restore.tooLong == netcfg::WifiTooLong::None) {
        FUZZ_CHECK(restore.bytes.size() == 128);
        FUZZ_CHECK(Starts(restore.bytes, {0x1F, 0x1B, 0x6F, 0x12}));
        FUZZ_CHECK(carried <= netcfg::kWifiTogetherLimit);
        FUZZ_CHECK(std::all_of(restore.bytes.begin() + 4 + static_cast<std::ptrdiff_t>(carried),
                               restore.bytes.end(), [](uint8_t b) { return b == 0; }));
    } else {
        FUZZ_CHECK(restore.bytes.empty());
        FUZZ_CHECK(carried > netcfg::kWifiTogetherLimit);
    }

    const commands::SettingRow& names = *commands::FindSettingRow("bluetooth-names");
    const commands::RowFrame bt = commands::BuildRowFrame(names, -1, first, second);
    const std::size_t spp = platform::Utf8ToGbk(first).size();
    const std::size_t le = platform::Utf8ToGbk(second).size();
    if (bt.outcome == commands::RowOutcome::Send) {
        FUZZ_CHECK(bt.bytes.size() == 64);
        FUZZ_CHECK(Starts(bt.bytes, {0x1F, 0x1B, 0x78, 0x99}));
        FUZZ_CHECK(spp + 1 + le <= commands::kBluetoothNamesRoom);
        FUZZ_CHECK(bt.bytes[4 + spp] == 0);
    } else {
        FUZZ_CHECK(bt.outcome == commands::RowOutcome::NamesTooLong);
        FUZZ_CHECK(bt.bytes.empty());
        FUZZ_CHECK(spp + 1 + le > commands::kBluetoothNamesRoom);
    }

    // Every setting frame from the one table: its fixed length, header and second code byte,
    // whatever parameters are given; and every settings row at any list position.
    const uint8_t code = input.ConsumeIntegral<uint8_t>();
    const auto params = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange(0, 200));
    const std::vector<uint8_t> frame = commands::BuildSettingFrame(code, params);
    const commands::FrameLayout* layout = commands::FindFrameLayout(code);
    if (layout == nullptr) {
        FUZZ_CHECK(frame.empty());
    } else {
        FUZZ_CHECK(frame.size() == layout->length);
        FUZZ_CHECK(Starts(frame, {0x1F, 0x1B, code}));
        if (layout->secondCode) FUZZ_CHECK(frame[3] == *layout->secondCode);
    }
    const int position = input.ConsumeIntegralInRange(-2, 300);
    for (const commands::SettingRow& row : commands::SettingRows()) {
        const commands::RowFrame built = commands::BuildRowFrame(row, position, first, second);
        if (built.outcome != commands::RowOutcome::Send) {
            FUZZ_CHECK(built.bytes.empty());
            continue;
        }
        const commands::FrameLayout* rowLayout = commands::FindFrameLayout(row.code);
        FUZZ_CHECK(rowLayout != nullptr && built.bytes.size() == rowLayout->length);
        FUZZ_CHECK(!row.bounded || row.value != commands::RowValue::ListPosition ||
                   (position >= row.low && position <= row.high));
    }

    const auto octets = input.ConsumeBytes<uint8_t>(12);
    if (octets.size() == 12) {
        const netcfg::Ipv4 a{octets[0], octets[1], octets[2], octets[3]};
        const netcfg::Ipv4 m{octets[4], octets[5], octets[6], octets[7]};
        const netcfg::Ipv4 g{octets[8], octets[9], octets[10], octets[11]};
        const auto frame = netcfg::StaticAddressFrame(a, m, g);
        FUZZ_CHECK(frame.size() == 40 && Starts(frame, {0x1F, 0x1B, 0x69, 0x00}));
        FUZZ_CHECK(std::equal(a.begin(), a.end(), frame.begin() + 4));
        FUZZ_CHECK(std::equal(g.begin(), g.end(), frame.begin() + 18));
    }
    return 0;
}
