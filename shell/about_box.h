#pragma once
// The About box both programs open from their window menu: a program's control table whose Icon
// controls show the program icon, and an OK button (id 1, the default) that closes it.

#include <span>

#include "platform/dialog_host.h"

namespace shell {

struct AboutContent {
    const char* title;                               // caption, UTF-8
    std::span<const platform::ControlDef> controls;  // Icon controls show the program icon
    int width, height;                               // dialog units
    double pointSize;
    platform::DesignFont font;
};

platform::DialogSpec AboutSpec(const AboutContent& content);

// Its logic: OK closes it.
class AboutBox final : public platform::DialogPresenter {
  public:
    void Attach(platform::DialogHost& host) override;
};

// Opens the About box of `content` over `owner` and returns once it has closed.
void ShowAbout(platform::DialogHost& owner, const AboutContent& content);

}  // namespace shell
