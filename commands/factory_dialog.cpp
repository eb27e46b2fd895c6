#include "commands/factory_dialog.h"

#include <array>

#include "link/command_buffer.h"
#include "platform/clock.h"

namespace commands {
namespace {

using K = platform::ControlKind;
using platform::Notification;

constexpr int kWidth = 242;
constexpr int kHeight = 144;
constexpr int kOkId = 1;
constexpr int kCancelId = 2;

constexpr std::array<platform::ControlDef, 3> kControls{{
    {kFactorySoundAndLightButtonId, K::DefaultButton, "T55Q 出厂设置(声光)", 62, 70, 83, 14},
    {kCancelId, K::Button, "退出", 62, 100, 50, 14},
    {kOkId, K::DefaultButton, "T55Q 出厂设置(无声光)", 62, 43, 83, 14},
}};

}  // namespace

std::span<const platform::ControlDef> FactoryDialogControls() {
    return kControls;
}

FactoryDialog::FactoryDialog(printerlink::CommandBuffer& buffer, const platform::Clock& clock)
    : buffer_(buffer), clock_(clock) {}

platform::DialogSpec FactoryDialog::Layout() {
    return {
        .title = "Dialog",
        .controls = kControls,
        .width = kWidth,
        .height = kHeight,
        .font = {"System", 10},
    };
}

void FactoryDialog::Attach(platform::DialogHost& host) {
    host.On(kFactorySoundAndLightButtonId, Notification::Clicked,
            [this] { Send(FactorySet::SoundAndLight); });
    host.On(kOkId, Notification::Clicked, [this] { Send(FactorySet::Quiet); });
    host.On(kCancelId, Notification::Clicked, [&host] { host.Close(platform::kDialogCancel); });
}

void FactoryDialog::Send(FactorySet set) {
    const std::vector<uint8_t> frame = FactoryFrame(set, LocalDateOf(clock_.SecondsSinceEpoch()));
    printerlink::SubmitCommand(buffer_, frame.data(), frame.size());
}

}  // namespace commands
