// tessary-cli against loopback peers: discovery and the address-set packet with an injected
// broadcast endpoint and reply port, the firmware stream byte for byte over TCP and USB, and the
// program's own exit statuses.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "netcfg/udp_socket.h"
#include "tests/cli/cli_rig.h"
#include "tests/fakes/tcp_peer.h"
#include "tests/fakes/udp_peer.h"
#include "tests/fakes/wait.h"
#include "tests/updater/usb_rig.h"

namespace clitest {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

uint16_t FreeUdpPort() {
    netcfg::UdpSocket probe = netcfg::UdpSocket::BindAny(0);
    return probe.LocalPort();
}

// A discovery reply: bytes 0-1, MAC, identity, address, mask, gateway (26 bytes).
Bytes Reply(uint8_t byte0, uint8_t lastMac, uint8_t lastIp) {
    return {byte0, 0x00, 0x00, 0x11, 0x22,   0x33, 0x44, lastMac, 1, 2,   3,   4, 5,
            6,     192,  168,  0,    lastIp, 255,  255,  255,     0, 192, 168, 0, 1};
}

// A printer segment on loopback: answers every discovery request ("X") with `replies`.
class Segment {
  public:
    explicit Segment(std::vector<Bytes> replies) : replies_(std::move(replies)) {
        thread_ = std::thread([this] { Answer(); });
    }
    ~Segment() {
        done_ = true;
        thread_.join();
    }
    std::vector<std::string> Args() const {
        return {"--broadcast", "127.0.0.1:" + std::to_string(peer_.port()), "--reply-port",
                std::to_string(replyPort_)};
    }
    std::vector<fakes::UdpPeer::Datagram> Datagrams() const { return peer_.Datagrams(); }

  private:
    void Answer() {
        std::size_t answered = 0;
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (!done_ && std::chrono::steady_clock::now() < end) {
            if (!peer_.WaitForDatagrams(answered + 1, 20ms)) continue;
            const auto datagrams = peer_.Datagrams();
            for (; answered < datagrams.size(); ++answered) {
                if (datagrams[answered].bytes.empty() || datagrams[answered].bytes[0] != 0x58)
                    continue;
                for (const Bytes& reply : replies_) peer_.SendTo(replyPort_, reply);
            }
        }
    }

    fakes::UdpPeer peer_;
    uint16_t replyPort_ = FreeUdpPort();
    std::vector<Bytes> replies_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(CliDiscover, ListsEachAcceptedPrinterOnceAsJson) {
    // The first printer answers twice per request; byte 0 = 00 is no Tessary printer.
    Segment segment(
        {Reply(1, 0x55, 199), Reply(1, 0x55, 199), Reply(0, 0x66, 7), Reply(2, 0x77, 200)});
    Rig rig;
    const Outcome o = rig.Run(Join({"discover", "--json", "--seconds", "1"}, segment.Args()));
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out,
              "[{\"ip\":\"192.168.0.199\",\"mask\":\"255.255.255.0\",\"gateway\":\"192.168.0.1\","
              "\"mac\":\"00:11:22:33:44:55\",\"byte0\":\"01\",\"byte1\":\"00\"},"
              "{\"ip\":\"192.168.0.200\",\"mask\":\"255.255.255.0\",\"gateway\":\"192.168.0.1\","
              "\"mac\":\"00:11:22:33:44:77\",\"byte0\":\"02\",\"byte1\":\"00\"}]\n");
    const auto requests = segment.Datagrams();
    ASSERT_FALSE(requests.empty());
    Bytes request(30, 0x00);
    request[0] = 0x58;
    EXPECT_EQ(requests[0].bytes, request);
}

// The windows' list holds 16 printers; the command line lists every one that answers.
TEST(CliDiscover, ListsEveryPrinterBeyondTheWindowsSixteen) {
    std::vector<Bytes> replies;
    for (uint8_t i = 1; i <= 40; ++i) replies.push_back(Reply(1, i, i));
    Segment segment(replies);
    Rig rig;
    const Outcome o = rig.Run(Join({"discover", "--seconds", "0.5"}, segment.Args()));
    ASSERT_EQ(o.status, 0) << o.err;
    std::string expected;
    for (int i = 1; i <= 40; ++i) {
        char line[80];
        std::snprintf(line, sizeof line,
                      "192.168.0.%d 255.255.255.0 192.168.0.1 00:11:22:33:44:%02X 01 00\n", i, i);
        expected += line;
    }
    EXPECT_EQ(o.out, expected);
}

TEST(CliSetAddress, BroadcastsThePacketForTheMacThatAnswered) {
    Segment segment({Reply(1, 0x44, 9), Reply(1, 0x55, 199)});
    Rig rig;
    const Outcome o =
        rig.Run(Join({"set-address", "--mac", "00:11:22:33:44:55", "--ip", "192.168.1.50",
                      "--gateway", "192.168.1.1", "--new-mac", "00:11:22:33:44:56"},
                     segment.Args()));
    ASSERT_EQ(o.status, 0) << o.err;
    ASSERT_TRUE(fakes::WaitUntil(
        [&] {
            for (const auto& d : segment.Datagrams())
                if (!d.bytes.empty() && d.bytes[0] == 0x5A) return true;
            return false;
        },
        2000ms));
    const Bytes expected{0x5A, 0xC0, 0xA8, 0x01, 0x32, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x11,
                         0x22, 0x33, 0x44, 0x56, 0xC0, 0xA8, 0x01, 0x01, 0x00, 0x11, 0x22,
                         0x33, 0x44, 0x55, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x00};
    std::vector<Bytes> packets;
    for (const auto& d : segment.Datagrams())
        if (d.bytes[0] == 0x5A) packets.push_back(d.bytes);
    EXPECT_EQ(packets, std::vector<Bytes>{expected});

    const Outcome missing = rig.Run(Join(
        {"set-address", "--mac", "00:11:22:33:44:99", "--ip", "192.168.1.51", "--seconds", "0.3"},
        segment.Args()));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("00:11:22:33:44:99"), std::string::npos) << missing.err;
}

