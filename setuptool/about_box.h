#pragma once
// Tessary's About box (dialog 100): icon, program name and version, one more line, OK.

#include <QDialog>
#include <QIcon>

namespace setuptool {

inline constexpr const char* kAboutTitle = "打印机机测试工具";

class AboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit AboutBox(QWidget* parent = nullptr);
};

// The program icon in all its sizes (resource "tessary").
QIcon ProgramIcon();

}  // namespace setuptool
