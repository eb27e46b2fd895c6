#include "platform/win32/system_text.h"

#include <windows.h>

namespace platform {

std::string SystemErrorText(unsigned long code) {
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, sizeof text, nullptr);
    std::string out(text, length);
    while (!out.empty() &&
           (out.back() == '\n' || out.back() == '\r' || out.back() == '.' || out.back() == ' '))
        out.pop_back();
    if (out.empty()) out = "system error " + std::to_string(code);
    return out;
}

}  // namespace platform
