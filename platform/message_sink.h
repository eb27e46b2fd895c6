#pragma once
// Where a window's message boxes go: the programs show a modal box on the UI thread, tests record
// the texts.

#include <QPointer>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

class QWidget;

namespace platform {

class UiCallGate;

class MessageSink {
  public:
    virtual ~MessageSink() = default;
    // Shows `utf8` and returns when it has been dismissed. Callable from any thread.
    virtual void ShowMessage(const std::string& utf8) = 0;
};

// A modal QMessageBox with an OK button over `parent`, titled with the parent's title. Called
// from a worker it runs on the UI thread through `gate` and the worker waits; once the gate is
// closed the message is dropped.
class DialogMessageSink final : public MessageSink {
  public:
    DialogMessageSink(QWidget* parent, const UiCallGate& gate);
    void ShowMessage(const std::string& utf8) override;

  private:
    QPointer<QWidget> parent_;
    const UiCallGate& gate_;
};

// Records every text; thread-safe.
class RecordingMessageSink final : public MessageSink {
  public:
    void ShowMessage(const std::string& utf8) override;
    std::vector<std::string> Messages() const;
    // Waits until at least `count` messages arrived; false on time-out.
    bool WaitForCount(std::size_t count, std::chrono::milliseconds timeout) const;

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> messages_;
};

}  // namespace platform
