// Brindel's window against the virtual printer over loopback: the device list filled from the
// simulator's answers and the network firmware download.
#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <filesystem>
#include <fstream>

#include "netcfg/udp_socket.h"
#include "sim/sim_server.h"
#include "tests/fakes/fake_usb.h"
#include "tests/fakes/recording_message_sink.h"
#include "tests/platform/qt_wait.h"
#include "tests/sim/sim_rig.h"
#include "updater/updater_window.h"
#include "updater/window_layout.h"

namespace simtest {
namespace {

using namespace std::chrono_literals;
using testsupport::PumpUntil;

// A UDP port free a moment ago, for the window's reply socket (the simulator answers to it).
uint16_t FreeUdpPort() {
    netcfg::UdpSocket probe = netcfg::UdpSocket::BindAny(0);
    return probe.LocalPort();
}

TEST(SimWithBrindel, ListsThePrinterAndDownloadsFirmwareWithAMatchingChecksum) {
    const uint16_t replyPort = FreeUdpPort();
    sim::SimOptions options;
    options.replyPort = replyPort;
    SimRig sim(options);
    const auto dir = std::filesystem::temp_directory_path() / "sim_brindel_test";
    std::filesystem::create_directories(dir);
    {
        std::ofstream image(dir / "FWIMAGE_80.bin", std::ios::binary);
        const std::string data(1500, '\x21');
        image.write(data.data(), static_cast<std::streamsize>(data.size()));
    }
    fakes::RecordingMessageSink messages;
    updater::UpdaterWindowConfig config;
    config.replyPort = replyPort;
    config.usb = std::make_shared<fakes::FakeUsbBackend>();  // no USB printer
    config.watchUsb = std::make_shared<fakes::FakeUsbBackend>();
    config.startWatch = true;
    config.workDir = dir;
    config.messages = &messages;
    config.exitProgram = [](int) { ADD_FAILURE() << "program ended"; };
    config.broadcastTo = netcfg::Ipv4Endpoint{0x7f000001u, sim.server().UdpPort()};
    config.scanInterval = 50ms;
    config.printerPort = sim.server().TcpPort(1);
    config.netPacing.before = config.netPacing.settle = 0ms;
    config.netPacing.afterSend = 0ms;
    updater::UpdaterWindow window(std::move(config));
    ASSERT_EQ(window.Initialise(), updater::StartResult::Ready);
    window.show();
    auto* list = qobject_cast<QListWidget*>(window.Control(updater::id::kDeviceList));
    ASSERT_TRUE(PumpUntil([&] { return list->count() == 1; }, 10s));
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("(1.0)127.0.0.1."));
    list->setCurrentRow(0);
    qobject_cast<QPushButton*>(window.Control(updater::id::kNetUpdata))->click();
    ASSERT_TRUE(PumpUntil([&] { return !messages.Messages().empty(); }, 20s));
    EXPECT_EQ(messages.Messages(), std::vector<std::string>{"网络下载数据完成"});
    EXPECT_TRUE(sim.HasLineWith("3 blocks (1536 bytes), checksum ok")) << [&] {
        std::string all;
        for (const auto& line : sim.Lines()) all += line + "\n";
        return all;
    }();
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace simtest