class CliFirmware : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int i = 0; i < 1000; ++i) image_.push_back(static_cast<uint8_t>(i * 7 + 3));
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(image_.data()),
                   static_cast<std::streamsize>(image_.size()));
    }
    void TearDown() override { std::filesystem::remove(path_); }

    // Blocks and terminator, as the printer must compute it.
    uint32_t ImageSum() const {
        uint32_t sum = 512 * 0x55;
        for (const uint8_t b : image_) sum += b;
        return sum;
    }
    Bytes image_;
    std::filesystem::path path_ = std::filesystem::temp_directory_path() / "tessary_cli_fw.bin";
};

TEST_F(CliFirmware, NetworkAndUsbCarryTheSameStreamByteForByte) {
    fakes::TcpPrinterPeer peer;
    ASSERT_TRUE(peer.ok());
    Rig rig;
    Outcome o = rig.Run(
        {"firmware", "--to", "net:127.0.0.1:" + std::to_string(peer.port()), path_.string()});
    ASSERT_EQ(o.status, 0) << o.err;
    ASSERT_TRUE(peer.WaitForClosed(1, 2s));
    EXPECT_EQ(peer.Connections()[0].bytes, updatertest::ExpectedFirmwareStream(image_, ImageSum()));
    EXPECT_NE(o.err.find("done: "), std::string::npos) << o.err;

    rig.usb->SetDevices({{fakes::UsbDevice(0x0483, 0x2021, "3-1")}});  // on Brindel's list only
    o = rig.Run({"firmware", path_.string()});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(rig.usb->BytesOut(), updatertest::ExpectedFirmwareStream(image_, ImageSum()));
}

TEST_F(CliFirmware, MissingFileOrRefusedConnectionIsStatusOneWithNothingSent) {
    fakes::TcpPrinterPeer peer;
    Rig rig;
    const std::string to = "net:127.0.0.1:" + std::to_string(peer.port());
    Outcome o = rig.Run({"firmware", "--to", to, "/nonexistent/FWIMAGE_80.bin"});
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("/nonexistent/FWIMAGE_80.bin"), std::string::npos) << o.err;
    EXPECT_EQ(peer.ConnectionCount(), 0u);

    o = rig.Run({"firmware", "--to", "net:127.0.0.1:" + std::to_string(fakes::UnusedLoopbackPort()),
                 path_.string()});
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("127.0.0.1"), std::string::npos) << o.err;
}

TEST_F(CliFirmware, PrinterThatStopsReadingIsAFailureNeverDone) {
    // More than the 1000 bytes it reads and the about 1 KiB its buffer holds.
    std::ofstream(path_, std::ios::binary) << std::string(16384, '\x42');
    fakes::TcpPrinterPeer peer(fakes::TcpPrinterPeer::Mode::StallAfter, 1000);
    ASSERT_TRUE(peer.ok());
    Rig rig;
    rig.env.netPacing.stall = 300ms;
    const Outcome o = rig.Run(
        {"firmware", "--to", "net:127.0.0.1:" + std::to_string(peer.port()), path_.string()});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err.find("done"), std::string::npos) << o.err;
    // 2 + 16384 + 512 + 4 bytes of stream.
    EXPECT_NE(o.err.find(" of 16902 bytes\n"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("printer at 127.0.0.1 stopped taking data after "), std::string::npos)
        << o.err;
}

// The built program: status and output as a script sees them.
Outcome RunProgram(const std::string& arguments) {
    Outcome o;
#ifdef _WIN32
    // Through the command interpreter, read as text: its CR LF line ends become LF, as a script
    // there reads them.
    const std::string command = "\"\"" TESSARY_CLI "\" " + arguments + " 2>NUL\"";
    FILE* pipe = ::_popen(command.c_str(), "r");
#else
    FILE* pipe = ::popen((TESSARY_CLI " " + arguments + " 2>/dev/null").c_str(), "r");
#endif
    if (pipe == nullptr) return o;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) o.out += buffer;
#ifdef _WIN32
    o.status = ::_pclose(pipe);
#else
    const int status = ::pclose(pipe);
    o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return o;
}

TEST(CliProgram, ExitStatusesAndDryRunOutput) {
    EXPECT_EQ(RunProgram("--dry-run send cut").out, "0A 0A 1D 56 01 01\n");
    EXPECT_EQ(RunProgram("--dry-run send cut").status, 0);
    EXPECT_EQ(RunProgram("firmware --help").status, 0);
    EXPECT_EQ(RunProgram("send beep 9").status, 2);
    EXPECT_EQ(RunProgram("--no-such-option").status, 2);
}

}  // namespace
}  // namespace clitest
