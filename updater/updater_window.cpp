#include "updater/updater_window.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include "netcfg/address_dialog.h"
#include "netcfg/address_set.h"
#include "netcfg/discovery_feed.h"
#include "platform/qt/dialog_builder.h"
#include "platform/qt/ipv4_edit.h"
#include "platform/qt/qt_dialog_host.h"
#include "shell/about_box.h"
#include "shell/start_up.h"
#include "updater/window_layout.h"

// Resources of a static library are registered by name from outside any namespace.
static void RegisterBrindelResources() {
    Q_INIT_RESOURCE(brindel);
}

namespace updater {

namespace {
template <class T>
T* Find(const QWidget* window, int controlId) {
    return platform::FindControlAs<T>(window, controlId);
}

QIcon BrindelIcon() {
    static const bool registered = (RegisterBrindelResources(), true);
    (void)registered;
    return platform::ProgramIcon(QStringLiteral("brindel"));
}

bool IsInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
            return true;
        default:
            return false;
    }
}
}  // namespace

UpdaterWindow::UpdaterWindow(UpdaterWindowConfig config, QWidget* parent)
    : QDialog(parent),
      config_(std::move(config)),
      ownMessages_(std::make_unique<platform::DialogMessageSink>(this, gate_)),
      messages_(config_.messages ? config_.messages : ownMessages_.get()),
      usbLink_(config_.usb ? config_.usb : printerlink::MakeLibusbBackend(),
               printerlink::UsbProgram::Brindel) {
    BuildWindow();
    ConnectHandlers();
}

UpdaterWindow::~UpdaterWindow() {
    // Release workers that wait on this window first, then end them.
    gate_.Close();
    if (watch_) watch_->Stop();
    if (worker_.joinable()) worker_.join();
    if (connectWorker_.joinable()) connectWorker_.join();
    if (feed_) feed_->Stop();
}

void UpdaterWindow::BuildWindow() {
    setWindowTitle(QString::fromUtf8(kWindowTitle));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowIcon(BrindelIcon());
    setFont(platform::DialogFont(kWindowPointSize));
    const auto units = platform::DialogUnits::FromFont(font());
    const auto controls = platform::BuildControls(this, WindowControls(), units);
    setFixedSize(units.ToPixels(0, 0, kWindowWidth, kWindowHeight).size());
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (WindowControls()[i].kind != platform::ControlKind::Icon) continue;
        if (auto* icon = qobject_cast<QLabel*>(controls[i]))
            icon->setPixmap(BrindelIcon().pixmap(32, 32));
    }
    // Enter presses the focused push button, else the default button "USB Updata" (the dialogs'
    // keyboard rule, installed with the controls).
    Find<QPushButton>(this, id::kUsbUpdata)->setFocus();

    // The list shows the table's order; its template asks for sorting, which the program never
    // had in effect since lines are inserted at their positions.
    Find<QListWidget>(this, id::kDeviceList)->setSortingEnabled(false);

    // The template's own entries.
    for (const char* entry : {"0", "1", "2"})
        platform::AddListString(Find<QComboBox>(this, id::kOptionList), QString::fromUtf8(entry));

    // Input is taken out before the controls see it while an operation runs, and F1 always.
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
    installEventFilter(this);
}

void UpdaterWindow::ConnectHandlers() {
    auto onClick = [this](int controlId, auto handler) {
        connect(Find<QPushButton>(this, controlId), &QPushButton::clicked, this, handler);
    };
    onClick(id::kExit, [this] { done(QDialog::Accepted); });
    onClick(id::kUsbUpdata, [this] {
        // Pressed once per run: it stays disabled whatever the outcome.
        Find<QPushButton>(this, id::kUsbUpdata)->setEnabled(false);
        RunUsbOperation([](UsbOperations& ops) { return ops.FirmwareDownload(); });
    });
    onClick(id::kCharacterData, [this] {
        RunUsbOperation([](UsbOperations& ops) { return ops.CharacterDataDownload(); });
    });
    onClick(id::kSettings, [this] {
        const int codePage = Find<QComboBox>(this, id::kCodePage)->currentIndex();
        const int paper = Find<QComboBox>(this, id::kPaperWidth)->currentIndex();
        const int density = Find<QComboBox>(this, id::kDensity)->currentIndex();
        RunUsbOperation(
            [=](UsbOperations& ops) { return ops.PrinterSettings(codePage, paper, density); });
    });
    onClick(id::kOption, [this] {
        const int option = Find<QComboBox>(this, id::kOptionList)->currentIndex();
        RunUsbOperation([=](UsbOperations& ops) { return ops.OptionCommand(option); });
    });
    onClick(id::kIdentityA, [this] {
        RunUsbOperation([](UsbOperations& ops) { return ops.IdentitySwitch(kIdentityA); });
    });
    onClick(id::kIdentityB, [this] {
        RunUsbOperation([](UsbOperations& ops) { return ops.IdentitySwitch(kIdentityB); });
    });
    onClick(id::kNetUpdata, [this] {
        Find<QPushButton>(this, id::kNetUpdata)->setEnabled(false);
        if (watch_) watch_->RequestNetworkDownload();
    });
    onClick(id::kRefresh, [this] { ClearDevices(); });
    onClick(id::kIpSet, [this] { OnIpSet(); });
    onClick(id::kConnectTest, [this] { OnConnectTest(); });
    scanTimer_.setInterval(config_.scanInterval);
    connect(&scanTimer_, &QTimer::timeout, this, &UpdaterWindow::OnScanTick);
}

