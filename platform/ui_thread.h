#pragma once
// Blocking calls from worker threads into the UI thread (the stand-in for SendMessage from a
// worker). The UI thread never waits for a worker; a worker waits until the UI thread has run its
// call, or until the call is dropped because its receiver went away or its gate was closed.

#include <functional>
#include <memory>

class QObject;

namespace platform {

struct UiGateState;

// Runs `fn` on the thread of `context` and waits until it has run. Called on that thread it runs
// `fn` directly. Returns true when `fn` ran; false when it was dropped (null context, or the
// context was destroyed before its event loop got to the call). A dropped `fn` never runs later.
bool RunOnUiThread(QObject* context, std::function<void()> fn);

// A gate in front of one window: Close() drops every queued call at once and makes later calls
// return false without running, so a window can go away while workers still call into it.
class UiCallGate {
  public:
    explicit UiCallGate(QObject* context);
    ~UiCallGate();  // closes
    UiCallGate(const UiCallGate&) = delete;
    UiCallGate& operator=(const UiCallGate&) = delete;

    // Like RunOnUiThread, and false once the gate is closed.
    bool Run(std::function<void()> fn) const;
    // Wakes every worker waiting on a call that has not started; a call already running on the
    // UI thread finishes first. Safe to call more than once.
    void Close();
    bool IsClosed() const;
    QObject* Context() const { return context_; }

  private:
    QObject* context_;
    std::shared_ptr<UiGateState> state_;
};

}  // namespace platform
