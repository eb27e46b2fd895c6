#include "setuptool/main_window.h"

#include <algorithm>
#include <climits>
#include <system_error>

#include "commands/factory_dialog.h"
#include "commands/list_items.h"
#include "commands/one_click.h"
#include "commands/settings_dialog.h"
#include "commands/voice_dialog.h"
#include "link/command_buffer.h"
#include "link/usb_printer_link.h"
#include "netcfg/address_set.h"
#include "netcfg/device_list_dialog.h"
#include "netcfg/mac_boxes.h"
#include "netcfg/wifi_dialog.h"
#include "platform/captions.h"
#include "platform/decimal.h"
#include "platform/message_sink.h"
#include "platform/ui_thread.h"
#include "setuptool/about_box.h"
#include "setuptool/captions.h"
#include "setuptool/init_params.h"
#include "setuptool/main_window_layout.h"
#include "setuptool/random_mac.h"
#include "setuptool/test_text.h"
#include "shell/start_up.h"
#include "status/status_query.h"

namespace setuptool {

namespace {
using platform::Notification;

constexpr int kSetIpButton = 1012;
constexpr int kScanButton = 1014;
constexpr int kDhcpOpenButton = 1015;
constexpr int kDhcpCloseButton = 1016;
constexpr int kConnectTestButton = 1018;
constexpr int kMacButton = 1043;

// The status line shows one line: a trailing line end is left out, inner ones become blanks.
std::string DisplayedStatus(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        shown += text[i] == '\n' || text[i] == '\r' ? ' ' : text[i];
    }
    return shown;
}

// The print-info edit holds line ends as "\n".
std::string EditText(std::string_view text) {
    std::string edit;
    edit.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        edit += text[i];
    }
    return edit;
}

void FillList(platform::DialogHost& host, int list, std::span<const char* const> items) {
    for (const char* item : items) host.AddItem(list, item);
}

// What the status line says about a condition the sender met, in the interface language.
const char* NoticeText(printerlink::LinkNotice notice, int languageFlag) {
    const bool english = languageFlag != 0;
    switch (notice) {
        case printerlink::LinkNotice::UsbRetrying:
            return english ? "USB printer is not taking data (offline or out of paper?), retrying"
                           : "USB 打印机没有接收数据(离线或缺纸?),正在重试";
        case printerlink::LinkNotice::SerialTimedOut:
            return english ? "Serial port did not take the data in time (flow control?), dropped"
                           : "串口发送超时(流控未释放?),数据已放弃";
        case printerlink::LinkNotice::NetStalled:
            return english
                       ? "Network printer stopped taking data (offline or out of paper?), dropped"
                       : "网络打印机停止接收数据(离线或缺纸?),数据已放弃";
    }
    return "";
}

const platform::SystemClock& TheSystemClock() {
    static const platform::SystemClock clock;
    return clock;
}
}  // namespace

int AutoSendIntervalMs(const std::string& text) {
    const int value = platform::ParseDecimal(text);
    if (value < 0) return INT_MAX;
    constexpr int kMinimum = platform::DialogHost::kTimerMinimumMs;
    return value < kMinimum ? kMinimum : value;
}

MainWindow::MainWindow(MainWindowConfig config)
    : config_(std::move(config)),
      buffer_(config_.buffer ? config_.buffer : &printerlink::ProcessCommandBuffer()),
      clock_(config_.clock ? config_.clock : &TheSystemClock()) {}

MainWindow::~MainWindow() {
    // Release workers that wait on the window first, then end them.
    if (host_ != nullptr) host_->Gate().Close();
    if (sender_) {
        sender_->Stop();
        sender_.reset();
    }
    if (serialProbe_.joinable()) serialProbe_.join();
}

platform::DialogSpec MainWindow::Layout() {
    return {
        .title = kMainWindowTitle,
        .controls = MainWindowControls(),
        .width = kMainWindowWidth,
        .height = kMainWindowHeight,
        .font = {"Arial Narrow", 11},
        .icon = "tessary",
        // Enter in the print-info text starts a new line at its end; anywhere else it does nothing.
        .enterAppendsLineTo = id::kPrintInfo,
    };
}

void MainWindow::Attach(platform::DialogHost& host) {
    host_ = &host;
    messages_ = config_.messages ? config_.messages : &host.Messages();
    // The lists come with the layout; their selections are set at start-up.
    FillList(host, id::kBaudRate, commands::BaudRateItems());
    FillList(host, commands::kBeeperModeListId, commands::BeeperModeItems());
    FillList(host, commands::kBlankFeedListId, commands::BlankFeedItems());
    BindControls();
    host.SetAboutCommand(kAboutItem, [this] { ShowAbout(); });
}

