#pragma once
// Where a window's message boxes go: the programs show a modal box on the UI thread, tests record
// the texts (tests/fakes/recording_message_sink.h).

#include <QPointer>
#include <QString>
#include <string>

class QWidget;

namespace platform {

class UiCallGate;

class MessageSink {
  public:
    virtual ~MessageSink() = default;
    // Shows `utf8` and returns when it has been dismissed. Callable from any thread.
    virtual void ShowMessage(const std::string& utf8) = 0;
    // The same with the stop icon (a file or device that cannot be used).
    virtual void ShowStopMessage(const std::string& utf8) { ShowMessage(utf8); }
};

// A modal QMessageBox with an OK button over `parent`, titled with the parent's title. Called
// from a worker it runs on the UI thread through `gate` and the worker waits; once the gate is
// closed the message is dropped.
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
