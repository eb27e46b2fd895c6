#include "tests/setuptool/window_harness.h"

#include <gtest/gtest.h>

#include <QRadioButton>

#include "platform/qt/ipv4_edit.h"
#include "tests/platform/qt_wait.h"

namespace testsupport {

WindowHarness::~WindowHarness() {
    window.reset();
    host.reset();
}

bool WindowHarness::Start(setuptool::MainWindowConfig config) {
    host = std::make_unique<platform::QtDialogHost>(setuptool::MainWindow::Layout());
    window = std::make_unique<setuptool::MainWindow>(std::move(config));
    host->Attach(*window);
    if (window->Initialise() != setuptool::StartResult::Ready) return false;
    host->show();
    return true;
}

void WindowHarness::UseNet() {
    Get<QRadioButton>(setuptool::id::kNet)->setChecked(true);
    Get<platform::Ipv4Edit>(setuptool::id::kPrinterIp)->SetText(QStringLiteral("127.0.0.1"));
}

std::vector<uint8_t> Delivery(const fakes::TcpPrinterPeer& peer, std::size_t count) {
    EXPECT_TRUE(PumpUntil([&] { return fakes::DeliveredCommands(peer).size() >= count; },
                          std::chrono::seconds(10)))
        << "delivery " << count;
    const auto commands = fakes::DeliveredCommands(peer);
    return commands.size() >= count ? commands[count - 1] : std::vector<uint8_t>{};
}

}  // namespace testsupport
