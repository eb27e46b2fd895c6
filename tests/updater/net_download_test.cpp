// The network download at a loopback printer: the exact stream for small images, a printer that
// resets or stops reading part-way, and every case that must send nothing.
#include "updater/net_download.h"

#include <gtest/gtest.h>

#include <array>

#include "netcfg/device_table.h"
#include "tests/fakes/tcp_peer.h"
#include "tests/updater/usb_rig.h"

namespace updatertest {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Peer = fakes::TcpPrinterPeer;

// No pauses, a short stall limit: the tests check bytes and outcomes, the benchmark the pacing.
updater::NetPacing FastPacing() {
    updater::NetPacing pacing;
    pacing.afterSend = pacing.afterFirstHalf = pacing.afterSecondHalf = pacing.afterChecksum = 0ms;
    pacing.before = pacing.settle = 0ms;
    pacing.stall = 300ms;
    return pacing;
}

// A Brindel reply for a printer at 127.0.0.1 with identity byte 8 as given.
Bytes Reply(uint8_t byte8, uint8_t last = 1) {
    Bytes reply(24, 0x00);
    reply[0] = 0x01;
    reply[2] = 0x00, reply[3] = 0x11, reply[7] = last;
    reply[8] = byte8;
    reply[14] = 127, reply[15] = 0, reply[16] = 0, reply[17] = 1;
    reply[18] = reply[19] = reply[20] = 0xFF;
    return reply;
}

struct NetRig {
    NetRig() : table(netcfg::BrindelPolicy()) {}

    updater::NetOutcome Run(uint16_t port, int line = 0) {
        updater::NetDownloadSinks sinks;
        sinks.showMessage = [this](const std::string& text) { messages.push_back(text); };
        sinks.showFileError = [this](const std::string& text) {
            messages.push_back("error:" + text);
        };
        sinks.exitProgram = [this](int status) { exits.push_back(status); };
        sinks.setProgress = [this](int position) { progress.push_back(position); };
        sinks.selectedLine = [line] { return line; };
        sinks.clearList = [this] { ++listClears; };
        return updater::NetworkDownload(table, sinks, files.dir, port, FastPacing()).Run();
    }

