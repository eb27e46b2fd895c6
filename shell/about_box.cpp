#include "shell/about_box.h"

namespace shell {

namespace {
constexpr int kOkId = 1;
}  // namespace

void AboutBox::Attach(platform::DialogHost& host) {
    host.On(kOkId, platform::Notification::Clicked, [&host] { host.Close(platform::kDialogOk); });
}

platform::DialogSpec AboutSpec(const AboutContent& content) {
    platform::DialogSpec spec;
    spec.title = content.title;
    spec.controls = content.controls;
    spec.width = content.width;
    spec.height = content.height;
    spec.pointSize = content.pointSize;
    spec.initialFocus = kOkId;
    return spec;
}

void ShowAbout(platform::DialogHost& owner, const AboutContent& content) {
    AboutBox about;
    owner.RunModal(AboutSpec(content), about);
}

}  // namespace shell
