#include "tests/setuptool/window_harness.h"

#include <gtest/gtest.h>

#include <QRadioButton>

#include "platform/qt/ipv4_edit.h"
#include "tests/platform/qt_wait.h"

namespace testsupport {

WindowHarness::WindowHarness(uint16_t port, std::filesystem::path dir)
    : workDir(dir.empty() ? std::filesystem::path(tempDir.path().toStdString()) : std::move(dir)),
      tcpPort(port) {}

WindowHarness::~WindowHarness() {
    window.reset();
}

setuptool::MainWindowConfig WindowHarness::Config() {
    setuptool::MainWindowConfig config;
    config.buffer = &buffer;
    config.endpoints.tcpPort = tcpPort;
    config.endpoints.connectTimeout = std::chrono::milliseconds(2000);
    config.endpoints.retryPause = std::chrono::milliseconds(50);
    config.endpoints.lptPath = "/nonexistent/lp0";
    config.usb = std::make_shared<NoUsbDevices>();
    config.replyPort = 0;
    config.workDir = workDir;
    config.clock = &clock;
    config.messages = &messages;
    config.exitProgram = [this](int code) { exitStatus.store(code); };
    config.serialProbe = printerlink::SerialProbeConfig{{}, 0, -1};  // lists nothing
    return config;
}

bool WindowHarness::Start(setuptool::MainWindowConfig config) {
    window = std::make_unique<setuptool::MainWindow>(std::move(config));
    if (window->Initialise() != setuptool::StartResult::Ready) return false;
    window->show();
    return true;
}

void WindowHarness::UseNet() {
    Get<QRadioButton>(setuptool::id::kNet)->setChecked(true);
    Get<platform::Ipv4Edit>(setuptool::id::kPrinterIp)->SetText(QStringLiteral("127.0.0.1"));
}

std::vector<uint8_t> Delivery(const fakes::TcpPrinterPeer& peer, std::size_t count) {
    EXPECT_TRUE(PumpUntil([&] { return ClosedCount(peer) >= count; }, std::chrono::seconds(10)))
        << "delivery " << count;
    const auto connections = peer.Connections();
    return connections.size() >= count ? connections[count - 1].bytes : std::vector<uint8_t>{};
}

std::size_t ClosedCount(const fakes::TcpPrinterPeer& peer) {
    std::size_t closed = 0;
    for (const auto& c : peer.Connections()) closed += c.closed;
    return closed;
}

}  // namespace testsupport
