#include "shell/start_up.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "platform/decimal.h"

namespace shell {

namespace {
// A decimal number up to 65535, blanks around it and a leading '+' allowed.
bool ParsePort(const std::string& text, uint16_t& port) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(*begin))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(end[-1]))) --end;
    if (begin < end && *begin == '+') ++begin;
    unsigned value = 0;
    const auto [at, error] = std::from_chars(begin, end, value);
    if (begin == end || error != std::errc() || at != end || value > 65535) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

// "a.b.c.d" or "a.b.c.d:port".
bool ParseBroadcast(const std::string& text, StartOptions& options) {
    const std::size_t colon = text.find(':');
    const std::string address = text.substr(0, colon);
    if (!platform::ParseDottedQuad(address)) return false;
    uint16_t port = options.discoveryPort;
    if (colon != std::string::npos && (!ParsePort(text.substr(colon + 1), port) || port == 0))
        return false;
    options.broadcastAddress = address;
    options.discoveryPort = port;
    return true;
}
}  // namespace

int ParseStartOptions(const ProgramNames& names, const std::vector<std::string>& arguments,
                      StartOptions& options) {
    const std::string usage =
        std::string("usage: ") + names.command + " [--reply-port=N] [--broadcast=ADDR[:PORT]]\n";
    // "--name=value" or "--name value"; false when `argument` is not that option.
    const auto value = [&arguments](std::size_t& i, const std::string& name, std::string& out) {
        const std::string& argument = arguments[i];
        if (argument.rfind(name + '=', 0) == 0) {
            out = argument.substr(name.size() + 1);
            return true;
        }
        if (argument == name && i + 1 < arguments.size()) {
            out = arguments[++i];
            return true;
        }
        return false;
    };
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        std::string text;
        if (value(i, "--reply-port", text)) {
            if (!ParsePort(text, options.replyPort)) {
                std::fprintf(stderr, "%s: bad port %s\n%s", names.command, text.c_str(),
                             usage.c_str());
                return 2;
            }
        } else if (value(i, "--broadcast", text)) {
            if (!ParseBroadcast(text, options)) {
                std::fprintf(stderr, "%s: bad address %s\n%s", names.command, text.c_str(),
                             usage.c_str());
                return 2;
            }
        } else if (argument == "--help" || argument == "-h") {
            std::fputs(usage.c_str(), stdout);
            return 0;
        } else {
            std::fprintf(stderr, "%s: unknown option %s\n%s", names.command, argument.c_str(),
                         usage.c_str());
            return 2;
        }
    }
    return -1;
}

void ReportReplyPortTaken(const ProgramNames& names, uint16_t port) {
    std::fprintf(stderr,
                 "%s: UDP port %u is in use (another copy of %s, or another program); not "
                 "starting\n",
                 names.command, static_cast<unsigned>(port), names.display);
}

void EndProcess(int status) {
    std::fflush(nullptr);
    std::_Exit(status);
}

void RunMainWindow(const ProgramNames& names, uint16_t replyPort, const RunWindow& run,
                   const platform::DialogSpec& layout, platform::DialogPresenter& presenter,
                   const std::function<bool()>& initialise) {
    run(layout, presenter, [&] {
        if (initialise()) return;
        ReportReplyPortTaken(names, replyPort);
        EndProcess(0);  // the window's threads are not waited for
    });
    // Closing ends the program at once, also with workers still busy (a network download).
    EndProcess(0);
}

void ExitProgram(const std::function<void(int)>& exitProgram, int status) {
    if (exitProgram) {
        exitProgram(status);
        return;
    }
    EndProcess(status);
}

}  // namespace shell