StartResult UpdaterWindow::Initialise() {
    Find<QProgressBar>(this, id::kProgress)->setRange(0, 100);
    SetLabel(id::kStatus, kUsbNotConnect);

    auto* paper = Find<QComboBox>(this, id::kPaperWidth);
    paper->insertItem(0, QStringLiteral("80CM"));
    paper->insertItem(1, QStringLiteral("58CM"));
    paper->setCurrentIndex(0);
    auto* density = Find<QComboBox>(this, id::kDensity);
    for (int i = 0; i < 3; ++i) density->insertItem(i, QString::number(i + 1));
    density->setCurrentIndex(0);
    Find<platform::Ipv4Edit>(this, id::kTestAddress)->SetText(QStringLiteral("192.168.0.200"));

    // Only one copy of the program (of either program) may hold the reply port.
    replySocket_ = netcfg::UdpSocket::BindAny(config_.replyPort);
    if (!replySocket_.IsValid()) return StartResult::ReplyPortTaken;
    // The listener reads the reply socket for the window's whole life.
    feed_ =
        std::make_unique<netcfg::DiscoveryFeed>(uiThread_, replySocket_, netcfg::BrindelPolicy());
    feed_->Attach([this] { RebuildList(); });

    if (config_.startWatch) {
        UsbWatchSinks sinks;
        sinks.setStatus = [this](const std::string& text) {
            gate_.Run([this, &text] { SetLabel(id::kStatus, text); });
        };
        sinks.setDevicePath = [this](const std::string& path) {
            gate_.Run([this, &path] { SetLabel(id::kDevicePath, path); });
        };
        sinks.networkDownload = [this] { RunNetworkDownload(); };
        sinks.networkDownloadEnded = [this] {
            gate_.Run([this] { Find<QPushButton>(this, id::kNetUpdata)->setEnabled(true); });
        };
        auto usb = config_.watchUsb ? config_.watchUsb : printerlink::MakeLibusbBackend();
        watch_ = std::make_unique<UsbWatchThread>(std::move(usb), std::move(sinks),
                                                  config_.probeInterval);
        watch_->Start();
    }
    scanTimer_.start();

    FillLists();
    return StartResult::Ready;
}

void UpdaterWindow::FillLists() {
    auto* codePage = Find<QComboBox>(this, id::kCodePage);
    for (const char* entry : CodePageEntries())
        platform::AddListString(codePage, QString::fromUtf8(entry));
    Find<QComboBox>(this, id::kOptionList)->setCurrentIndex(0);
    // The dropped list is as wide as its longest entry and 20 pixels more.
    const QFontMetrics metrics(codePage->font());
    int width = codePage->view()->minimumWidth();
    for (int i = 0; i < codePage->count(); ++i)
        width = qMax(width, metrics.horizontalAdvance(codePage->itemText(i)) + 20);
    codePage->view()->setMinimumWidth(width);
}

template <class Sinks>
void UpdaterWindow::FillDownloadSinks(Sinks& sinks) {
    sinks.showMessage = [this](const std::string& text) { messages_->ShowMessage(text); };
    sinks.showFileError = [this](const std::string& text) { messages_->ShowStopMessage(text); };
    sinks.exitProgram = [this](int status) { ExitProgram(status); };
    sinks.setProgress = [this](int position) {
        gate_.Run(
            [this, position] { Find<QProgressBar>(this, id::kProgress)->setValue(position); });
    };
}

UsbOperationSinks UpdaterWindow::OperationSinks() {
    UsbOperationSinks sinks;
    FillDownloadSinks(sinks);
    sinks.setDevicePath = [this](const std::string& path) {
        gate_.Run([this, &path] { SetLabel(id::kDevicePath, path); });
    };
    return sinks;
}

