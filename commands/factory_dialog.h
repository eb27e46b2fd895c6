#pragma once
// The factory-restore dialog (dialog 138): two buttons that each send one factory parameter set
// stamped with today's local date, and "退出". Its captions are the same in both languages.

#include <span>

#include "commands/factory_frames.h"
#include "platform/dialog_host.h"

namespace printerlink {
class CommandBuffer;
}
namespace platform {
class Clock;
}

namespace commands {

inline constexpr int kFactorySoundAndLightButtonId = 1093;

class FactoryDialog final : public platform::DialogPresenter {
  public:
    FactoryDialog(printerlink::CommandBuffer& buffer, const platform::Clock& clock);
    static platform::DialogSpec Layout();
    // The dialog's OK button (its default) sends the quiet set and leaves the dialog open.
    void Attach(platform::DialogHost& host) override;

  private:
    void Send(FactorySet set);

    printerlink::CommandBuffer& buffer_;
    const platform::Clock& clock_;
};

// The dialog's layout, in tab order.
std::span<const platform::ControlDef> FactoryDialogControls();

}  // namespace commands
