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
#include "tests/fakes/memory_source.h"
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

// The same lines, every byte covered, whatever the piece size (0: all at once).
void ExpectInPieces(const Case& c, std::initializer_list<std::size_t> pieces) {
    SCOPED_TRACE(c.name);
    for (const std::size_t piece : pieces) {
        SCOPED_TRACE(piece);
        const Decoded d = Decode(c.bytes, piece);
        EXPECT_EQ(d.lines, c.lines);
        ExpectCoverage(d, c.bytes.size());
    }
}

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
         {"text: a\\xFF\\x81\\t\\\\b\\xA2\\xA0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded d = Decode(c.bytes);
        EXPECT_EQ(d.lines, c.lines);
        ExpectCoverage(d, c.bytes.size());
    }
}

class VectorSink final : public updater::StreamSink {
  public:
    bool Write(const uint8_t* bytes, std::size_t length) override {
        out.insert(out.end(), bytes, bytes + length);
        return true;
    }
    Bytes out;
};

Bytes FirmwareStream(const Bytes& image) {
    fakes::MemorySource source(image);
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
    for (const Case& c : cases) ExpectInPieces(c, {0, 1, 61});
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
    const Bytes utf8{0x1C, '(', 'C', 2, 0, 48, 2};
    const std::string zhong = "中";
    const struct {
        const char* name;
        Bytes start;
        Bytes character;
        int count;
        std::size_t events;
    } cases[] = {
        {"GBK", {}, Text(zhong), 600, 3},
        {"UTF-8", utf8, Bytes(zhong.begin(), zhong.end()), 600, 5},  // + the FS ( C line
        {"full line, then LF CR", {}, Bytes{'a'}, 509, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes text = Cat({c.start, {'x'}});
        for (int i = 0; i < c.count; ++i)
            text.insert(text.end(), c.character.begin(), c.character.end());
        text.insert(text.end(), {'\n', '\r'});
        const Decoded d = Decode(text, 13);
        EXPECT_EQ(d.events.size(), c.events);
        for (const sim::Event& e : d.events) {
            EXPECT_LE(e.length, sim::StreamDecoder::kTextLimit);
            EXPECT_EQ(e.detail.find("\\x"), std::string::npos) << e.detail;
        }
        ExpectCoverage(d, text.size());
    }
}

// A carriage return is no text: it joins the line or the feed it is part of, never shows as \r or
// as an empty line; a lone one before a command is named.
TEST(StreamDecoder, CarriageReturnsAreNoText) {
    const Case cases[] = {
        {"lines ended LF CR",
         Cat({Gbk("Hello\n\r"), {0x1B, 'E', 1}, Gbk("World\n\r\n\r"), {0x1D, 'V', 1}}),
         {"text: Hello", "esc/pos bold: on", "text: World", "feed: 1 line",
          "esc/pos cut: partial"}},
        {"lines ended CR LF", Gbk("a\r\n\r\n\r\nb\r\n"), {"text: a", "feed: 2 lines", "text: b"}},
        {"inside a line", Gbk("a\rb\r\rc\n"), {"text: abc"}},
        {"before text", Gbk("x\n\r\ry\n"), {"text: x", "text: y"}},
        {"before a command",
         {0x1B, '@', '\r', 0x1B, '@', '\r', '\r', 0x07},
         {"esc/pos initialise", "esc/pos carriage return", "esc/pos initialise",
          "esc/pos carriage return: 2 times", "hex: 07"}},
        {"at the end", Gbk("\r"), {"esc/pos carriage return"}},
    };
    for (const Case& c : cases) ExpectInPieces(c, {0, 1, 3});
}

// FS ( C 48 2 selects UTF-8 until FS ( C 48 1 or ESC @; Chinese mode and code pages apply again
// after it.
TEST(StreamDecoder, Utf8ReadWhileSelected) {
    const Case cases[] = {
        {"UTF-8 then back",
         Cat({{0x1C, '(', 'C', 2, 0, 48, 2},
              Gbk("Grüße 中文\n"),
              {0x1C, '(', 'C', 2, 0, 48, '1'},
              Text("中\n"),
              {0x1C, '(', 'C', 2, 0, 48, 2, 0x1B, '@'},
              Text("文\n")}),
         {"esc/pos character encoding: UTF-8", "text: Grüße 中文",
          "esc/pos character encoding: one-byte codes", "text: 中",
          "esc/pos character encoding: UTF-8", "esc/pos initialise", "text: 文"}},
        {"ill-formed UTF-8",
         Cat({{0x1C, '(', 'C', 2, 0, 48, 2}, {'a', 0xE4, 0xB8, 'b', 0xFF, '\t', '\n'}}),
         {"esc/pos character encoding: UTF-8", "text: a\\xE4\\xB8b\\xFF\\t"}},
    };
    for (const Case& c : cases) ExpectInPieces(c, {0, 1, 2});
}

// Byte strings from everyday point-of-sale software: each command named with its values, no
// parameter shown as text, the same lines in pieces of any size.
TEST(StreamDecoder, StandardCommandsReadWithTheirParameters) {
    const Bytes url = Gbk("https://example.com/r?id=7");
    Bytes image(5760, 0x0A);  // line feeds and command starts inside the data are data
    image[0] = 0x1B;
    image[5759] = 0x1D;
    const Case cases[] = {
        {"print modes",
         {0x1B, '@',  0x1B, '!', 0x38, 0x1B, 'M',  1,    0x1B, '-', '1',  0x1B, 'E',
          1,    0x1B, 'G',  0,   0x1D, '!',  0x11, 0x1D, 'B',  1,   0x1C, '!',  0x0C},
         {"esc/pos initialise", "esc/pos print mode: font A, bold, double height, double width",
          "esc/pos font: B", "esc/pos underline: 1 dot", "esc/pos bold: on",
          "esc/pos double-strike: off", "esc/pos character size: 2 wide, 2 high",
          "esc/pos reverse: on", "esc/pos Chinese print mode: double width, double height"}},
        {"layout and feeds",
         {0x1B, 'a',  '2',  0x1B, '3', 30, 0x1B, ' ', 2, 0x1D, 'L',  0x10, 0x01, 0x1B,
          '\\', 0xF6, 0xFF, 0x1B, 'd', 3,  0x1B, 'J', 1, 0x0C, 0x1D, 'V',  104,  5},
         {"esc/pos align: right", "esc/pos line spacing: 30 dots",
          "esc/pos character spacing: 2 dots", "esc/pos left margin: 272 dots",
          "esc/pos relative position: -10 dots", "esc/pos feed: 3 lines", "esc/pos feed: 1 dot",
          "esc/pos form feed", "esc/pos cut: feed 5 dots, partial"}},
        {"barcode, NUL-ended",
         Cat({{0x1D, 'H', 2, 0x1D, 'f', '1', 0x1D, 'h', 64, 0x1D, 'w', 3, 0x1D, 'k', 3},
              Gbk("1234567"),
              {0x00}}),
         {"esc/pos barcode text position: below", "esc/pos barcode text font: B",
          "esc/pos barcode height: 64 dots", "esc/pos barcode width: 3",
          "esc/pos barcode EAN-8: 1234567"}},
        {"barcode with all its digits, then text",
         Cat({{0x1D, 'k', 2}, Gbk("4006381333931"), {0x00, 0x1D, 'k', 3}, Gbk("12345670ok\n")}),
         {"esc/pos barcode EAN-13: 4006381333931", "esc/pos barcode EAN-8: 12345670", "text: ok"}},
        {"barcode ended by a line feed",
         {0x1D, 'k', 4, 'A', 'B', 0x0A},
         {"esc/pos barcode CODE39: AB (no NUL)", "feed: 1 line"}},
        {"barcode, length-prefixed",
         {0x1D, 'k', 73, 7, '{', 'B', '1', '2', 0x0A, '3', '4', 'x', '\n'},
         {"esc/pos barcode CODE128: {B12\\x0A34", "text: x"}},
        {"raster image",
         Cat({{0x1D, 'v', '0', 0, 48, 0, 120, 0}, image, Gbk("ok\n")}),
         {"esc/pos raster image: 384 × 120 dots", "text: ok"}},
        {"bit image",
         {0x1B, '*', 33, 2, 0, 1, 2, 3, 0x0A, 0x1B, 0x1D, 'z', '\n'},
         {"esc/pos bit image: 2 dots wide, 24-dot double density", "text: z"}},
        {"graphics",
         {0x1D, '(', 'L',  14,   0,    48, 112,  48,  1,   1, 49, 16, 0,
          2,    0,   0xFF, 0x0A, 0x1B, 0,  0x1D, '(', 'L', 2, 0,  48, 50},
         {"esc/pos graphics: store 16 × 2 dots", "esc/pos graphics: print"}},
        {"QR code",
         Cat({{0x1D,
               '(',
               'k',
               4,
               0,
               49,
               65,
               50,
               0,
               0x1D,
               '(',
               'k',
               3,
               0,
               49,
               67,
               6,
               0x1D,
               '(',
               'k',
               3,
               0,
               49,
               69,
               49,
               0x1D,
               '(',
               'k',
               static_cast<uint8_t>(url.size() + 3),
               0,
               49,
               80,
               48},
              url,
              {0x1D, '(', 'k', 3, 0, 49, 81, 48}}),
         {"esc/pos QR code model: 2", "esc/pos QR code module size: 6 dots",
          "esc/pos QR code error correction: M", "esc/pos QR code: https://example.com/r?id=7",
          "esc/pos QR code print"}},
        {"drawer, beeper, panel, real time",
         {0x1B, 'p',  0,    25, 250,  0x1B, 'B', 2, 1, 0x1B, 'c', '5',
          1,    0x10, 0x04, 1,  0x10, 0x14, 1,   0, 2, 0x10, 'A'},
         {"esc/pos drawer kick: pin 2, on 50 ms, off 500 ms", "esc/pos beep: 2 times, 50 ms",
          "esc/pos panel buttons: disabled", "esc/pos real-time status request: printer",
          "esc/pos real-time drawer kick: pin 2, on and off 200 ms", "hex: 10", "text: A"}},
        {"GBK in Chinese mode, code pages outside it",
         Cat({Text("中文\n"),
              {0x1C, '.', 0x1B, 't', 16},
              Gbk("Gr\xFC\xDF\n"),
              {0x1B, 't', 1},
              Gbk("\xB1\x95\xA0\n"),
              {0x1B, 't', 7},
              Gbk("\xB1\n"),
              {0x1C, '&'},
              Text("中\n"),
              {0x1C, '.', 0x1B, '@'},
              Text("文\n")}),
         {"text: 中文", "esc/pos Chinese characters off", "esc/pos code page: 16 (WPC1252)",
          "text: Grüß", "esc/pos code page: 1 (Katakana)", "text code page 1: ｱ─\\xA0",
          "esc/pos code page: 7", "text code page 7: \\xB1", "esc/pos Chinese characters on",
          "text: 中", "esc/pos Chinese characters off", "esc/pos initialise", "text: 文"}},
        {"unknown ones stay hex",
         {0x1D, 'k', 0x20, 0x1D, 'v', '1', 0x1B, '*', 7},
         {"hex: 1D 6B 20", "hex: 1D 76", "text: 1", "hex: 1B 2A", "hex: 07"}},
        {"cut off in its data",
         {0x1B, '*', 0, 10, 0, 1, 2, 3},
         {"incomplete bit image: 8 bytes of 15: 1B 2A 00 0A 00 …"}},
        {"cut off in its parameters",
         {0x1B, 'W', 0, 0, 0x1D, 'k', 4, 'A'},
         {"incomplete print area: 8 bytes of 10: 1B 57 00 00 1D 6B 04 41"}},
        {"barcode cut off",
         {0x1D, 'k', 4, 'A', 'B'},
         {"incomplete barcode: 5 bytes: 1D 6B 04 41 42"}},
    };
    for (const Case& c : cases) ExpectInPieces(c, {0, 1, 7});
}

// Each command takes exactly its own parameters: the "x" after it is text, whatever the parameter
// bytes were (printable letters here, which a wrong length would show as text).
TEST(StreamDecoder, EachCommandTakesExactlyItsParameters) {
    const Bytes qrData(600, 'A');
    const Case cases[] = {
        {"ESC !", {0x1B, '!', 'A'}, {"esc/pos print mode: font B"}},
        {"ESC -", {0x1B, '-', '2'}, {"esc/pos underline: 2 dots"}},
        {"ESC V", {0x1B, 'V', '1'}, {"esc/pos 90° rotation: on"}},
        {"ESC {", {0x1B, '{', '1'}, {"esc/pos upside-down: on"}},
        {"ESC r", {0x1B, 'r', '1'}, {"esc/pos colour: red"}},
        {"ESC t", {0x1B, 't', 'Z'}, {"esc/pos code page: 90"}},
        {"ESC R", {0x1B, 'R', 3}, {"esc/pos international character set: 3 (U.K.)"}},
        {"ESC %", {0x1B, '%', '1'}, {"esc/pos user-defined characters: on"}},
        {"ESC ?", {0x1B, '?', 'A'}, {"esc/pos cancel user-defined character: 41 (A)"}},
        {"ESC $", {0x1B, '$', 'A', 'B'}, {"esc/pos absolute position: 16961 dots"}},
        {"ESC D", {0x1B, 'D', 8, 16, 24, 0}, {"esc/pos tab positions: 8, 16, 24"}},
        {"ESC D none", {0x1B, 'D', 0}, {"esc/pos tab positions: none"}},
        {"ESC U", {0x1B, 'U', '1'}, {"esc/pos unidirectional printing: on"}},
        {"ESC L", {0x1B, 'L'}, {"esc/pos page mode"}},
        {"ESC S", {0x1B, 'S'}, {"esc/pos standard mode"}},
        {"ESC FF", {0x1B, 0x0C}, {"esc/pos print page"}},
        {"ESC T", {0x1B, 'T', '3'}, {"esc/pos print direction: top to bottom"}},
        {"ESC W",
         {0x1B, 'W', 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'},
         {"esc/pos print area: from 16961, 17475, 17989 × 18503 dots"}},
        {"ESC =", {0x1B, '=', 1}, {"esc/pos peripheral device: printer enabled"}},
        {"ESC c 3", {0x1B, 'c', '3', 'A'}, {"esc/pos paper-end signal sensors: 41"}},
        {"ESC c 4", {0x1B, 'c', '4', 'A'}, {"esc/pos paper sensors that stop printing: 41"}},
        {"ESC ( A", {0x1B, '(', 'A', 3, 0, '0', 'A', 'B'}, {"esc/pos beeper: function 30: 41 42"}},
        {"GS b", {0x1D, 'b', '1'}, {"esc/pos smoothing: on"}},
        {"GS W", {0x1D, 'W', 'A', 'B'}, {"esc/pos print area width: 16961 dots"}},
        {"GS P", {0x1D, 'P', 'A', 'B'}, {"esc/pos motion units: 1/65 inch across, 1/66 inch down"}},
        {"GS T", {0x1D, 'T', '1'}, {"esc/pos print position to line start: 31"}},
        {"GS \\", {0x1D, '\\', 0xFF, 0xFF}, {"esc/pos relative vertical position: -1 dot"}},
        {"GS /", {0x1D, '/', '3'}, {"esc/pos print downloaded bit image: quadruple"}},
        {"GS *",
         Cat({{0x1D, '*', 1, 1}, Bytes(8, 'A')}),
         {"esc/pos define downloaded bit image: 8 × 8 dots"}},
        {"GS :", {0x1D, ':'}, {"esc/pos macro definition start or end"}},
        {"GS ^", {0x1D, '^', 2, 5, 0}, {"esc/pos run macro: 2 times, wait 500 ms, mode 00"}},
        {"GS a",
         {0x1D, 'a', 0xFF},
         {"esc/pos automatic status back: drawer, online, error, paper"}},
        {"GS a 0", {0x1D, 'a', 0}, {"esc/pos automatic status back: off"}},
        {"GS r", {0x1D, 'r', '2'}, {"esc/pos status request: drawer"}},
        {"GS I", {0x1D, 'I', 'A'}, {"esc/pos printer information request: firmware version"}},
        {"GS I 33", {0x1D, 'I', '!'}, {"esc/pos printer information request: 21"}},
        {"GS ( H",
         {0x1D, '(', 'H', 6, 0, '0', '0', 'A', 'B', 'C', 'D'},
         {"esc/pos process ID response: ABCD"}},
        {"GS V 0", {0x1D, 'V', '0'}, {"esc/pos cut: full"}},
        {"GS V 65", {0x1D, 'V', 'A', 'B'}, {"esc/pos cut: feed 66 dots, full"}},
        {"GS V 97", {0x1D, 'V', 97, 'B'}, {"esc/pos cut: feed 66 dots, full"}},
        {"GS ( E", {0x1D, '(', 'E', 2, 0, 'A', 'B'}, {"esc/pos GS ( E: function 41: 42"}},
        {"GS ( k PDF417", {0x1D, '(', 'k', 5, 0, '0', 'P', '0', 'A', 'B'}, {"esc/pos PDF417: AB"}},
        {"GS ( k Aztec",
         {0x1D, '(', 'k', 3, 0, '5', 'C', 'A'},
         {"esc/pos Aztec code setting: function 43: 41"}},
        {"GS ( k long QR data",
         Cat({{0x1D, '(', 'k', 0x5B, 2, '1', 'P', '0'}, qrData}),
         {"esc/pos QR code: " + std::string(512, 'A') + "… (600 bytes)"}},
        {"GS 8 L",
         {0x1D, '8', 'L', 4, 0, 0, 0, '0', 'E', 'A', 'B'},
         {"esc/pos graphics: print NV image \"AB\""}},
        {"GS k UPC-A, full",
         Cat({{0x1D, 'k', 0}, Gbk("012345678905")}),
         {"esc/pos barcode UPC-A: 012345678905"}},
        {"GS k CODE128, empty", {0x1D, 'k', 73, 0}, {"esc/pos barcode CODE128"}},
        {"FS -", {0x1C, '-', '1'}, {"esc/pos Chinese underline: 1 dot"}},
        {"FS S",
         {0x1C, 'S', 'A', 'B'},
         {"esc/pos Chinese character spacing: left 65, right 66 dots"}},
        {"FS W", {0x1C, 'W', '1'}, {"esc/pos Chinese quadruple size: on"}},
        {"FS p", {0x1C, 'p', 1, '0'}, {"esc/pos print NV bit image: image 1, normal"}},
        {"FS ( A", {0x1C, '(', 'A', 2, 0, 0x30, 0}, {"esc/pos Chinese character font: A"}},
        {"FS ( A 49", {0x1C, '(', 'A', 2, 0, 0x30, '1'}, {"esc/pos Chinese character font: B"}},
        {"FS ( C UTF-8", {0x1C, '(', 'C', 2, 0, 0x30, 2}, {"esc/pos character encoding: UTF-8"}},
        {"FS ( C priority",
         {0x1C, '(', 'C', 3, 0, 0x3C, 0, 'A'},
         {"esc/pos character encoding: function 3C: 00 41"}},
        {"FS ( E",
         {0x1C, '(', 'E', 6, 0, 0x3E, '0', 'A', 'B', '0', '1'},
         {"esc/pos receipt enhancement: function 3E: 30 41 42 30 31"}},
        {"FS ( L",
         {0x1C, '(', 'L', 2, 0, 'A', '0'},
         {"esc/pos label and black mark: function 41: 30"}},
        {"FS ( e",
         {0x1C, '(', 'e', 2, 0, '3', 0},
         {"esc/pos optional status back: function 33: 00"}},
        {"FS ( Z", {0x1C, '(', 'Z', 1, 0, 'A'}, {"esc/pos FS ( Z: function 41"}},
        {"FS C", {0x1C, 'C', 0x30}, {"esc/pos Kanji code system: JIS"}},
        {"FS C 2", {0x1C, 'C', 2}, {"esc/pos Kanji code system: Shift JIS-2004"}},
        {"ESC i", {0x1B, 'i'}, {"esc/pos cut: partial"}},
        {"ESC m", {0x1B, 'm'}, {"esc/pos cut: partial"}},
        {"DLE EOT 7", {0x10, 0x04, 7, 'A'}, {"esc/pos real-time status request: 07 41"}},
        {"DLE ENQ",
         {0x10, 0x05, 2},
         {"esc/pos real-time request: recover from an error, clearing the buffers"}},
        {"DLE DC4 2", {0x10, 0x14, 2, 1, 8}, {"esc/pos power off"}},
    };
    for (const Case& c : cases) {
        Case then = c;
        then.bytes.insert(then.bytes.end(), {'x', '\n'});
        then.lines.push_back("text: x");
        ExpectInPieces(then, {0, 1});
    }
}

// A length field may announce gigabytes: the data is counted as it passes, never held.
TEST(StreamDecoder, AnnouncedDataIsCountedNotHeld) {
    std::vector<sim::Event> events;
    sim::StreamDecoder decoder([&](sim::Event&& e) { events.push_back(std::move(e)); });
    decoder.Feed(Bytes{0x1D, '8', 'L', 0xFF, 0xFF, 0xFF, 0xFF, 48, 112});
    const Bytes chunk(1 << 16, 0x1B);
    for (int i = 0; i < 64; ++i) decoder.Feed(chunk);
    decoder.Flush();
    EXPECT_TRUE(events.empty());
    decoder.Finish();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(sim::Describe(events[0]),
              "incomplete graphics: 4194313 bytes of 4294967302: 1D 38 4C FF FF FF FF 30 70 1B 1B "
              "1B 1B 1B 1B 1B 1B 1B 1B 1B 1B 1B 1B …");
    EXPECT_EQ(events[0].length, 4194313u);
    EXPECT_EQ(events[0].frame.size(), 7u + 16u);
}

// The paper's view: printed bytes, commands and whole data blocks in stream order, each with the
// offset of its first byte, the same in pieces of any size; the events do not change for it.
class Recorder final : public sim::PrintObserver {
  public:
    void Text(std::span<const uint8_t> bytes, const sim::TextCoding& coding, uint64_t at) override {
        calls.push_back(std::string(coding.utf8      ? "utf-8"
                                    : coding.chinese ? "gbk"
                                                     : "code page") +
                        " " + sim::HexBytes(bytes) + " @" + std::to_string(at));
    }
    void LineFeeds(uint64_t count, uint64_t at) override {
        calls.push_back("feeds " + std::to_string(count) + " @" + std::to_string(at));
    }
    void Command(std::span<const uint8_t> header, uint64_t data, uint64_t at) override {
        calls.push_back("command " + sim::HexBytes(header) + " + " + std::to_string(data) + " @" +
                        std::to_string(at));
        next = at + header.size();
    }
    // A data block's chunks follow one another from the end of its header.
    void Data(std::span<const uint8_t> chunk, uint64_t at) override {
        if (calls.empty() || calls.back().rfind("command", 0) == 0) calls.emplace_back("data");
        if (at != next) calls.back() += " (gap at " + std::to_string(at) + ")";
        calls.back().append(chunk.begin(), chunk.end());
        next = at + chunk.size();
    }
    std::vector<std::string> calls;
    uint64_t next = 0;
};

TEST(StreamDecoder, PaperSeesEveryPrintedByteInOrder) {
    Bytes image(5000);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7);
    const Bytes stream = Cat({{0x1B, '@', 0x1F, 0x1B, 0x75, 0x9A, 0, 0},
                              Gbk("Hi\r\n\r\n\n\ta"),
                              {0x1D, 'v', '0', 0, 50, 0, 100, 0},
                              image,
                              {0x1C, '(', 'C', 2, 0, 48, 2, 'b', 0x07, 0x0C, 0x1D, 'V', 1, 0}});
    const std::vector<std::string> expected = {
        "command 1B 40 + 0 @0",
        "gbk 48 69 0D 0A @8",
        "feeds 2 @13",
        "gbk 09 61 @15",
        "command 1D 76 30 00 32 00 64 00 + 5000 @17",
        "data" + std::string(image.begin(), image.end()),
        "command 1C 28 43 02 00 + 2 @5025",
        "data" + std::string{48, 2},
        "utf-8 62 @5032",
        "command 0C + 0 @5034",
        "command 1D 56 01 + 0 @5035",
    };
    const Decoded plain = Decode(stream);
    for (const std::size_t piece : {0, 1, 7, 4096}) {
        SCOPED_TRACE(piece);
        Recorder paper;
        Decoded d;
        sim::StreamDecoder decoder([&](sim::Event&& e) {
            d.lines.push_back(sim::Describe(e));
            d.events.push_back(std::move(e));
        });
        decoder.SetPaper(&paper);
        const std::size_t step = piece == 0 ? stream.size() : piece;
        for (std::size_t at = 0; at < stream.size(); at += step) {
            decoder.Feed(
                std::span<const uint8_t>(stream).subspan(at, std::min(step, stream.size() - at)));
        }
        decoder.Finish();
        EXPECT_EQ(paper.calls, expected);
        EXPECT_EQ(d.lines, plain.lines);
    }
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
