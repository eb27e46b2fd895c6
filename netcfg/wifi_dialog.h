#pragma once
// The WiFi dialog (dialog 133): network name and password, a static address for the WiFi
// interface and a WiFi factory restore, each sent as one frame. Built anew at each opening.

#include <span>

#include "netcfg/wifi_frames.h"
#include "platform/captions.h"
#include "platform/dialog_host.h"

namespace printerlink {
class CommandBuffer;
}
namespace platform {
class MessageSink;
}

namespace netcfg {

class WifiDialog final : public platform::DialogPresenter {
  public:
    // `startAddress` is shown in the static-address field (see WifiStartAddress()).
    WifiDialog(printerlink::CommandBuffer& buffer, platform::MessageSink& messages,
               int languageFlag, const Ipv4& startAddress);
    static platform::DialogSpec Layout();
    // The dialog's OK button (its default) sends the credentials and leaves the dialog open.
    void Attach(platform::DialogHost& host) override;

  private:
    void Send(const WifiFrame& frame);
    void OnSetting();

    printerlink::CommandBuffer& buffer_;
    platform::MessageSink& messages_;
    int languageFlag_;
    Ipv4 startAddress_;
    platform::DialogHost* host_ = nullptr;
};

// The dialog's layout, in tab order.
std::span<const platform::ControlDef> WifiDialogControls();
// Its captions in both languages, in the order they are applied; 2 is its Cancel button.
std::span<const platform::CaptionEntry> WifiDialogCaptions();

}  // namespace netcfg
