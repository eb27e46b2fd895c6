#include "updater/updater_window.h"

#include <optional>
#include <string>

#include "netcfg/address_dialog.h"
#include "netcfg/address_set.h"
#include "netcfg/discovery_feed.h"
#include "platform/message_sink.h"
#include "platform/ui_thread.h"
#include "shell/about_box.h"
#include "shell/start_up.h"
#include "updater/window_layout.h"

namespace updater {

namespace {
using platform::Notification;
}  // namespace

UpdaterWindow::UpdaterWindow(UpdaterWindowConfig config)
    : config_(std::move(config)),
      usbLink_(config_.usb ? config_.usb : printerlink::MakeSystemUsbBackend(),
               printerlink::UsbProgram::Brindel) {}

UpdaterWindow::~UpdaterWindow() {
    // Release workers that wait on the window first, then end them.
    if (host_ != nullptr) host_->Gate().Close();
    if (watch_) watch_->Stop();
    if (worker_.joinable()) worker_.join();
    if (connectWorker_.joinable()) connectWorker_.join();
    if (feed_) feed_->Stop();
}

platform::DialogSpec UpdaterWindow::Layout() {
    return {
        .title = kWindowTitle,
        .controls = WindowControls(),
        .width = kWindowWidth,
        .height = kWindowHeight,
        .pointSize = kWindowPointSize,
        .font = {"黑体", 12},
        .icon = "brindel",
        // Enter presses the focused push button, else the default button "USB Updata".
        .initialFocus = id::kUsbUpdata,
    };
}

void UpdaterWindow::Attach(platform::DialogHost& host) {
    host_ = &host;
    messages_ = config_.messages ? config_.messages : &host.Messages();
    // The template's own entries.
    for (const char* entry : {"0", "1", "2"}) host.AddItem(id::kOptionList, entry);
    BindControls();
    host.SetAboutCommand(kAboutItem, [this] { ShowAbout(); });
}

void UpdaterWindow::BindControls() {
    const auto onClick = [this](int controlId, std::function<void()> handler) {
        host_->On(controlId, Notification::Clicked, std::move(handler));
    };
    onClick(id::kExit, [this] { host_->Close(platform::kDialogOk); });
    onClick(id::kUsbUpdata, [this] {
        // Pressed once per run: it stays disabled whatever the outcome.
        host_->Enable(id::kUsbUpdata, false);
        RunUsbOperation([](UsbOperations& ops) { return ops.FirmwareDownload(); });
    });
    onClick(id::kCharacterData, [this] {
        RunUsbOperation([](UsbOperations& ops) { return ops.CharacterDataDownload(); });
    });
    onClick(id::kSettings, [this] {
        const int codePage = host_->Position(id::kCodePage);
        const int paper = host_->Position(id::kPaperWidth);
        const int density = host_->Position(id::kDensity);
        RunUsbOperation(
            [=](UsbOperations& ops) { return ops.PrinterSettings(codePage, paper, density); });
    });
    onClick(id::kOption, [this] {
        const int option = host_->Position(id::kOptionList);
        RunUsbOperation([=](UsbOperations& ops) { return ops.OptionCommand(option); });
    });
    onClick(id::kIdentityA, [this] {
        RunUsbOperation([](UsbOperations& ops) { return ops.IdentitySwitch(kIdentityA); });
    });
    onClick(id::kIdentityB, [this] {
        RunUsbOperation([](UsbOperations& ops) { return ops.IdentitySwitch(kIdentityB); });
    });
    onClick(id::kNetUpdata, [this] {
        host_->Enable(id::kNetUpdata, false);
        if (watch_) watch_->RequestNetworkDownload();
    });
    onClick(id::kRefresh, [this] { ClearDevices(); });
    onClick(id::kIpSet, [this] { OnIpSet(); });
    onClick(id::kConnectTest, [this] { OnConnectTest(); });
}

StartResult UpdaterWindow::Initialise() {
    host_->SetText(id::kStatus, kUsbNotConnect);
    host_->InsertItem(id::kPaperWidth, 0, "80CM");
    host_->InsertItem(id::kPaperWidth, 1, "58CM");
    host_->Select(id::kPaperWidth, 0);
    for (int i = 0; i < 3; ++i) host_->InsertItem(id::kDensity, i, std::to_string(i + 1));
    host_->Select(id::kDensity, 0);
    host_->SetOctets(id::kTestAddress, {192, 168, 0, 200});

    // Only one copy of the program (of either program) may hold the reply port.
    replySocket_ = netcfg::UdpSocket::BindAny(config_.replyPort);
    if (!replySocket_.IsValid()) return StartResult::ReplyPortTaken;
    // The listener reads the reply socket for the window's whole life.
    platform::UiCallGate& gate = host_->Gate();
    feed_ = std::make_unique<netcfg::DiscoveryFeed>(gate.Thread(), replySocket_,
                                                    netcfg::BrindelPolicy());
    feed_->Attach([this] { RebuildList(); });

    if (config_.startWatch) {
        UsbWatchSinks sinks;
        sinks.setStatus = [this, &gate](const std::string& text) {
            gate.Run([this, &text] { host_->SetText(id::kStatus, text); });
        };
        sinks.setDevicePath = [this, &gate](const std::string& path) {
            gate.Run([this, &path] { host_->SetText(id::kDevicePath, path); });
        };
        sinks.networkDownload = [this] { RunNetworkDownload(); };
        sinks.networkDownloadEnded = [this, &gate] {
            gate.Run([this] { host_->Enable(id::kNetUpdata, true); });
        };
        auto usb = config_.watchUsb ? config_.watchUsb : printerlink::MakeSystemUsbBackend();
        watch_ = std::make_unique<UsbWatchThread>(std::move(usb), std::move(sinks),
                                                  config_.probeInterval);
        watch_->Start();
    }
    host_->SetTimer(kScanTimer, config_.scanInterval, [this] { OnScanTick(); });

    FillLists();
    return StartResult::Ready;
}

void UpdaterWindow::FillLists() {
    // Its dropped list is as wide as its longest entry (kFitDropWidth).
    for (const char* entry : CodePageEntries()) host_->AddItem(id::kCodePage, entry);
    host_->Select(id::kOptionList, 0);
}

template <class Sinks>
void UpdaterWindow::FillDownloadSinks(Sinks& sinks) {
    platform::UiCallGate& gate = host_->Gate();
    sinks.showMessage = [this](const std::string& text) { messages_->ShowMessage(text); };
    sinks.showFileError = [this](const std::string& text) { messages_->ShowStopMessage(text); };
    sinks.exitProgram = [this](int status) { ExitProgram(status); };
    sinks.setProgress = [this, &gate](int position) {
        gate.Run([this, position] { host_->SetProgress(id::kProgress, position); });
    };
}

UsbOperationSinks UpdaterWindow::OperationSinks() {
    UsbOperationSinks sinks;
    FillDownloadSinks(sinks);
    sinks.setDevicePath = [this, &gate = host_->Gate()](const std::string& path) {
        gate.Run([this, &path] { host_->SetText(id::kDevicePath, path); });
    };
    return sinks;
}

void UpdaterWindow::RunUsbOperation(std::function<UsbOutcome(UsbOperations&)> operation) {
    if (busy_.exchange(true)) return;
    host_->SetBusy(true);
    if (worker_.joinable()) worker_.join();  // the last one has ended: busy_ was false
    worker_ = std::thread([this, sinks = OperationSinks(), operation = std::move(operation),
                           &gate = host_->Gate()]() mutable {
        UsbOperations ops(usbLink_, std::move(sinks), config_.workDir);
        (void)operation(ops);
        gate.Run([this] {
            busy_ = false;
            host_->SetBusy(false);
            ++operationsFinished_;
        });
    });
}

void UpdaterWindow::ExitProgram(int status) {
    shell::ExitProgram(config_.exitProgram, status);
}

void UpdaterWindow::ShowAbout() {
    shell::ShowAbout(*host_,
                     {kAboutTitle, AboutControls(), kAboutWidth, kAboutHeight, 9.0, {"宋体", 9}});
}

netcfg::DeviceTable* UpdaterWindow::Devices() const {
    return feed_ ? &feed_->Table() : nullptr;
}

void UpdaterWindow::OnScanTick() {
    // No requests while a network download is asked for or runs.
    if (watch_ && watch_->NetworkDownloadRequested()) return;
    const netcfg::UdpSocket socket = netcfg::UdpSocket::Broadcast();
    if (!socket.IsValid()) {
        messages_->ShowMessage("Error 0");
        return;
    }
    if (socket.SendTo(config_.broadcastTo, netcfg::DiscoveryRequest(netcfg::BrindelPolicy())))
        ++requestsSent_;
}

void UpdaterWindow::RebuildList() {
    // Called by the feed only, so the table is there.
    netcfg::ShowDevices(*host_, id::kDeviceList, feed_->Table());
}

void UpdaterWindow::ClearDevices() {
    if (feed_) feed_->Table().Clear();
    host_->ResetList(id::kDeviceList);
}

void UpdaterWindow::OnIpSet() {
    const std::optional<netcfg::DeviceEntry> entry =
        feed_ ? feed_->Table().Slot(host_->Position(id::kDeviceList)) : std::nullopt;
    if (!entry) {
        messages_->ShowMessage(kNoDeviceSelected);
        return;
    }
    netcfg::AddressDialog dialog(*entry, config_.broadcastTo, *messages_);
    host_->RunModal(netcfg::AddressDialog::Layout(), dialog);
    // However the dialog ended, the printers are listed afresh from their next replies.
    ClearDevices();
}

void UpdaterWindow::OnConnectTest() {
    // Off the window's thread: a printer that does not answer takes up to the connect time-out.
    if (connectTesting_) return;
    connectTesting_ = true;
    host_->Enable(id::kConnectTest, false);
    if (connectWorker_.joinable()) connectWorker_.join();
    const auto address = host_->Octets(id::kTestAddress);
    connectWorker_ = std::thread([this, &gate = host_->Gate(), address] {
        const bool ok =
            netcfg::ConnectTest(address, config_.printerPort, config_.netPacing.connect);
        if (!ok) messages_->ShowMessage(kConnectTestFailed);
        gate.Run([this] {
            connectTesting_ = false;
            host_->Enable(id::kConnectTest, true);
        });
    });
}

void UpdaterWindow::RunNetworkDownload() {
    NetDownloadSinks sinks;
    FillDownloadSinks(sinks);
    platform::UiCallGate& gate = host_->Gate();
    sinks.selectedLine = [this, &gate] {
        int line = -1;
        gate.Run([this, &line] { line = host_->Position(id::kDeviceList); });
        return line;
    };
    sinks.clearList = [this, &gate] { gate.Run([this] { host_->ResetList(id::kDeviceList); }); };
    // The status label, where the window shows text, says what the printer reports.
    sinks.showPrinterReport = [this, &gate](const std::string& report) {
        gate.Run([this, &report] { host_->SetText(id::kStatus, report); });
    };
    NetworkDownload download(feed_->Table(), std::move(sinks), config_.workDir, config_.printerPort,
                             config_.netPacing);
    (void)download.Run();
}

void UpdaterWindow::Closed(int /*result*/) {
    // The window refuses to end while a USB operation runs, so the printer is never left in
    // download mode with part of an image. A network download runs on its own and ends with the
    // program.
    if (feed_) feed_->Stop();  // before its socket closes
    replySocket_.Close();
}

}  // namespace updater
