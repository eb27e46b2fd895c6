#include <unistd.h>

#include "platform/console.h"

namespace platform {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

bool StandardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

void UseUtf8Console() {}

void HoldOwnConsoleWindow() {}

void BinaryStandardInput() {}

}  // namespace platform