void MainWindow::BindControls() {
    const auto onClick = [this](int id, std::function<void()> handler) {
        host_->On(id, Notification::Clicked, std::move(handler));
    };
    onClick(id::kPrintTest, [this] { OnPrintTest(); });
    onClick(id::kLanguage, [this] { OnLanguage(); });
    onClick(id::kAutoSend, [this] { OnAutoSendToggled(); });

    for (const commands::OneClickCommand& command : commands::OneClickCommands()) {
        onClick(command.controlId, [this, &command] {
            const int position = command.listId != 0 ? host_->Position(command.listId) : -1;
            const std::vector<uint8_t> bytes = command.Build(position);
            printerlink::SubmitCommand(*buffer_, bytes.data(), bytes.size());
        });
    }

    // Buttons that open a dialog: settings, voice and alarm, factory restore, WiFi.
    onClick(1006, [this] { OpenSettingsDialog(); });
    onClick(1091, [this] { OpenVoiceDialog(); });
    onClick(1090, [this] { OpenFactoryDialog(); });
    onClick(1044, [this] { OpenWifiDialog(); });

    onClick(kScanButton, [this] { OnScanPrinter(); });
    onClick(kSetIpButton, [this] { OnSetIp(); });
    onClick(kDhcpOpenButton, [this] { OnDhcp(true); });
    onClick(kDhcpCloseButton, [this] { OnDhcp(false); });
    onClick(kMacButton, [this] { OnMac(); });
    onClick(kConnectTestButton, [this] { OnConnectTest(); });
}

StartResult MainWindow::Initialise() {
    // Address fields.
    host_->SetOctets(id::kPrinterIp, {192, 168, 0, 199});
    host_->SetOctets(id::kIpMask, {255, 255, 255, 0});
    host_->SetOctets(id::kIpGate, {192, 168, 0, 1});
    host_->SetOctets(id::kNewIp, {192, 168, 1, 199});

    // The test page.
    host_->SetText(id::kPrintInfo, EditText(kWelcomeText));

    // Only one copy of the program may hold the reply port.
    replySocket_ = netcfg::UdpSocket::BindAny(config_.replyPort);
    if (!replySocket_.IsValid()) return StartResult::ReplyPortTaken;
    broadcastSocket_ = netcfg::UdpSocket::Broadcast();
    if (!broadcastSocket_.IsValid()) {
        messages_->ShowMessage("Error 0");
        return StartResult::BroadcastSocketFailed;
    }

    host_->SetChecked(id::kUsb, true);

    ShowMacProposal();

    host_->Select(id::kBaudRate, commands::kBaudRateInitialPosition);
    host_->SetText(id::kInterval, "500");
    host_->Select(commands::kBeeperModeListId, commands::kBeeperModeInitialPosition);

    StartThreads();

    if (config_.workDir.empty()) {
        std::error_code error;
        workDir_ = std::filesystem::current_path(error);
        if (error) workDir_ = ".";
    } else {
        workDir_ = config_.workDir;
    }
    languageFlag_ = ReadInitParams(workDir_, languageFlag_);
    ApplyCaptions();
    return StartResult::Ready;
}

void MainWindow::StartThreads() {
    platform::UiCallGate& gate = host_->Gate();
    if (config_.startSender) {
        printerlink::SenderSinks sinks;
        sinks.setStatusText = [this, &gate](const std::string& text) {
            gate.Run([this, &text] { SetStatusText(text); });
        };
        sinks.showMessage = [this](const std::string& text) { messages_->ShowMessage(text); };
        sinks.exitProgram = [this](int status) { ExitProgram(status); };
        sinks.notice = [this, &gate](printerlink::LinkNotice notice) {
            gate.Run([this, notice] { SetStatusText(NoticeText(notice, languageFlag_)); });
        };
        sinks.askStatus = [this, &gate](const printerlink::PortParams& port,
                                        const std::function<bool()>& cancelled) {
            const printerstatus::Reading reading = AskStatus(port, cancelled);
            gate.Run([this, &reading] {
                ShowPrinterReport(printerstatus::FaultReport(reading, languageFlag_));
            });
        };
        auto usb = config_.usb ? config_.usb : printerlink::MakeSystemUsbBackend();
        sender_ = std::make_unique<printerlink::SenderThread>(*buffer_, *this, std::move(sinks),
                                                              std::move(usb), config_.endpoints);
        sender_->Start();
    }
    if (config_.serialProbe) {
        printerlink::SerialListSink list;
        list.resetContent = [this, &gate] {
            gate.Run([this] { host_->ResetList(id::kSerialPort); });
        };
        list.addString = [this, &gate](const std::string& name) {
            gate.Run([this, &name] { host_->AddItem(id::kSerialPort, name); });
        };
        serialProbe_ = printerlink::StartComPortProbeThread(std::move(list), *config_.serialProbe);
    }
}

