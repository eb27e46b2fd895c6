#pragma once
// Tessary's About box (dialog 100): icon, program name and version, one more line, OK.

#include <QIcon>

#include "shell/about_box.h"

namespace setuptool {

inline constexpr const char* kAboutTitle = "打印机机测试工具";

class AboutBox : public shell::AboutBox {
    Q_OBJECT
  public:
    explicit AboutBox(QWidget* parent = nullptr);
};

// The program icon in all its sizes (resource "tessary").
QIcon ProgramIcon();

}  // namespace setuptool
