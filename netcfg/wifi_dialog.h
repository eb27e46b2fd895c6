#pragma once
// The WiFi dialog (dialog 133): network name and password, a static address for the WiFi
// interface and a WiFi factory restore, each sent as one frame. Built anew at each opening.

#include <QDialog>
#include <span>

#include "netcfg/wifi_frames.h"
#include "platform/qt/dialog_builder.h"

namespace printerlink {
class CommandBuffer;
}
namespace platform {
class MessageSink;
}

namespace netcfg {

class WifiDialog : public QDialog {
    Q_OBJECT
  public:
    // `startAddress` is shown in the static-address field (see WifiStartAddress()).
    WifiDialog(printerlink::CommandBuffer& buffer, platform::MessageSink& messages,
               int languageFlag, const Ipv4& startAddress, QWidget* parent = nullptr);

    // The dialog's OK command sends the credentials and leaves the dialog open.
    void accept() override;

  private:
    void Send(const WifiFrame& frame);
    void OnSetting();
    void OnFactoryRestore();

    printerlink::CommandBuffer& buffer_;
    platform::MessageSink& messages_;
    int languageFlag_;
};

// The dialog's layout, in tab order.
std::span<const platform::ControlDef> WifiDialogControls();

}  // namespace netcfg
