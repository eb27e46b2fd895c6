// pos-printer-sim: a virtual receipt printer that shows, one line each, every command it receives;
// in render mode, captured jobs drawn on its paper.

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/console.h"
#include "sim/console/program_console.h"
#include "sim/render.h"
#include "sim/sim_options.h"
#include "sim/sim_server.h"

namespace {

sim::SimServer* running = nullptr;

void OnSignal(int) {
    // A write to a pipe (Windows: a datagram from the handler's own thread): safe in a handler.
    if (running != nullptr) running->Stop();
}

}  // namespace

int main(int argc, char** argv) {
    platform::UseUtf8Console();
    const std::vector<std::string> arguments = platform::ProgramArguments(argc, argv);
    const sim::ParsedOptions parsed = sim::ParseSimOptions(arguments);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "pos-printer-sim: %s\n\n%s", parsed.error.c_str(),
                     sim::SimUsage().c_str());
        return 2;
    }
    if (parsed.help) {
        std::fputs(sim::SimUsage().c_str(), stdout);
        return 0;
    }
    const bool json = parsed.options.json;
    const auto print = [json](const sim::SimLine& line) {
        const std::string text = sim::FormatLine(line, json);
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);  // one line at a time, also into a pipe
    };
    if (parsed.render) {
        return sim::RenderFiles(parsed.options, parsed.files, print, [](const std::string& error) {
            std::fprintf(stderr, "pos-printer-sim: %s\n", error.c_str());
        });
    }
    sim::SimOptions options = parsed.options;
    sim::console::ProgramConsole console;  // --http
    std::string error;
    const auto fail = [&error] {
        std::fprintf(stderr, "pos-printer-sim: %s\n", error.c_str());
        platform::HoldOwnConsoleWindow();  // started from the Start menu: the line stays readable
        return 1;
    };
    if (!console.Prepare(options, &error)) return fail();
    sim::SimServer server(options, print);
    if (!server.Start(&error)) return fail();
    const auto say = [&print](const std::string& text) {
        print(sim::SimLine{0, "sim", 0, text, std::nullopt, std::nullopt, std::nullopt});
    };
    if (!console.Start(server, options, say, &error)) return fail();
    running = &server;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
    server.Run();
    running = nullptr;
    console.Stop();
    return 0;
}
