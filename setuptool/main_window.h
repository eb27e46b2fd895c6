#pragma once
// Tessary's main window (dialog 102): port choice and parameters read by the sender thread, the
// address fields, the one-click printer commands, the test page with auto-send, the language
// button and the status line.

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "link/port_choice.h"
#include "link/sender_thread.h"
#include "link/serial_ports.h"
#include "netcfg/discovery_feed.h"
#include "netcfg/udp_socket.h"
#include "platform/clock.h"
#include "platform/dialog_host.h"
#include "status/status_query.h"

namespace platform {
class MessageSink;
}

namespace setuptool {

// Everything the window takes from outside; the defaults are the program's.
struct MainWindowConfig {
    printerlink::CommandBuffer* buffer = nullptr;      // null: the process-wide buffer
    printerlink::LinkEndpoints endpoints;              // TCP port, LPT path, time-outs
    std::shared_ptr<printerlink::UsbBackend> usb;      // null: libusb
    uint16_t replyPort = 8999;                         // 0: any free port (tests)
    std::string broadcastAddress = "255.255.255.255";  // where discovery and address packets go
    uint16_t discoveryPort = 9000;
    std::filesystem::path workDir;              // init_params.txt; empty: current dir
    const platform::Clock* clock = nullptr;     // null: the system clock
    platform::MessageSink* messages = nullptr;  // null: the window's message boxes
    std::function<void(int)> exitProgram;       // null: flush and _exit(status)
    std::optional<printerlink::SerialProbeConfig> serialProbe =
        printerlink::SerialProbeConfig{};  // nullopt: no serial-port list
    bool startSender = true;
};

enum class StartResult {
    Ready,                  // show the window
    ReplyPortTaken,         // another copy runs: end at once with status 0, no message
    BroadcastSocketFailed,  // "Error 0" was shown; the window opens without threads
};

// The window's logic. Its window must outlive it: the destructor closes the window's gate and
// ends the threads that call into it.
class MainWindow final : public platform::DialogPresenter, public printerlink::PortChoiceSource {
  public:
    static constexpr int kAutoSendTimer = 1;  // the window's timer 1

    explicit MainWindow(MainWindowConfig config = {});
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    static platform::DialogSpec Layout();
    // Fills the lists and binds the controls, the window menu's About item among them.
    void Attach(platform::DialogHost& host) override;
    // Closing: the listener lets go of the reply socket, which is then closed.
    void Closed(int result) override;

    // The start-up sequence: address fields, welcome text, sockets, port and MAC defaults, the
    // sender and serial-probe threads, the language file and the captions.
    StartResult Initialise();

    // Sender thread side: a snapshot of the port controls, read on the window's thread.
    printerlink::PortParams ReadPortParams() override;

    // Sets the status line 1031 (window's thread). The text is kept as given; the line shows it
    // without a trailing line end, inner line ends as blanks.
    void SetStatusText(const std::string& utf8);
    const std::string& StatusText() const { return statusText_; }
    // Adds what the printer reports (in the interface language) to the status line's text; an
    // empty report changes nothing (window's thread).
    void ShowPrinterReport(const std::string& report);

    int LanguageFlag() const { return languageFlag_; }
    int SendCount() const { return sendCount_; }
    const std::array<uint8_t, 6>& MacProposal() const { return macProposal_; }
    const std::filesystem::path& WorkDir() const { return workDir_; }
    int ReplySocket() const { return replySocket_.Fd(); }
    int BroadcastSocket() const { return broadcastSocket_.Fd(); }
    uint16_t ReplyPort() const { return replySocket_.LocalPort(); }
    const MainWindowConfig& Config() const { return config_; }
    printerlink::CommandBuffer& Buffer() const { return *buffer_; }

    // Sets every caption of the main-window table for the current language.
    void ApplyCaptions();
    // Opens the About box (modal).
    void ShowAbout();

  private:
    void BindControls();
    void OnPrintTest();
    void OnAutoSendTick();
    void OnAutoSendToggled();
    void OnLanguage();
    void SubmitTestPage();
    // The printer on `port` asked its status (sender thread).
    printerstatus::Reading AskStatus(const printerlink::PortParams& port,
                                     const std::function<bool()>& cancelled) const;
    void StartThreads();
    void ExitProgram(int status);

    // The modal dialogs of the settings, voice, factory-restore and WiFi buttons.
    void OpenSettingsDialog();
    void OpenVoiceDialog();
    void OpenFactoryDialog();
    void OpenWifiDialog();

    // Network buttons: device list, address and DHCP frames, MAC, connect test.
    void OnScanPrinter();
    void OnSetIp();
    void OnDhcp(bool on);
    void OnMac();
    void OnConnectTest();
    void ShowMacProposal();

    MainWindowConfig config_;
    printerlink::CommandBuffer* buffer_;
    const platform::Clock* clock_;
    platform::DialogHost* host_ = nullptr;
    platform::MessageSink* messages_ = nullptr;
    std::filesystem::path workDir_;

    int sendCount_ = 0;
    int languageFlag_ = 0;
    std::string statusText_;
    std::array<uint8_t, 6> macProposal_{};
    std::chrono::milliseconds autoSendInterval_{0};
    bool autoSendRunning_ = false;
    bool autoSendPaused_ = false;  // stopped by unchecking "auto send", resumes on checking

    netcfg::UdpSocket replySocket_;
    netcfg::UdpSocket broadcastSocket_;
    std::unique_ptr<printerlink::SenderThread> sender_;
    std::thread serialProbe_;

    // Destroyed first: the listener ends before the reply socket closes, the connect test before
    // the window goes.
    std::unique_ptr<netcfg::DiscoveryFeed> discovery_;  // made when the device list first opens
    std::jthread connectTest_;
};

// Interval of the auto-send timer for the text of edit 1030: a decimal number of milliseconds;
// values below the timer's 10 ms minimum (also text that is no number) are raised to it, and a
// negative number, which the timer takes as an unsigned count, runs at the longest interval.
int AutoSendIntervalMs(const std::string& text);

}  // namespace setuptool