void MainWindow::ExitProgram(int status) {
    shell::ExitProgram(config_.exitProgram, status);
}

printerlink::PortParams MainWindow::ReadPortParams() {
    printerlink::PortParams params;
    host_->Gate().Run([this, &params] {
        params.com = host_->Checked(id::kCom);
        params.lpt = host_->Checked(id::kLpt);
        params.usb = host_->Checked(id::kUsb);
        params.net = host_->Checked(id::kNet);
        params.serialName = host_->Text(id::kSerialPort);
        params.baudText = host_->Text(id::kBaudRate);
        params.printerIp = host_->Octets(id::kPrinterIp);
    });
    return params;
}

void MainWindow::SetStatusText(const std::string& utf8) {
    statusText_ = utf8;
    host_->SetText(id::kStatus, DisplayedStatus(utf8));
}

void MainWindow::ShowPrinterReport(const std::string& report) {
    if (report.empty()) return;
    std::string shown = DisplayedStatus(statusText_);
    while (!shown.empty() && shown.back() == ' ') shown.pop_back();
    if (!shown.empty()) shown += languageFlag_ != 0 ? "; " : ";";
    host_->SetText(id::kStatus, shown + report);
}

printerstatus::Reading MainWindow::AskStatus(const printerlink::PortParams& port,
                                             const std::function<bool()>& cancelled) const {
    printerstatus::Where where;
    if (port.Chosen() == printerlink::PortKind::Com) {
        where.kind = printerstatus::Where::Kind::Serial;
        where.serial = port.serialName;
        where.baud = printerlink::ParseBaudText(port.baudText);
    } else {
        where.ip = port.printerIp;
        where.port = config_.endpoints.tcpPort;
    }
    if (cancelled()) return {};
    // The printer was just reached: a connection that takes longer than an answer would is none.
    const printerstatus::AskLimits limits{
        printerstatus::kAnswerTimeout,
        std::min(config_.endpoints.connectTimeout, printerstatus::kAnswerTimeout), cancelled};
    return printerstatus::AskAt(where, limits);
}

void MainWindow::ApplyCaptions() {
    platform::ApplyCaptions(*host_, MainWindowCaptions(), languageFlag_);
}

void MainWindow::SubmitTestPage() {
    const std::string bytes = TestPrintBytes(host_->Text(id::kPrintInfo));
    // Once it is printed, what the printer reports shows in the status line.
    printerlink::SubmitCommand(*buffer_, reinterpret_cast<const uint8_t*>(bytes.data()),
                               bytes.size(), printerlink::AfterCommand::AskStatus);
    ++sendCount_;
    SetStatusText(SendFinishText(sendCount_));
}

void MainWindow::OnPrintTest() {
    SubmitTestPage();
    if (host_->Checked(id::kAutoSend)) {
        autoSendInterval_ =
            std::chrono::milliseconds(AutoSendIntervalMs(host_->Text(id::kInterval)));
        host_->SetTimer(kAutoSendTimer, autoSendInterval_, [this] { OnAutoSendTick(); });
        autoSendRunning_ = true;
    }
}

void MainWindow::OnAutoSendToggled() {
    // An unchecked box lets the window sleep; checking it again resumes a timer that ran.
    if (!host_->Checked(id::kAutoSend)) {
        autoSendPaused_ = autoSendRunning_;
        autoSendRunning_ = false;
        host_->KillTimer(kAutoSendTimer);
    } else if (autoSendPaused_) {
        autoSendPaused_ = false;
        autoSendRunning_ = true;
        host_->SetTimer(kAutoSendTimer, autoSendInterval_, [this] { OnAutoSendTick(); });
    }
}

void MainWindow::OnAutoSendTick() {
    // One copy at a time: a tick that finds the previous copy still going is skipped.
    if (host_->Checked(id::kAutoSend) && printerlink::IsIdle(*buffer_)) SubmitTestPage();
}

