#include "commands/factory_dialog.h"

#include <QPushButton>
#include <array>

#include "link/command_buffer.h"
#include "platform/clock.h"

namespace commands {
namespace {

using K = platform::ControlKind;

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

FactoryDialog::FactoryDialog(printerlink::CommandBuffer& buffer, const platform::Clock& clock,
                             QWidget* parent)
    : QDialog(parent), buffer_(buffer), clock_(clock) {
    platform::BuildDialog(this, QStringLiteral("Dialog"), 10.0, kControls, kWidth, kHeight);
    connect(platform::FindControlAs<QPushButton>(this, kFactorySoundAndLightButtonId),
            &QPushButton::clicked, this, [this] { Send(FactorySet::SoundAndLight); });
    connect(platform::FindControlAs<QPushButton>(this, kOkId), &QPushButton::clicked, this,
            &FactoryDialog::accept);
    connect(platform::FindControlAs<QPushButton>(this, kCancelId), &QPushButton::clicked, this,
            &QDialog::reject);
}

void FactoryDialog::accept() {
    Send(FactorySet::Quiet);
}

void FactoryDialog::Send(FactorySet set) {
    const std::vector<uint8_t> frame = FactoryFrame(set, LocalDateOf(clock_.SecondsSinceEpoch()));
    printerlink::SubmitCommand(buffer_, frame.data(), frame.size());
}

}  // namespace commands
