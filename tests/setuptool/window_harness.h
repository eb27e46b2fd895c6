#pragma once
// Tessary's main window on the Qt backend, wired to loopback peers like WindowRig.

#include <memory>
#include <vector>

#include "platform/qt/qt_dialog_host.h"
#include "tests/setuptool/window_rig.h"

namespace testsupport {

struct WindowHarness : WindowParts {
    using WindowParts::WindowParts;
    ~WindowHarness();  // the window's logic goes before its window

    // Builds, initialises and shows the window; false when the start-up did not reach Ready.
    bool Start(setuptool::MainWindowConfig config);
    bool Start() { return Start(Config()); }
    // Checks "NET" and points the printer address at 127.0.0.1.
    void UseNet();
    template <class T>
    T* Get(int id) const {
        return qobject_cast<T*>(host->Control(id));
    }

    std::unique_ptr<platform::QtDialogHost> host;
    std::unique_ptr<setuptool::MainWindow> window;
};

// Waits, running the event loop, until delivery `count` (1-based) to `peer` has arrived and its
// connection closed (10 s at most). Its bytes; empty when it did not come.
std::vector<uint8_t> Delivery(const fakes::TcpPrinterPeer& peer, std::size_t count);

}  // namespace testsupport
