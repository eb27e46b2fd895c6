#include <windows.h>
// After windows.h:
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>

#include "platform/console.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

UINT previousOutputPage = 0;

void RestoreOutputPage() {
    if (previousOutputPage != 0) SetConsoleOutputCP(previousOutputPage);
}

}  // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return std::vector<std::string>(argv + 1, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(Utf8FromWide(wide[i]));
    LocalFree(wide);
    return arguments;
}

bool StandardErrorIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void UseUtf8Console() {
    // The code page belongs to the console, which outlives the program: it is put back at exit.
    const UINT current = GetConsoleOutputCP();
    if (current == 0 || current == CP_UTF8 || previousOutputPage != 0) return;
    if (SetConsoleOutputCP(CP_UTF8)) {
        previousOutputPage = current;
        std::atexit(RestoreOutputPage);
    }
}

void HoldOwnConsoleWindow() {
    // The console's only process is this one: the window was made for it and goes with it. A
    // console input (not a file or a pipe) is a person at the keyboard.
    DWORD processes[2] = {};
    DWORD mode = 0;
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (GetConsoleProcessList(processes, 2) != 1 || !GetConsoleMode(input, &mode)) return;
    std::fputs("Press Enter to close this window.\n", stderr);
    wchar_t line[16];
    DWORD read = 0;
    ReadConsoleW(input, line, 16, &read, nullptr);
}

void BinaryStandardInput() {
    _setmode(_fileno(stdin), _O_BINARY);
}

}  // namespace platform
