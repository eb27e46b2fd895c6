#include "updater/program.h"

#include "updater/updater_window.h"

namespace updater {

int RunBrindel(const std::vector<std::string>& arguments, const shell::RunWindow& run) {
    const shell::ProgramNames names{"brindel", "Brindel"};
    shell::StartOptions options;
    if (const int status = shell::ParseStartOptions(names, arguments, options); status >= 0)
        return status;
    UpdaterWindowConfig config;
    config.replyPort = options.replyPort;
    if (const auto to =
            netcfg::Ipv4Endpoint::Parse(options.broadcastAddress, options.discoveryPort))
        config.broadcastTo = *to;
    UpdaterWindow window(std::move(config));
    // Only one copy runs: a second one ends at once without a window. Closing ends the program
    // at once, also during a network download (a USB operation keeps the window open).
    shell::RunMainWindow(names, options.replyPort, run, UpdaterWindow::Layout(), window,
                         [&] { return window.Initialise() != StartResult::ReplyPortTaken; });
}

}  // namespace updater
