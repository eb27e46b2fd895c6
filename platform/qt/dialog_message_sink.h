#pragma once
// Message boxes of a Qt window: a modal QMessageBox with an OK button over the window, titled
// with the window's title.

#include <QPointer>
#include <string>

#include "platform/message_sink.h"

class QWidget;

namespace platform {

class UiCallGate;

// Called from a worker the box runs on the window's thread through `gate` and the worker waits;
// once the gate is closed the message is dropped.
class DialogMessageSink final : public MessageSink {
  public:
    DialogMessageSink(QWidget* parent, const UiCallGate& gate);
    void ShowMessage(const std::string& utf8) override;
    void ShowStopMessage(const std::string& utf8) override;

  private:
    void Show(const std::string& utf8, int icon);
    QPointer<QWidget> parent_;
    const UiCallGate& gate_;
};

}  // namespace platform
