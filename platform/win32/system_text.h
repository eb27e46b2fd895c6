#pragma once
// The system's own text for a Windows error code.

#include <string>

namespace platform {

// FormatMessage's text without its closing full stop and line end; "system error N" when the
// system has none.
std::string SystemErrorText(unsigned long code);

}  // namespace platform
