#pragma once
// The factory-restore dialog (dialog 138): two buttons that each send one factory parameter set
// stamped with today's local date, and "退出". Its captions are the same in both languages.

#include <QDialog>
#include <span>

#include "commands/factory_frames.h"
#include "platform/qt/dialog_builder.h"

namespace printerlink {
class CommandBuffer;
}
namespace platform {
class Clock;
}

namespace commands {

inline constexpr int kFactorySoundAndLightButtonId = 1093;

class FactoryDialog : public QDialog {
    Q_OBJECT
  public:
    FactoryDialog(printerlink::CommandBuffer& buffer, const platform::Clock& clock,
                  QWidget* parent = nullptr);

    // The dialog's OK command sends the quiet set and leaves the dialog open.
    void accept() override;

  private:
    void Send(FactorySet set);

    printerlink::CommandBuffer& buffer_;
    const platform::Clock& clock_;
};

// The dialog's layout, in tab order.
std::span<const platform::ControlDef> FactoryDialogControls();

}  // namespace commands
