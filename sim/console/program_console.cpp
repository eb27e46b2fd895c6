#include "sim/console/program_console.h"

#include <cstdio>
#include <random>

#include "sim/paper/files.h"

namespace sim::console {

ProgramConsole::~ProgramConsole() {
    Stop();
}

bool ProgramConsole::Prepare(SimOptions& options, std::string* error) {
    if (!options.http || !options.receipts.empty()) return true;
    std::error_code ec;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
    if (ec) {
        *error = "--http: no temporary folder for the receipts (" + ec.message() +
                 "); name one with --receipts DIR";
        return false;
    }
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char name[40];
        std::snprintf(name, sizeof name, "pos-printer-sim-%08x", static_cast<unsigned>(random()));
        const std::filesystem::path folder = temp / name;
        if (std::filesystem::create_directory(folder, ec) && !ec) {
            scratch_ = folder;
            options.receipts = paper::Utf8FromPath(folder);
            return true;
        }
    }
    *error = "--http: cannot make a temporary folder for the receipts in " +
             paper::Utf8FromPath(temp) + (ec ? " (" + ec.message() + ")" : "") +
             "; name one with --receipts DIR";
    return false;
}

bool ProgramConsole::Start(SimServer& server, const SimOptions& options,
                           const std::function<void(const std::string&)>& say, std::string* error) {
    if (!options.http || server.Receipts() == nullptr) return true;
    server_ = std::make_unique<ConsoleServer>(server, *server.Receipts(), options.printers);
    if (!server_->Start({options.http->address, options.http->port}, error)) {
        server_.reset();
        return false;
    }
    say(ConsoleLine(*server_));
    if (!scratch_.empty()) {
        say("receipts go to a temporary folder, " + paper::Utf8FromPath(scratch_) +
            ", removed at the end (--receipts DIR keeps them)");
    }
    return true;
}

void ProgramConsole::Stop() {
    if (server_) server_->Stop();
    server_.reset();
    if (!scratch_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(scratch_, ec);
        scratch_.clear();
    }
}

}  // namespace sim::console