void MainWindow::OnLanguage() {
    languageFlag_ = ToggleLanguage(languageFlag_);
    WriteInitParams(workDir_, languageFlag_);
    ApplyCaptions();
}

void MainWindow::ShowAbout() {
    shell::ShowAbout(*host_, AboutContent());
}

void MainWindow::Closed(int /*result*/) {
    autoSendRunning_ = false;            // the window's timers have stopped
    if (discovery_) discovery_->Stop();  // the listener lets go of the socket first
    replySocket_.Close();
}

// Each dialog is built anew for one modal opening, in the language of the moment.
void MainWindow::OpenSettingsDialog() {
    commands::SettingsDialog dialog(*buffer_, *messages_, languageFlag_);
    host_->RunModal(commands::SettingsDialog::Layout(), dialog);
}

void MainWindow::OpenVoiceDialog() {
    commands::VoiceDialog dialog(*buffer_, languageFlag_);
    host_->RunModal(commands::VoiceDialog::Layout(), dialog);
}

void MainWindow::OpenFactoryDialog() {
    commands::FactoryDialog dialog(*buffer_, *clock_);
    host_->RunModal(commands::FactoryDialog::Layout(), dialog);
}

void MainWindow::OpenWifiDialog() {
    netcfg::WifiDialog dialog(*buffer_, *messages_, languageFlag_, netcfg::WifiStartAddress());
    host_->RunModal(netcfg::WifiDialog::Layout(), dialog);
}

void MainWindow::OnScanPrinter() {
    // One listener for the program's life, started with the first opening.
    if (!discovery_) {
        discovery_ = std::make_unique<netcfg::DiscoveryFeed>(host_->Gate().Thread(), replySocket_,
                                                             netcfg::TessaryPolicy());
    }
    netcfg::DeviceListEnv env;
    env.feed = discovery_.get();
    const auto to = netcfg::Ipv4Endpoint::Parse(config_.broadcastAddress, config_.discoveryPort);
    env.broadcastSocket = to ? &broadcastSocket_ : nullptr;  // no destination: nothing is sent
    if (to) env.broadcastTo = *to;
    env.messages = messages_;
    env.languageFlag = languageFlag_;
    netcfg::DeviceListDialog dialog(env);
    host_->RunModal(netcfg::DeviceListDialog::Layout(), dialog);
}

void MainWindow::OnSetIp() {
    const std::vector<uint8_t> frame = netcfg::IpSettingFrame(
        host_->Octets(id::kNewIp), host_->Octets(id::kIpMask), host_->Octets(id::kIpGate));
    printerlink::SubmitCommand(*buffer_, frame.data(), frame.size());
}

void MainWindow::OnDhcp(bool on) {
    const std::vector<uint8_t> frame = netcfg::DhcpFrame(on);
    printerlink::SubmitCommand(*buffer_, frame.data(), frame.size());
}

void MainWindow::OnMac() {
    const netcfg::MacBoxesRead mac = netcfg::ReadMacBoxes(*host_, kMacBoxIds);
    if (!mac.mac) {
        messages_->ShowMessage(netcfg::MacBoxErrorText(mac.badBox, languageFlag_));
        return;
    }
    const std::vector<uint8_t> frame = netcfg::MacSettingFrame(*mac.mac);
    printerlink::SubmitCommand(*buffer_, frame.data(), frame.size());
    ShowMacProposal();  // the next printer gets another address
}

void MainWindow::ShowMacProposal() {
    macProposal_ = RandomMac(clock_->SecondsSinceEpoch());
    netcfg::ShowMac(*host_, kMacBoxIds, macProposal_);
}

void MainWindow::OnConnectTest() {
    // The attempt runs off the window's thread (up to the connect time-out); the button stays
    // off until its answer has been shown, so one attempt runs at a time.
    host_->Enable(kConnectTestButton, false);
    if (connectTest_.joinable()) connectTest_.join();  // the last one is past its message
    const auto address = host_->Octets(id::kPrinterIp);
    const uint16_t port = config_.endpoints.tcpPort;
    const auto timeout = config_.endpoints.connectTimeout;
    connectTest_ = std::jthread([this, &gate = host_->Gate(), address, port, timeout] {
        const bool ok = netcfg::ConnectTest(address, port, timeout);
        messages_->ShowMessage(ok ? netcfg::kConnectOk : netcfg::kConnectFail);
        gate.Run([this] { host_->Enable(kConnectTestButton, true); });
    });
}

}  // namespace setuptool
