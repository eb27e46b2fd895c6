#pragma once
// The voice and alarm dialog (dialog 139): volume steps, the alarm voice and the alarm interval,
// each button sending its frame. Built anew at each opening, in the language of that moment.

#include <cstdint>
#include <span>
#include <vector>

#include "platform/captions.h"
#include "platform/dialog_host.h"

namespace printerlink {
class CommandBuffer;
}

namespace commands {

class VoiceDialog final : public platform::DialogPresenter {
  public:
    VoiceDialog(printerlink::CommandBuffer& buffer, int languageFlag);
    static platform::DialogSpec Layout();
    void Attach(platform::DialogHost& host) override;

  private:
    void Submit(const std::vector<uint8_t>& frame);

    printerlink::CommandBuffer& buffer_;
    int languageFlag_;
    platform::DialogHost* host_ = nullptr;
};

// The dialog's layout, in tab order.
std::span<const platform::ControlDef> VoiceDialogControls();
// Its captions in both languages, in the order they are applied.
std::span<const platform::CaptionEntry> VoiceDialogCaptions();

}  // namespace commands
