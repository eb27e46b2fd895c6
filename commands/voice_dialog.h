#pragma once
// The voice and alarm dialog (dialog 139): volume steps, the alarm voice and the alarm interval,
// each button sending its frame. Built anew at each opening, in the language of that moment.

#include <QDialog>
#include <span>

#include "platform/qt/dialog_builder.h"

namespace printerlink {
class CommandBuffer;
}

namespace commands {

class VoiceDialog : public QDialog {
    Q_OBJECT
  public:
    VoiceDialog(printerlink::CommandBuffer& buffer, int languageFlag, QWidget* parent = nullptr);

  private:
    void Submit(const std::vector<uint8_t>& frame);
    int Position(int listId) const;

    printerlink::CommandBuffer& buffer_;
};

// The dialog's layout, in tab order.
std::span<const platform::ControlDef> VoiceDialogControls();

}  // namespace commands
