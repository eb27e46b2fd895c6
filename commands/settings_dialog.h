#pragma once
// The printer settings dialog (dialog 129): one row per setting, each a label, a list (or the two
// Bluetooth name fields) and a button that sends the setting's frame. Built anew at each opening,
// so captions and lists follow the interface language of that moment.

#include <span>

#include "platform/captions.h"
#include "platform/dialog_host.h"

namespace printerlink {
class CommandBuffer;
}
namespace platform {
class MessageSink;
}

namespace commands {

class SettingsDialog final : public platform::DialogPresenter {
  public:
    SettingsDialog(printerlink::CommandBuffer& buffer, platform::MessageSink& messages,
                   int languageFlag);
    static platform::DialogSpec Layout();
    void Attach(platform::DialogHost& host) override;

  private:
    void OnRowButton(int buttonId);

    printerlink::CommandBuffer& buffer_;
    platform::MessageSink& messages_;
    int languageFlag_;
    platform::DialogHost* host_ = nullptr;
};

// The dialog's layout, in tab order.
std::span<const platform::ControlDef> SettingsDialogControls();
// Its captions in both languages, in the order they are applied; every command button reads
// "Confirm".
std::span<const platform::CaptionEntry> SettingsDialogCaptions();

}  // namespace commands
