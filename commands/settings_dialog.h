#pragma once
// The printer settings dialog (dialog 129): one row per setting, each a label, a list (or the two
// Bluetooth name fields) and a button that sends the setting's frame. Built anew at each opening,
// so captions and lists follow the interface language of that moment.

#include <QDialog>
#include <span>

#include "platform/qt/dialog_builder.h"

namespace printerlink {
class CommandBuffer;
}
namespace platform {
class MessageSink;
}

namespace commands {

class SettingsDialog : public QDialog {
    Q_OBJECT
  public:
    SettingsDialog(printerlink::CommandBuffer& buffer, platform::MessageSink& messages,
                   int languageFlag, QWidget* parent = nullptr);

  private:
    void OnRowButton(int buttonId);

    printerlink::CommandBuffer& buffer_;
    platform::MessageSink& messages_;
    int languageFlag_;
};

// The dialog's layout, in tab order.
std::span<const platform::ControlDef> SettingsDialogControls();

}  // namespace commands
