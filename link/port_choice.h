#pragma once
// What the sender needs to know about the user's port choice, and where it reports back.
// The main window implements these with blocking calls executed on its UI thread; tests
// implement them directly.

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace printerlink {

// The four port radio buttons, tested in this order for every command; the first checked wins.
enum class PortKind { Com, Lpt, Usb, Net, None };

// A snapshot of the main window's port controls, read afresh at the start of every command.
struct PortParams {
    bool com = false;                    // radio 1101
    bool lpt = false;                    // radio 1000
    bool usb = false;                    // radio 1001
    bool net = false;                    // radio 1002
    std::string serialName;              // text of combo 1025, e.g. "/dev/ttyUSB0"
    std::string baudText;                // text of combo 1028, e.g. "9600"
    std::array<uint8_t, 4> printerIp{};  // fields of address control 1009, first octet first

    PortKind Chosen() const {
        if (com) return PortKind::Com;
        if (lpt) return PortKind::Lpt;
        if (usb) return PortKind::Usb;
        if (net) return PortKind::Net;
        return PortKind::None;
    }
};

// Reads the port controls. Called from the sender thread; may block until the UI thread answers.
class PortChoiceSource {
  public:
    virtual ~PortChoiceSource() = default;
    virtual PortParams ReadPortParams() = 0;
};

// Conditions the sender reports as they happen; the window words them in its language.
enum class LinkNotice {
    UsbRetrying,     // a USB piece wrote nothing: the printer is offline or out of paper; the
                     // command is kept and tried again
    SerialTimedOut,  // the serial port did not take the command in time (flow control held)
    NetStalled,      // the network printer stopped taking data for 10 s: the command is dropped
};

// Asks the printer on `port` (its TCP or serial port) its status after a command and shows what
// it reports; on the sender thread. `cancelled` turns true once the next command waits or the
// sender stops: the asking then ends at once.
using StatusAsker =
    std::function<void(const PortParams& port, const std::function<bool()>& cancelled)>;

// Where the sender and the serial-port probe report. Each function may be called from a worker
// thread; the real ones hand the call to the UI thread and wait for it.
struct SenderSinks {
    std::function<void(const std::string&)> setStatusText;  // status line 1031 (UTF-8 text)
    std::function<void(const std::string&)>
        showMessage;                         // modal message box, returns when dismissed
    std::function<void(int)> exitProgram;    // ends the program with this status
    std::function<void(LinkNotice)> notice;  // status line text for a condition
    // After a command over TCP or a serial port that failed (stalled, reset, timed out), before
    // its message, or that asked for it (AfterCommand::AskStatus); null: never asked.
    StatusAsker askStatus;
};

// Receives the serial-port list (combo 1025): reset, then one name per free port.
struct SerialListSink {
    std::function<void()> resetContent;
    std::function<void(const std::string&)> addString;
};

}  // namespace printerlink