void UpdaterWindow::RunUsbOperation(std::function<UsbOutcome(UsbOperations&)> operation) {
    if (busy_.exchange(true)) return;
    if (worker_.joinable()) worker_.join();  // the last one has ended: busy_ was false
    worker_ = std::thread([this, operation = std::move(operation)] {
        UsbOperations ops(usbLink_, OperationSinks(), config_.workDir);
        const UsbOutcome outcome = operation(ops);
        gate_.Run([this, outcome] {
            busy_ = false;
            emit UsbOperationFinished(outcome);
        });
    });
}

void UpdaterWindow::SetLabel(int controlId, const std::string& utf8) {
    Find<QLabel>(this, controlId)->setText(QString::fromStdString(utf8));
}

void UpdaterWindow::ExitProgram(int status) {
    shell::ExitProgram(config_.exitProgram, status);
}

QWidget* UpdaterWindow::Control(int controlId) const {
    return platform::FindControl(this, controlId);
}

void UpdaterWindow::ShowAbout() {
    shell::AboutBox presenter;
    platform::QtDialogHost about(
        shell::AboutSpec({kAboutTitle, AboutControls(), kAboutWidth, kAboutHeight, 9.0}), this);
    about.Attach(presenter);
    about.exec();
}

bool UpdaterWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1 &&
        !busy_) {
        ShowAbout();
        return true;
    }
    // While a USB operation runs the window takes no input at all, "exit" and Esc included; it
    // still paints, and the bar moves.
    if (!busy_ || !IsInput(event->type())) return QDialog::eventFilter(watched, event);
    return true;
}

void UpdaterWindow::contextMenuEvent(QContextMenuEvent* event) {
    if (busy_) return;
    platform::ShowWindowMenu(this, event->globalPos(), QString::fromUtf8(kAboutItem),
                             [this] { ShowAbout(); });
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
    auto* list = Find<QListWidget>(this, id::kDeviceList);
    list->clear();
    const std::vector<netcfg::DeviceEntry> devices = feed_->Table().Devices();
    for (std::size_t i = 0; i < devices.size(); ++i)
        list->insertItem(static_cast<int>(i), QString::fromStdString(netcfg::ListLine(devices[i])));
}

void UpdaterWindow::ClearDevices() {
    if (feed_) feed_->Table().Clear();
    Find<QListWidget>(this, id::kDeviceList)->clear();
}

int UpdaterWindow::SelectedLine() const {
    return platform::ListPosition(Find<QListWidget>(this, id::kDeviceList));
}

void UpdaterWindow::OnIpSet() {
    const std::optional<netcfg::DeviceEntry> entry =
        feed_ ? feed_->Table().Slot(SelectedLine()) : std::nullopt;
    if (!entry) {
        messages_->ShowMessage(kNoDeviceSelected);
        return;
    }
    {
        netcfg::AddressDialog presenter(*entry, config_.broadcastTo, *messages_);
        platform::QtDialogHost dialog(netcfg::AddressDialog::Spec(), this);
        dialog.Attach(presenter);
        dialog.exec();
    }
    // However the dialog ended, the printers are listed afresh from their next replies.
    ClearDevices();
}

void UpdaterWindow::OnConnectTest() {
    // Off the UI thread: a printer that does not answer takes up to the connect time-out.
    auto* button = Find<QPushButton>(this, id::kConnectTest);
    if (!button->isEnabled()) return;
    button->setEnabled(false);
    if (connectWorker_.joinable()) connectWorker_.join();
    const auto address = Find<platform::Ipv4Edit>(this, id::kTestAddress)->Octets();
    connectWorker_ = std::thread([this, address] {
        const bool ok =
            netcfg::ConnectTest(address, config_.printerPort, config_.netPacing.connect);
        if (!ok) messages_->ShowMessage(kConnectTestFailed);
        gate_.Run([this] { Find<QPushButton>(this, id::kConnectTest)->setEnabled(true); });
    });
}

void UpdaterWindow::RunNetworkDownload() {
    NetDownloadSinks sinks;
    FillDownloadSinks(sinks);
    sinks.selectedLine = [this] {
        int line = -1;
        gate_.Run([this, &line] { line = SelectedLine(); });
        return line;
    };
    sinks.clearList = [this] {
        gate_.Run([this] { Find<QListWidget>(this, id::kDeviceList)->clear(); });
    };
    NetworkDownload download(feed_->Table(), std::move(sinks), config_.workDir, config_.printerPort,
                             config_.netPacing);
    (void)download.Run();
}

void UpdaterWindow::done(int result) {
    // Closing now would leave the printer in download mode with part of an image: the close
    // box (and any other way to end the window) waits for the USB operation to end. A network
    // download runs on its own and ends with the program.
    if (busy_) return;
    scanTimer_.stop();
    if (feed_) feed_->Stop();  // before its socket closes
    replySocket_.Close();
    QDialog::done(result);
}

}  // namespace updater
