#include "setuptool/main_window.h"

#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextCursor>
#include <climits>
#include <cstdio>
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
#include "netcfg/wifi_dialog.h"
#include "platform/decimal.h"
#include "platform/qt/dialog_builder.h"
#include "platform/qt/ipv4_edit.h"
#include "platform/qt/qt_dialog_host.h"
#include "setuptool/about_box.h"
#include "setuptool/captions.h"
#include "setuptool/init_params.h"
#include "setuptool/main_window_layout.h"
#include "setuptool/random_mac.h"
#include "setuptool/test_text.h"
#include "shell/window_frame.h"

namespace setuptool {

namespace {
constexpr int kTimerMinimumMs = 10;

template <class T>
T* Find(const QWidget* window, int controlId) {
    return platform::FindControlAs<T>(window, controlId);
}

// The status line shows one line: a trailing line end is left out, inner ones become blanks.
QString DisplayedStatus(const std::string& utf8) {
    QString text = QString::fromStdString(utf8);
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r'))) text.chop(1);
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

void FillList(QComboBox* combo, std::span<const char* const> items) {
    for (const char* item : items) platform::AddListString(combo, QString::fromUtf8(item));
}

bool IsEnter(const QKeyEvent* key) {
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
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
    return value < kTimerMinimumMs ? kTimerMinimumMs : value;
}

MainWindow::MainWindow(MainWindowConfig config, QWidget* parent)
    : QDialog(parent),
      config_(std::move(config)),
      buffer_(config_.buffer ? config_.buffer : &printerlink::ProcessCommandBuffer()),
      clock_(config_.clock ? config_.clock : &TheSystemClock()),
      messages_(shell::ChooseMessageSink(config_.messages, this, gate_, ownMessages_)) {
    BuildWindow();
    ConnectHandlers();
}

MainWindow::~MainWindow() {
    // Release workers that wait on this window first, then end them.
    gate_.Close();
    if (sender_) {
        sender_->Stop();
        sender_.reset();
    }
    if (serialProbe_.joinable()) serialProbe_.join();
}

void MainWindow::BuildWindow() {
    shell::SetUpDialogFrame(this, kMainWindowTitle, ProgramIcon(), 10.0);
    const auto units = platform::DialogUnits::FromFont(font());
    platform::BuildControls(this, MainWindowControls(), units);
    setFixedSize(units.ToPixels(0, 0, kMainWindowWidth, kMainWindowHeight).size());

    // The lists come with the layout; their selections are set at start-up.
    FillList(Find<QComboBox>(this, id::kBaudRate), commands::BaudRateItems());
    FillList(Find<QComboBox>(this, commands::kBeeperModeListId), commands::BeeperModeItems());
    FillList(Find<QComboBox>(this, commands::kBlankFeedListId), commands::BlankFeedItems());

    // Enter and F1 are taken out before any control, the dialogs' keyboard rule or the dialog
    // itself sees them; Esc goes on to the rule, which closes the window.
    installEventFilter(this);
    const auto children = findChildren<QWidget*>();
    for (QWidget* child : children) child->installEventFilter(this);
}

void MainWindow::ConnectHandlers() {
    connect(Find<QPushButton>(this, id::kPrintTest), &QPushButton::clicked, this,
            &MainWindow::OnPrintTest);
    connect(Find<QPushButton>(this, id::kLanguage), &QPushButton::clicked, this,
            &MainWindow::OnLanguage);
    connect(&autoSendTimer_, &QTimer::timeout, this, &MainWindow::OnAutoSendTick);
    connect(Find<QCheckBox>(this, id::kAutoSend), &QCheckBox::toggled, this,
            &MainWindow::OnAutoSendToggled);

    for (const commands::OneClickCommand& command : commands::OneClickCommands()) {
        auto* button = Find<QPushButton>(this, command.controlId);
        if (button == nullptr) continue;
        connect(button, &QPushButton::clicked, this, [this, &command] {
            int position = -1;
            if (command.listId != 0) {
                if (auto* list = Find<QComboBox>(this, command.listId))
                    position = list->currentIndex();
            }
            const std::vector<uint8_t> bytes = command.Build(position);
            printerlink::SubmitCommand(*buffer_, bytes.data(), bytes.size());
        });
    }

    // Buttons that open a dialog: settings, voice and alarm, factory restore, WiFi.
    const std::pair<int, void (MainWindow::*)()> dialogButtons[] = {
        {1006, &MainWindow::OpenSettingsDialog},
        {1091, &MainWindow::OpenVoiceDialog},
        {1090, &MainWindow::OpenFactoryDialog},
        {1044, &MainWindow::OpenWifiDialog},
    };
    for (const auto& [buttonId, open] : dialogButtons)
        connect(Find<QPushButton>(this, buttonId), &QPushButton::clicked, this, open);
    ConnectNetworkHandlers();
}

StartResult MainWindow::Initialise() {
    // Address fields.
    Find<platform::Ipv4Edit>(this, id::kPrinterIp)->SetText(QStringLiteral("192.168.0.199"));
    Find<platform::Ipv4Edit>(this, id::kIpMask)->SetText(QStringLiteral("255.255.255.0"));
    Find<platform::Ipv4Edit>(this, id::kIpGate)->SetText(QStringLiteral("192.168.0.1"));
    Find<platform::Ipv4Edit>(this, id::kNewIp)->SetText(QStringLiteral("192.168.1.199"));

    // The test page; the edit holds line ends as new lines.
    QString welcome = QString::fromUtf8(kWelcomeText.data(), static_cast<int>(kWelcomeText.size()));
    welcome.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Find<QPlainTextEdit>(this, id::kPrintInfo)->setPlainText(welcome);

    // Only one copy of the program may hold the reply port.
    replySocket_ = netcfg::UdpSocket::BindAny(config_.replyPort);
    if (!replySocket_.IsValid()) return StartResult::ReplyPortTaken;
    broadcastSocket_ = netcfg::UdpSocket::Broadcast();
    if (!broadcastSocket_.IsValid()) {
        messages_->ShowMessage("Error 0");
        return StartResult::BroadcastSocketFailed;
    }

    Find<QRadioButton>(this, id::kUsb)->setChecked(true);

    ShowMacProposal();

    Find<QComboBox>(this, id::kBaudRate)->setCurrentIndex(commands::kBaudRateInitialPosition);
    Find<QLineEdit>(this, id::kInterval)->setText(QStringLiteral("500"));
    Find<QComboBox>(this, commands::kBeeperModeListId)
        ->setCurrentIndex(commands::kBeeperModeInitialPosition);

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
    if (config_.startSender) {
        printerlink::SenderSinks sinks;
        sinks.setStatusText = [this](const std::string& text) {
            gate_.Run([this, &text] { SetStatusText(text); });
        };
        sinks.showMessage = [this](const std::string& text) { messages_->ShowMessage(text); };
        sinks.exitProgram = [this](int status) { ExitProgram(status); };
        sinks.notice = [this](printerlink::LinkNotice notice) {
            gate_.Run([this, notice] { SetStatusText(NoticeText(notice, languageFlag_)); });
        };
        auto usb = config_.usb ? config_.usb : printerlink::MakeLibusbBackend();
        sender_ = std::make_unique<printerlink::SenderThread>(*buffer_, *this, std::move(sinks),
                                                              std::move(usb), config_.endpoints);
        sender_->Start();
    }
    if (config_.serialProbe) {
        printerlink::SerialListSink list;
        list.resetContent = [this] {
            gate_.Run(
                [this] { platform::ResetListContent(Find<QComboBox>(this, id::kSerialPort)); });
        };
        list.addString = [this](const std::string& name) {
            gate_.Run([this, &name] {
                platform::AddListString(Find<QComboBox>(this, id::kSerialPort),
                                        QString::fromStdString(name));
            });
        };
        serialProbe_ = printerlink::StartComPortProbeThread(std::move(list), *config_.serialProbe);
    }
}

void MainWindow::ExitProgram(int status) {
    shell::ExitProgram(config_.exitProgram, status);
}

printerlink::PortParams MainWindow::ReadPortParams() {
    printerlink::PortParams params;
    gate_.Run([this, &params] {
        params.com = Find<QRadioButton>(this, id::kCom)->isChecked();
        params.lpt = Find<QRadioButton>(this, id::kLpt)->isChecked();
        params.usb = Find<QRadioButton>(this, id::kUsb)->isChecked();
        params.net = Find<QRadioButton>(this, id::kNet)->isChecked();
        params.serialName = Find<QComboBox>(this, id::kSerialPort)->currentText().toStdString();
        params.baudText = Find<QComboBox>(this, id::kBaudRate)->currentText().toStdString();
        params.printerIp = Find<platform::Ipv4Edit>(this, id::kPrinterIp)->Octets();
    });
    return params;
}

void MainWindow::SetStatusText(const std::string& utf8) {
    statusText_ = utf8;
    platform::SetControlText(Find<QLabel>(this, id::kStatus), DisplayedStatus(utf8));
}

QWidget* MainWindow::Control(int controlId) const {
    return platform::FindControl(this, controlId);
}

void MainWindow::ApplyCaptions() {
    for (const CaptionEntry& entry : CaptionTable(kMainWindowDialog)) {
        if (QWidget* control = Control(entry.id)) {
            platform::SetControlText(
                control, QString::fromUtf8(languageFlag_ != 0 ? entry.english : entry.chinese));
        }
    }
    platform::RefreshAccessibleNames(this);
}

void MainWindow::SubmitTestPage() {
    const QString text = Find<QPlainTextEdit>(this, id::kPrintInfo)->toPlainText();
    const std::string bytes = TestPrintBytes(text.toStdString());
    printerlink::SubmitCommand(*buffer_, reinterpret_cast<const uint8_t*>(bytes.data()),
                               bytes.size());
    ++sendCount_;
    SetStatusText(SendFinishText(sendCount_));
}

void MainWindow::OnPrintTest() {
    SubmitTestPage();
    if (Find<QCheckBox>(this, id::kAutoSend)->isChecked()) {
        const QString interval = Find<QLineEdit>(this, id::kInterval)->text();
        autoSendTimer_.start(AutoSendIntervalMs(interval.toStdString()));
    }
}

void MainWindow::OnAutoSendToggled(bool checked) {
    // An unchecked box lets the window sleep; checking it again resumes a timer that ran.
    if (!checked) {
        autoSendPaused_ = autoSendTimer_.isActive();
        autoSendTimer_.stop();
    } else if (autoSendPaused_) {
        autoSendPaused_ = false;
        autoSendTimer_.start();
    }
}

void MainWindow::OnAutoSendTick() {
    // One copy at a time: a tick that finds the previous copy still going is skipped.
    if (Find<QCheckBox>(this, id::kAutoSend)->isChecked() && printerlink::IsIdle(*buffer_))
        SubmitTestPage();
}

void MainWindow::OnLanguage() {
    languageFlag_ = ToggleLanguage(languageFlag_);
    WriteInitParams(workDir_, languageFlag_);
    ApplyCaptions();
}

void MainWindow::ShowAbout() {
    AboutBox about(this);
    about.exec();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_F1) {
        ShowAbout();
        return true;
    }
    if (!IsEnter(key)) return QDialog::eventFilter(watched, event);
    // Enter in the print-info text starts a new line at the end of the text, wherever the caret
    // was; anywhere else it does nothing (no default button, no closing).
    auto* printInfo = Find<QPlainTextEdit>(this, id::kPrintInfo);
    if (watched == printInfo || watched == printInfo->viewport()) {
        QTextCursor cursor = printInfo->textCursor();
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(QStringLiteral("\n"));
        printInfo->setTextCursor(cursor);
        printInfo->ensureCursorVisible();
    }
    return true;
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    // The window menu's extra item.
    shell::ShowWindowMenu(this, event->globalPos(), QString::fromUtf8("关于 Tessary(&A)..."),
                          [this] { ShowAbout(); });
}

void MainWindow::done(int result) {
    if (discovery_) discovery_->Stop();  // the listener lets go of the socket first
    replySocket_.Close();
    QDialog::done(result);
}

namespace {
// Runs `presenter`'s dialog modally over `owner`.
void RunModal(QWidget* owner, const platform::DialogSpec& spec,
              platform::DialogPresenter& presenter) {
    platform::QtDialogHost dialog(spec, owner);
    dialog.Attach(presenter);
    dialog.exec();
}
}  // namespace

// Each dialog is built anew for one modal opening, in the language of the moment.
void MainWindow::OpenSettingsDialog() {
    commands::SettingsDialog dialog(*buffer_, *messages_, languageFlag_);
    RunModal(this, commands::SettingsDialog::Spec(), dialog);
}

void MainWindow::OpenVoiceDialog() {
    commands::VoiceDialog dialog(*buffer_, languageFlag_);
    RunModal(this, commands::VoiceDialog::Spec(), dialog);
}

void MainWindow::OpenFactoryDialog() {
    commands::FactoryDialog dialog(*buffer_, *clock_);
    RunModal(this, commands::FactoryDialog::Spec(), dialog);
}

void MainWindow::OpenWifiDialog() {
    netcfg::WifiDialog dialog(*buffer_, *messages_, languageFlag_, netcfg::WifiStartAddress());
    RunModal(this, netcfg::WifiDialog::Spec(), dialog);
}

namespace {
constexpr int kSetIpButton = 1012;
constexpr int kScanButton = 1014;
constexpr int kDhcpOpenButton = 1015;
constexpr int kDhcpCloseButton = 1016;
constexpr int kConnectTestButton = 1018;
constexpr int kMacButton = 1043;
}  // namespace

void MainWindow::ConnectNetworkHandlers() {
    connect(Find<QPushButton>(this, kScanButton), &QPushButton::clicked, this,
            &MainWindow::OnScanPrinter);
    connect(Find<QPushButton>(this, kSetIpButton), &QPushButton::clicked, this,
            &MainWindow::OnSetIp);
    connect(Find<QPushButton>(this, kDhcpOpenButton), &QPushButton::clicked, this,
            [this] { OnDhcp(true); });
    connect(Find<QPushButton>(this, kDhcpCloseButton), &QPushButton::clicked, this,
            [this] { OnDhcp(false); });
    connect(Find<QPushButton>(this, kMacButton), &QPushButton::clicked, this, &MainWindow::OnMac);
    connect(Find<QPushButton>(this, kConnectTestButton), &QPushButton::clicked, this,
            &MainWindow::OnConnectTest);
}

void MainWindow::OnScanPrinter() {
    // One listener for the program's life, started with the first opening.
    if (!discovery_) {
        discovery_ = std::make_unique<netcfg::DiscoveryFeed>(uiThread_, replySocket_,
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
    RunModal(this, netcfg::DeviceListDialog::Spec(), dialog);
}

void MainWindow::OnSetIp() {
    const std::vector<uint8_t> frame =
        netcfg::IpSettingFrame(Find<platform::Ipv4Edit>(this, id::kNewIp)->Octets(),
                               Find<platform::Ipv4Edit>(this, id::kIpMask)->Octets(),
                               Find<platform::Ipv4Edit>(this, id::kIpGate)->Octets());
    printerlink::SubmitCommand(*buffer_, frame.data(), frame.size());
}

void MainWindow::OnDhcp(bool on) {
    const std::vector<uint8_t> frame = netcfg::DhcpFrame(on);
    printerlink::SubmitCommand(*buffer_, frame.data(), frame.size());
}

void MainWindow::OnMac() {
    std::array<std::string, 6> boxes;
    for (std::size_t i = 0; i < boxes.size(); ++i)
        boxes[i] = Find<QLineEdit>(this, kMacBoxIds[i])->text().toStdString();
    const netcfg::MacBoxesRead mac = netcfg::ReadMacBoxes(boxes);
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
    for (std::size_t i = 0; i < macProposal_.size(); ++i) {
        Find<QLineEdit>(this, kMacBoxIds[i])
            ->setText(QString::fromStdString(netcfg::FormatMacByte(macProposal_[i])));
    }
}

void MainWindow::OnConnectTest() {
    // The attempt runs off the UI thread (up to the connect time-out); the button stays off
    // until its answer has been shown, so one attempt runs at a time.
    auto* button = Find<QPushButton>(this, kConnectTestButton);
    button->setEnabled(false);
    if (connectTest_.joinable()) connectTest_.join();  // the last one is past its message
    const auto address = Find<platform::Ipv4Edit>(this, id::kPrinterIp)->Octets();
    const uint16_t port = config_.endpoints.tcpPort;
    const auto timeout = config_.endpoints.connectTimeout;
    connectTest_ = std::jthread([this, address, port, timeout] {
        const bool ok = netcfg::ConnectTest(address, port, timeout);
        messages_->ShowMessage(ok ? netcfg::kConnectOk : netcfg::kConnectFail);
        gate_.Run([this] { Find<QPushButton>(this, kConnectTestButton)->setEnabled(true); });
    });
}

}  // namespace setuptool
