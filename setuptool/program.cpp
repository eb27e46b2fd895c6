#include "setuptool/program.h"

#include "setuptool/main_window.h"

namespace setuptool {

int RunTessary(const std::vector<std::string>& arguments, const shell::RunWindow& run) {
    const shell::ProgramNames names{"tessary", "Tessary"};
    shell::StartOptions options;
    if (const int status = shell::ParseStartOptions(names, arguments, options); status >= 0)
        return status;
    MainWindowConfig config;
    config.replyPort = options.replyPort;
    config.broadcastAddress = options.broadcastAddress;
    config.discoveryPort = options.discoveryPort;
    MainWindow window(std::move(config));
    // A second copy finds the reply port taken and ends without a window.
    shell::RunMainWindow(names, options.replyPort, run, MainWindow::Layout(), window,
                         [&] { return window.Initialise() != StartResult::ReplyPortTaken; });
}

}  // namespace setuptool
