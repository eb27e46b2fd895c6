// The download streams as the printer receives them through the fake USB device, and the
// checksum and read-failure rules of the stream itself.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "tests/updater/usb_rig.h"
#include "updater/download_stream.h"

namespace updatertest {
namespace {

using Bytes = std::vector<uint8_t>;

struct ImageCase {
    const char* name;
    Bytes image;
    uint32_t checksum;
};

Bytes Pattern(std::size_t length) {
    Bytes bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    return bytes;
}

uint32_t PatternSum(std::size_t length) {
    uint32_t sum = 0xAA00;
    for (uint8_t b : Pattern(length)) sum += b;
    return sum;
}

TEST(FirmwareStream, PrinterReceivesExactBytesInPiecesOfAtMost64) {
    const ImageCase cases[] = {
        {"empty", {}, 0x0000AA00},
        {"1024 x FF", Bytes(1024, 0xFF), 0x0004A600},
        {"abc", {'a', 'b', 'c'}, 0x0000AB26},
        {"512", Pattern(512), PatternSum(512)},
        {"513", Pattern(513), PatternSum(513)},
    };
    for (const ImageCase& c : cases) {
        SCOPED_TRACE(c.name);
        UsbRig rig;
        rig.AttachPrinter();
        rig.Put(updater::kImageFileName, c.image);
        EXPECT_EQ(rig.Operations().FirmwareDownload(), updater::UsbOutcome::Done);
        const Bytes expected = ExpectedFirmwareStream(c.image, c.checksum);
        EXPECT_EQ(rig.usb->BytesOut(), expected);
        EXPECT_EQ(expected.size(), 2 + (c.image.size() + 511) / 512 * 512 + 512 + 4);
        for (const auto& piece : rig.usb->Pieces()) {
            EXPECT_LE(piece.asked, 64u);
            EXPECT_EQ(piece.timeoutMs, 2000u);
        }
        EXPECT_EQ(rig.messages, std::vector<std::string>{updater::kFirmwareDone});
        EXPECT_TRUE(rig.exits.empty());
        EXPECT_EQ(rig.paths, std::vector<std::string>{"usb:1-4 vid_1fc9&pid_2016"});
        EXPECT_EQ(rig.usb->OpenHandles(), 0);  // released at the end
    }
}

TEST(FirmwareStream, ChecksumWrapsModulo2To32) {
    updater::DownloadChecksum sum(0xFFFFFF00);
    const Bytes block(512, 0xFF);
    sum.Add(block.data(), block.size());
    EXPECT_EQ(sum.Value(), static_cast<uint32_t>(0xFFFFFF00ull + 512 * 255));
    EXPECT_EQ(sum.LittleEndian(), (std::array<uint8_t, 4>{0x00, 0xFD, 0x01, 0x00}));
}

// A source that returns one block and then fails.
class FailingSource final : public updater::ByteSource {
  public:
    long Read(uint8_t* buffer, std::size_t length) override {
        if (reads_++ > 0) {
            errno = EIO;
            return -1;
        }
        std::fill(buffer, buffer + length, 0x11);
        return static_cast<long>(length);
    }

  private:
    int reads_ = 0;
};

class RecordingSink final : public updater::StreamSink {
  public:
    bool Write(const uint8_t* bytes, std::size_t length) override {
        out.insert(out.end(), bytes, bytes + length);
        return true;
    }
    Bytes out;
};

TEST(FirmwareStream, ReadErrorPartWayStopsBeforeTheTail) {
    FailingSource source;
    RecordingSink sink;
    const auto result = updater::SendFirmwareStream(source, sink);
    EXPECT_EQ(result.status, updater::StreamStatus::ReadFailed);
    EXPECT_EQ(result.error, EIO);
    EXPECT_EQ(sink.out.size(), 2u + 512u);
    EXPECT_NE(updater::FileErrorText("FWIMAGE_80.bin", EIO, true).find("Input/output error"),
              std::string::npos);
}

TEST(CharacterDataStream, RecordsOf258BytesFilledWithZero) {
    UsbRig rig;
    rig.AttachPrinter();
    const Bytes data = Pattern(300);
    rig.Put(updater::kCharacterDataFileName, data);
    EXPECT_EQ(rig.Operations().CharacterDataDownload(), updater::UsbOutcome::Done);
    Bytes expected{0x1B, 0x1D, 0x2A};
    expected.insert(expected.end(), data.begin(), data.begin() + 256);
    expected.insert(expected.end(), {0x2A, 0x2A});
    expected.insert(expected.end(), data.begin() + 256, data.end());
    expected.resize(expected.size() + 256 - 44, 0x00);
    expected.push_back(0x2A);
    EXPECT_EQ(rig.usb->BytesOut(), expected);
    for (const auto& piece : rig.usb->Pieces()) EXPECT_LE(piece.asked, 64u);
    EXPECT_EQ(rig.messages, std::vector<std::string>{updater::kCharacterDataDone});
}

TEST(ImageFile, HeldOpenCannotBeOpenedAgain) {
    UsbRig rig;
    rig.Put(updater::kImageFileName, {1, 2, 3});
    auto first = updater::InputFile::Open(rig.dir / updater::kImageFileName);
    ASSERT_TRUE(first.IsOpen());
    EXPECT_EQ(first.Size(), 3u);
    auto second = updater::InputFile::Open(rig.dir / updater::kImageFileName);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(second.Error(), EWOULDBLOCK);
    first.Close();
    EXPECT_TRUE(updater::InputFile::Open(rig.dir / updater::kImageFileName).IsOpen());
    EXPECT_EQ(updater::InputFile::Open(rig.dir).Error(), EISDIR);
}

}  // namespace
}  // namespace updatertest
