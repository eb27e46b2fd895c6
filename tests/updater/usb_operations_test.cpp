// Brindel's USB operations on the scripted backend: failures, messages, exit status, progress.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/updater/usb_rig.h"

namespace updatertest {
namespace {

using Bytes = std::vector<uint8_t>;
using Piece = fakes::FakeUsbBackend::Piece;
using Strings = std::vector<std::string>;
using updater::UsbOutcome;

TEST(UsbFirmwareDownload, NoPrinterIsPrintErrorAndExitOne) {
    UsbRig rig;
    rig.Put(updater::kImageFileName, Bytes(10, 1));
    EXPECT_EQ(rig.Operations().FirmwareDownload(), UsbOutcome::PrintError);
    EXPECT_EQ(rig.messages, Strings{"Print error"});
    EXPECT_EQ(rig.exits, std::vector<int>{1});
    EXPECT_TRUE(rig.usb->BytesOut().empty());
}

TEST(UsbFirmwareDownload, MissingFileIsNamedAndNothingIsSent) {
    UsbRig rig;
    rig.AttachPrinter();
    EXPECT_EQ(rig.Operations().FirmwareDownload(), UsbOutcome::FileError);
    EXPECT_EQ(rig.Operations().CharacterDataDownload(), UsbOutcome::FileError);
    EXPECT_EQ(rig.messages,
              (Strings{"error:没有找到 FWIMAGE_80.bin。", "error:没有找到 gb2312。"}));
    EXPECT_TRUE(rig.usb->OpenAttempts().empty());  // the printer was never touched
    EXPECT_TRUE(rig.exits.empty());
}

// Which piece fails, and what had gone out by then. 1000 bytes: mode (piece 0), two blocks
// (pieces 1-16), terminator (17-24), checksum (25).
TEST(UsbFirmwareDownload, FailedPieceAnywhereIsPrintErrorAndExitOne) {
    struct Case {
        const char* name;
        std::size_t failingPiece;
        Piece how;
        std::size_t bytesOut;
    };
    const Case cases[] = {
        {"time-out mid-image", 11, {Piece::TimeOutAfter, 10}, 2 + 512 + 128 + 10},
        {"terminator", 17, {Piece::Fail, 0}, 2 + 1024},
        {"second terminator half", 21, {Piece::TimeOutAfter, 0}, 2 + 1024 + 256},
        {"checksum", 25, {Piece::Fail, 0}, 2 + 1024 + 512},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UsbRig rig;
        rig.AttachPrinter();
        rig.Put(updater::kImageFileName, Bytes(1000, 0x42));
        std::deque<Piece> script(c.failingPiece);
        script.push_back(c.how);
        rig.usb->ScriptPieces(script);
        EXPECT_EQ(rig.Operations().FirmwareDownload(), UsbOutcome::PrintError);
        EXPECT_EQ(rig.messages, Strings{"Print error"});  // never the completion message
        EXPECT_EQ(rig.exits, std::vector<int>{1});
        EXPECT_EQ(rig.usb->BytesOut().size(), c.bytesOut);
        EXPECT_EQ(rig.usb->Pieces().size(), c.failingPiece + 1);  // nothing after the failure
    }
}

TEST(UsbFirmwareDownload, ProgressIsBytesSentAgainstTheRealSize) {
    using Steps = std::vector<std::pair<int, std::size_t>>;
    UsbRig small;
    small.AttachPrinter();
    small.Put(updater::kImageFileName, Bytes(1000, 0));
    EXPECT_EQ(small.Operations().FirmwareDownload(), UsbOutcome::Done);
    EXPECT_EQ(small.progress, (Steps{{51, 2 + 512}, {100, 2 + 1024}}));

    UsbRig empty;
    empty.AttachPrinter();
    empty.Put(updater::kImageFileName, {});
    EXPECT_EQ(empty.Operations().FirmwareDownload(), UsbOutcome::Done);
    EXPECT_EQ(empty.progress, (Steps{{100, 2 + 512 + 4}}));  // full at the end

    UsbRig large;
    large.AttachPrinter();
    large.Put(updater::kImageFileName, Bytes(100000, 0));
    EXPECT_EQ(large.Operations().FirmwareDownload(), UsbOutcome::Done);
    ASSERT_FALSE(large.progress.empty());
    EXPECT_EQ(large.progress.front(), (std::pair<int, std::size_t>{0, 2 + 512}));
    EXPECT_EQ(large.progress[1], (std::pair<int, std::size_t>{1, 2 + 1024}));
    EXPECT_EQ(large.progress.back(), (std::pair<int, std::size_t>{100, 2 + 196 * 512}));
    EXPECT_EQ(large.progress.size(), 101u);  // every position once, in order
    for (std::size_t i = 1; i < large.progress.size(); ++i)
        EXPECT_EQ(large.progress[i].first, large.progress[i - 1].first + 1);
}

TEST(UsbCharacterData, FailedCommandOrRecordIsPrintErrorWithoutExit) {
    for (std::size_t failing : {0u, 3u}) {  // the 1B 1D command; a piece of the first record
        UsbRig rig;
        rig.AttachPrinter();
        rig.Put(updater::kCharacterDataFileName, Bytes(300, 7));
        std::deque<Piece> script(failing);
        script.push_back({Piece::Fail, 0});
        rig.usb->ScriptPieces(script);
        EXPECT_EQ(rig.Operations().CharacterDataDownload(), UsbOutcome::PrintError);
        EXPECT_EQ(rig.messages, Strings{"Print error"});
        EXPECT_TRUE(rig.exits.empty());
    }
}

TEST(UsbCommands, BytesAndMessages) {
    struct Case {
        const char* name;
        std::function<UsbOutcome(updater::UsbOperations&)> run;
        Bytes sent;
        Strings messages;
    };
    const Case cases[] = {
        {"Set 1009 China",
         [](auto& ops) { return ops.PrinterSettings(24, 1, 2); },
         {0x1F, 0x1B, 0x05, 0xFF, 0x01, 0x02, 0x00},
         {}},
        {"Set 1009 PC850",
         [](auto& ops) { return ops.PrinterSettings(2, 0, 0); },
         {0x1F, 0x1B, 0x05, 0x02, 0x00, 0x00, 0x00},
         {}},
        {"Set 1009 nothing selected",
         [](auto& ops) { return ops.PrinterSettings(-1, -1, -1); },
         {0x1F, 0x1B, 0x05, 0xFF, 0xFF, 0xFF, 0x00},
         {}},
        {"Set 1034",
         [](auto& ops) { return ops.OptionCommand(2); },
         {0x1F, 0x1B, 0x01, 0, 0, 0, 0x02, 0, 0, 0, 0},
         {"finish "}},
        {"A-USB",
         [](auto& ops) { return ops.IdentitySwitch(updater::kIdentityA); },
         {0x1F, 0x1B, 0x06, 0xC9, 0x1F, 0x16, 0x20, 0x00},
         {}},
        {"B-USB",
         [](auto& ops) { return ops.IdentitySwitch(updater::kIdentityB); },
         {0x1F, 0x1B, 0x06, 0x71, 0x04, 0x55, 0x00, 0x00},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UsbRig rig;
        rig.AttachPrinter();
        auto ops = rig.Operations();
        EXPECT_EQ(c.run(ops), UsbOutcome::Done);
        EXPECT_EQ(rig.usb->BytesOut(), c.sent);
        EXPECT_EQ(rig.messages, c.messages);

        UsbRig absent;  // no printer
        auto none = absent.Operations();
        const UsbOutcome outcome = c.run(none);
        const bool isSwitch = c.sent[2] == 0x06;
        EXPECT_EQ(outcome, isSwitch ? UsbOutcome::NotAccepted : UsbOutcome::SetError);
        EXPECT_EQ(absent.messages, isSwitch ? Strings{} : Strings{"set error no connect"});
        EXPECT_TRUE(absent.exits.empty());
    }
}

}  // namespace
}  // namespace updatertest
