#pragma once
// Tessary's About box (dialog 100): icon, program name and version, one more line, OK.

#include "shell/about_box.h"

namespace setuptool {

inline constexpr const char* kAboutTitle = "打印机机测试工具";
// The window menu's item that opens it.
inline constexpr const char* kAboutItem = "关于 Tessary(&A)...";

shell::AboutContent AboutContent();

}  // namespace setuptool
