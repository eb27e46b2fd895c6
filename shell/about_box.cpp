#include "shell/about_box.h"

namespace shell {

namespace {
constexpr int kOkId = 1;
}  // namespace

void AboutBox::Attach(platform::DialogHost& host) {
    host.On(kOkId, platform::Notification::Clicked, [&host] { host.Close(platform::kDialogOk); });
}

platform::DialogSpec AboutSpec(const AboutContent& content) {
    return {
        .title = content.title,
        .controls = content.controls,
        .width = content.width,
        .height = content.height,
        .pointSize = content.pointSize,
        .font = content.font,
        .initialFocus = kOkId,
    };
}

void ShowAbout(platform::DialogHost& owner, const AboutContent& content) {
    AboutBox about;
    owner.RunModal(AboutSpec(content), about);
}

}  // namespace shell