    UsbRig files;  // the working folder
    netcfg::DeviceTable table;
    std::vector<std::string> messages;
    std::vector<int> exits;
    std::vector<int> progress;
    int listClears = 0;
};

TEST(NetDownload, PrinterReceivesTheExactStreamAndTheConnectionCloses) {
    for (std::size_t size : {0u, 1u, 512u, 513u, 1000u}) {
        SCOPED_TRACE(size);
        Peer peer;
        ASSERT_TRUE(peer.ok());
        NetRig rig;
        ASSERT_EQ(rig.table.OfferReply(Reply(0x01)), netcfg::DeviceTable::Offer::Stored);
        const Bytes image(size, 0x5A);
        rig.files.Put(updater::kImageFileName, image);

        EXPECT_EQ(rig.Run(peer.port()), updater::NetOutcome::Done);
        ASSERT_TRUE(peer.WaitForClosed(1, 5s));
        const auto connections = peer.Connections();
        ASSERT_EQ(connections.size(), 1u);
        EXPECT_EQ(connections[0].bytes, ExpectedFirmwareStream(image, size * 0x5A + 0xAA00));
        EXPECT_EQ(rig.messages, std::vector<std::string>{updater::kNetDownloadDone});
        if (!rig.progress.empty()) {
            EXPECT_EQ(rig.progress.back(), 100);
        }
        EXPECT_EQ(rig.table.Count(), 0u);
        EXPECT_EQ(rig.listClears, 2);
        EXPECT_TRUE(rig.exits.empty());
    }
}

TEST(NetDownload, DoneOnlyWhenThePrinterTookEveryByte) {
    struct Case {
        const char* name;
        Peer::Mode mode;
        std::size_t limit;
        std::size_t imageSize;
        updater::NetOutcome outcome;
    };
    const Case cases[] = {
        // Far more than the socket buffers hold: the sends meet the failure.
        {"reset", Peer::Mode::ResetAfter, 2000, 8u << 20, updater::NetOutcome::PrintError},
        {"stalled", Peer::Mode::StallAfter, 2000, 8u << 20, updater::NetOutcome::PrintError},
        // Everything fits in this PC's buffers, so every send succeeds: only the wait for the
        // printer's acknowledgement shows that it stopped.
        {"stalled, all sent", Peer::Mode::StallAfter, 1000, 4096, updater::NetOutcome::PrintError},
        // Slow but steady (512 bytes every 20 ms) is no stall, however long it takes.
        {"slow", Peer::Mode::Slow, 512, 16384, updater::NetOutcome::Done},
        // Its stack acknowledged the whole stream (2 + 512 + 512 + 4 bytes) before its program
        // read it and went: only the wait for its side of the connection sees it.
        {"reset after 1 byte", Peer::Mode::ResetAfter, 1, 100, updater::NetOutcome::PrintError},
        {"reset one byte short", Peer::Mode::ResetAfter, 1029, 100,
         updater::NetOutcome::PrintError},
        {"keeps its side open", Peer::Mode::Hold, 0, 100, updater::NetOutcome::Done},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Peer peer(c.mode, c.limit);
        ASSERT_TRUE(peer.ok());
        NetRig rig;
        ASSERT_EQ(rig.table.OfferReply(Reply(0x01)), netcfg::DeviceTable::Offer::Stored);
        const Bytes image(c.imageSize, 0x5A);
        rig.files.Put(updater::kImageFileName, image);

        EXPECT_EQ(rig.Run(peer.port()), c.outcome);
        if (c.outcome == updater::NetOutcome::Done) {
            ASSERT_TRUE(peer.WaitForClosed(1, 5s));
            EXPECT_EQ(peer.Connections()[0].bytes,
                      ExpectedFirmwareStream(image, c.imageSize * 0x5A + 0xAA00));
            EXPECT_EQ(rig.messages, std::vector<std::string>{updater::kNetDownloadDone});
            EXPECT_TRUE(rig.exits.empty());
        } else {
            EXPECT_EQ(rig.messages, std::vector<std::string>{"Print error"});
            EXPECT_EQ(rig.exits, std::vector<int>{1});
            EXPECT_EQ(rig.table.Count(), 1u);  // no completion: the list stays
            EXPECT_EQ(rig.listClears, 0);
        }
    }
}

TEST(NetDownload, RefusedCasesSendNothing) {
    struct Case {
        const char* name;
        bool image;
        std::optional<uint8_t> byte8;  // nullopt: empty table
        bool closedPort;
        updater::NetOutcome outcome;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"no selection",
         true,
         std::nullopt,
         false,
         updater::NetOutcome::NoSelection,
         {updater::kSelectPrinter}},
        {"refused slot", true, uint8_t{0x00}, false, updater::NetOutcome::Refused, {}},
        {"missing image",
         false,
         uint8_t{0x01},
         false,
         updater::NetOutcome::FileError,
         {"error:没有找到 FWIMAGE_80.bin。"}},
        {"closed port",
         true,
         uint8_t{0x01},
         true,
         updater::NetOutcome::ConnectFailed,
         {updater::kNetConnectFailed}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Peer peer;
        ASSERT_TRUE(peer.ok());
        NetRig rig;
        if (c.byte8) {
            ASSERT_EQ(rig.table.OfferReply(Reply(*c.byte8)), netcfg::DeviceTable::Offer::Stored);
        }
        if (c.image) rig.files.Put(updater::kImageFileName, Bytes(100, 0x5A));
        const uint16_t port = c.closedPort ? fakes::UnusedLoopbackPort() : peer.port();
        EXPECT_EQ(rig.Run(port), c.outcome);
        EXPECT_EQ(rig.messages, c.messages);
        EXPECT_TRUE(rig.exits.empty());
        EXPECT_EQ(peer.ConnectionCount(), 0u);
    }
}

}  // namespace
}  // namespace updatertest
