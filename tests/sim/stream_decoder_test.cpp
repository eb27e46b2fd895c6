// The virtual printer's reading of the bytes the tools send: one line per command, the same
// lines however the stream is cut into pieces, and every byte covered by exactly one event.
#include "sim/stream_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/factory_frames.h"
#include "commands/one_click.h"
#include "commands/settings_rows.h"
#include "commands/voice_frames.h"
#include "netcfg/address_set.h"
#include "netcfg/wifi_frames.h"
#include "platform/text_codec.h"
#include "setuptool/test_text.h"
#include "updater/download_stream.h"

namespace simtest {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Gbk(const std::string& gbk) {
    return Bytes(gbk.begin(), gbk.end());
}

Bytes Text(const std::string& utf8) {
    return Gbk(platform::Utf8ToGbk(utf8));
}

Bytes Row(const char* name, int position, const char* spp = "", const char* le = "") {
    return commands::BuildRowFrame(*commands::FindSettingRow(name), position, spp, le).bytes;
}

Bytes OneClick(int id, int position = -1) {
    return commands::FindOneClick(id)->Build(position);
}

struct Decoded {
    std::vector<std::string> lines;
    std::vector<sim::Event> events;
};

// Feeds `bytes` in pieces of `piece` bytes (0: all at once), then ends the stream.
Decoded Decode(const Bytes& bytes, std::size_t piece = 0) {
    Decoded d;
    sim::StreamDecoder decoder([&](sim::Event&& e) {
        d.lines.push_back(sim::Describe(e));
        d.events.push_back(std::move(e));
    });
    const std::size_t step = piece == 0 ? std::max<std::size_t>(bytes.size(), 1) : piece;
    for (std::size_t at = 0; at < bytes.size(); at += step) {
        decoder.Feed(
            std::span<const uint8_t>(bytes).subspan(at, std::min(step, bytes.size() - at)));
    }
    decoder.Finish();
    return d;
}

// Events lie end to end from offset 0 and cover every byte.
void ExpectCoverage(const Decoded& d, std::size_t size) {
    uint64_t next = 0;
    for (const sim::Event& e : d.events) {
        EXPECT_EQ(e.offset, next) << sim::Describe(e);
        next = e.offset + e.length;
    }
    EXPECT_EQ(next, size);
}

struct Case {
    const char* name;
    Bytes bytes;
    std::vector<std::string> lines;
};

TEST(StreamDecoder, ToolCommandsReadAsOneLineEach) {
    const Case cases[] = {
        {"cut test", OneClick(1004), {"feed: 2 lines", "esc/pos cut: partial + pad 01"}},
        {"cash drawer", OneClick(1005), {"esc/pos drawer kick: pin 5, on 2 ms, off 0 ms + pad 00"}},
        {"self-test page", OneClick(1103), {"setting print self-test page"}},
        {"light on", OneClick(1081), {"setting light: 00 (on)"}},
        {"router auto on", OneClick(1099), {"setting router auto-adaptation: 01 (on)"}},
        {"blank feed, nothing chosen", OneClick(1050, -1), {"setting blank feed: FF"}},
        {"beeper", OneClick(1048, 3), {"setting beeper: 03 (3)"}},
        {"cutter", Row("cutter", 0), {"setting cutter: 00 (On)"}},
        {"code page 24", Row("code-page", 24), {"setting code page: 18 (100:ANSI1250 Cen Europe)"}},
        {"code page 25 as FF", Row("code-page", 25), {"setting code page: FF"}},
        {"density", Row("density", 1), {"setting print density: 01 (1)"}},
        {"baud rate", Row("baud-rate", 3), {"setting serial baud rate: 03 (9600)"}},
        {"alarm interval",
         commands::AlarmIntervalFrame(6),
         {"setting alarm interval: 06 (Always)"}},
        {"volume up", commands::VolumeUpFrame(), {"setting volume up"}},
        {"usb identity a",
         Row("usb-identity-a", -1),
         {"setting USB identity: vendor 1FC9 product 2016"}},
        {"bluetooth names",
         Row("bluetooth-names", -1, "打印机", "P_BLE"),
         {"setting Bluetooth device names: SPP \"打印机\", BLE \"P_BLE\""}},
        {"ip frame",
         netcfg::IpSettingFrame({192, 168, 1, 199}, {255, 255, 255, 0}, {192, 168, 0, 1}),
         {"setting IP address setting: address 192.168.1.199, mask 255.255.255.0, gateway "
          "192.168.0.1"}},
        {"mac frame",
         netcfg::MacSettingFrame({0x00, 0x1A, 0x2B, 0x0C, 0xD4, 0x05}),
         {"setting MAC address setting: MAC 00:1a:2b:0c:d4:05"}},
        {"dhcp on", netcfg::DhcpFrame(true), {"setting DHCP on/off: 01 (on)"}},
        {"wifi credentials",
         netcfg::CredentialsFrame(" 咖啡馆", "密码pass").bytes,
         {"setting WiFi credentials: SSID \"咖啡馆\", password \"密码pass\""}},
        {"wifi restore",
         netcfg::WifiRestoreFrame("ab", "cd").bytes,
         {"setting WiFi factory restore: SSID and password \"abcd\""}},
        {"wifi static",
         netcfg::StaticAddressFrame({10, 1, 2, 199}, {255, 255, 255, 0}, {10, 1, 2, 1}),
         {"setting WiFi static address: address 10.1.2.199, mask 255.255.255.0, gateway "
          "10.1.2.1"}},
        {"factory set",
         commands::FactoryFrame(commands::FactorySet::SoundAndLight, {2026, 3, 8}),
         {"setting factory settings with sound and light: parameters 00 01 02 01 00 58 00 00 00 "
          "07 00 06, date \"2026- 3- 8\", byte 33 01"}},
        {"test page",
         Gbk(setuptool::TestPrintBytes("打印测试\nline two\r\n")),
         {"text: 打印测试", "text: line two"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded d = Decode(c.bytes);
        EXPECT_EQ(d.lines, c.lines);
        ExpectCoverage(d, c.bytes.size());
    }
}

TEST(StreamDecoder, UnknownAndMalformedBytesShowAsHexNeverDropped) {
    const Case cases[] = {
        {"control bytes", {0x07, 0x00, 'A', '\n'}, {"hex: 07 00", "text: A"}},
        {"unknown setting code",
         {0x1F, 0x1B, 0x9F, 'x'},
         {"hex unknown setting code: 1F 1B 9F", "text: x"}},
        {"wrong second code",
         {0x1F, 0x1B, 0x75, 0x11, 0, 0},
         {"hex not cutter: 1F 1B 75", "hex: 11 00 00"}},
        {"frame after a broken header",
         {0x1F, 0x1B, 0x75, 0x1F, 0x1B, 0x75, 0x9A, 0, 0, 0x1F, 0x1B, 0x0A},
         {"hex not cutter: 1F 1B 75", "setting cutter: 00 (On)", "hex unknown setting code: 1F 1B",
          "feed: 1 line"}},
        {"US without ESC", {0x1F, 'Z'}, {"hex: 1F", "text: Z"}},
        {"unknown ESC", {0x1B, 'q', 0x1B, '@'}, {"hex: 1B 71", "esc/pos initialise"}},
        {"ESC then a command",
         {0x1B, 0x1D, 'V', 0x00},
         {"character-data download mode: 1B 1D", "character-data records: 0 records (0 data bytes)",
          "text: V", "hex: 00"}},
        {"frame cut short",
         {0x1F, 0x1B, 0x75, 0x9A, 0x01},
         {"incomplete setting cutter: 5 bytes of 6: 1F 1B 75 9A 01"}},
        {"bad GBK",
         {'a', 0xFF, 0x81, '\t', '\\', 0x0D, 'b', 0xA2, 0xA0, 0x0D, 0x0A},
         {"text: a\\xFF\\x81\\t\\\\\\rb\\xA2\\xA0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded d = Decode(c.bytes);
        EXPECT_EQ(d.lines, c.lines);
        ExpectCoverage(d, c.bytes.size());
    }
}

// An in-memory image for the updater's own stream builder.
class MemorySource final : public updater::ByteSource {
  public:
    explicit MemorySource(Bytes bytes) : bytes_(std::move(bytes)) {}
    long Read(uint8_t* buffer, std::size_t length) override {
        const std::size_t n = std::min(length, bytes_.size() - at_);
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(at_), n, buffer);
        at_ += n;
        return static_cast<long>(n);
    }

  private:
    Bytes bytes_;
    std::size_t at_ = 0;
};

class VectorSink final : public updater::StreamSink {
  public:
    bool Write(const uint8_t* bytes, std::size_t length) override {
        out.insert(out.end(), bytes, bytes + length);
        return true;
    }
    Bytes out;
};

Bytes FirmwareStream(const Bytes& image) {
    MemorySource source(image);
    VectorSink sink;
    EXPECT_EQ(updater::SendFirmwareStream(source, sink).status, updater::StreamStatus::Done);
    return sink.out;
}

TEST(StreamDecoder, FirmwareDownloadCountsBlocksAndVerifiesTheChecksum) {
    Bytes abc = FirmwareStream({'a', 'b', 'c'});
    Bytes corrupt = FirmwareStream(Bytes(1024, 0xFF));
    corrupt[100] ^= 0x01;
    Bytes cut = FirmwareStream(Bytes(600, 0x11));
    cut.resize(2 + 512 + 100);
    const Case cases[] = {
        {"abc",
         Cat({abc, OneClick(1004)}),
         {"firmware download mode: 1B 2B",
          "firmware download: 1 block (512 bytes), checksum ok (0000AB26)", "feed: 2 lines",
          "esc/pos cut: partial + pad 01"}},
        {"empty",
         FirmwareStream({}),
         {"firmware download mode: 1B 2B",
          "firmware download: 0 blocks (0 bytes), checksum ok (0000AA00)"}},
        {"corrupt",
         corrupt,
         {"firmware download mode: 1B 2B",
          "firmware download: 2 blocks (1024 bytes), checksum mismatch: received 0004A600, "
          "computed 0004A5FF"}},
        {"cut short",
         cut,
         {"firmware download mode: 1B 2B",
          "incomplete firmware download: 1 block, then 100 bytes, no terminator"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::size_t piece : {std::size_t{0}, std::size_t{1}, std::size_t{61}}) {
            const Decoded d = Decode(c.bytes, piece);
            EXPECT_EQ(d.lines, c.lines);
            ExpectCoverage(d, c.bytes.size());
        }
    }
    EXPECT_TRUE(Decode(abc).events[1].checksumOk);
    EXPECT_FALSE(Decode(corrupt).events[1].checksumOk);
}

TEST(StreamDecoder, CharacterDataRecordsCounted) {
    Bytes record(258, 0x41);
    record.front() = record.back() = 0x2A;
    Bytes bad = record;
    bad.back() = 0x00;
    const Bytes mode{0x1B, 0x1D};
    const Case cases[] = {
        {"two records then text",
         Cat({mode, record, record, {'o', 'k', '\n'}}),
         {"character-data download mode: 1B 1D",
          "character-data records: 2 records (512 data bytes)", "text: ok"}},
        {"bad record",
         Cat({mode, record, bad}),
         {"character-data download mode: 1B 1D",
          "character-data records: 1 record (256 data bytes)",
          "character-data bad record: closing byte 00 instead of 2A"}},
        {"cut short",
         Cat({mode, Bytes(record.begin(), record.begin() + 10)}),
         {"character-data download mode: 1B 1D", "character-data records: 0 records (0 data bytes)",
          "incomplete character-data record: 10 of 258 bytes"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded d = Decode(c.bytes, 7);
        EXPECT_EQ(d.lines, c.lines);
        ExpectCoverage(d, c.bytes.size());
    }
}

TEST(StreamDecoder, LongTextShownInPartsWithoutSplittingACharacter) {
    Bytes text(1, 'x');
    for (int i = 0; i < 600; ++i) {
        const Bytes zhong = Text("中");
        text.insert(text.end(), zhong.begin(), zhong.end());
    }
    const Decoded d = Decode(text, 13);
    ASSERT_EQ(d.events.size(), 3u);
    for (const sim::Event& e : d.events) {
        EXPECT_LE(e.length, sim::StreamDecoder::kTextLimit);
        EXPECT_EQ(e.detail.find("\\x"), std::string::npos) << e.detail;
    }
    ExpectCoverage(d, text.size());
}

TEST(StreamDecoder, FlushGivesOutHeldCommandsButNotAFrameInProgress) {
    std::vector<std::string> lines;
    sim::StreamDecoder decoder([&](sim::Event&& e) { lines.push_back(sim::Describe(e)); });
    const Bytes cut{0x1D, 'V', 0x01, 'h', 'i', 0x1F, 0x1B, 0x75};
    decoder.Feed(std::span<const uint8_t>(cut).first(3));
    decoder.Flush();
    decoder.Feed(std::span<const uint8_t>(cut).subspan(3));
    decoder.Flush();
    EXPECT_EQ(lines, (std::vector<std::string>{"esc/pos cut: partial", "text: hi"}));
    decoder.Feed(Bytes{0x9A, 0x01, 0x00});
    EXPECT_EQ(lines.back(), "setting cutter: 01 (Off)");
    EXPECT_EQ(decoder.BytesFed(), cut.size() + 3);
}

}  // namespace
}  // namespace simtest
