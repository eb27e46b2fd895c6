#pragma once
// Blocking calls from worker threads onto a window's thread (the stand-in for SendMessage from a
// worker). The window's thread never waits for a worker; a worker waits until the window's thread
// has run its call, or until the call is dropped because the window went away or its gate was
// closed.

#include <functional>
#include <memory>

namespace platform {

// The thread that runs a window; each toolkit backend queues calls onto it in its own way.
class UiThread {
  public:
    virtual ~UiThread() = default;
    // True when called on the window's thread.
    virtual bool IsCurrent() const = 0;
    // Queues `call` to run once on the window's thread and returns at once. A call that can
    // never run (the window went away first) is destroyed without running. False when it could
    // not be queued at all.
    virtual bool Post(std::function<void()> call) const = 0;
};

struct UiGateState;

// A gate in front of one window: Run() executes a call on the window's thread and waits for it;
// Close() drops every queued call at once and makes later calls return false without running, so
// a window can go away while workers still call into it.
class UiCallGate {
  public:
    explicit UiCallGate(const UiThread& thread);
    ~UiCallGate();  // closes
    UiCallGate(const UiCallGate&) = delete;
    UiCallGate& operator=(const UiCallGate&) = delete;

    // Runs `fn` on the window's thread and waits until it has run; on that thread it runs `fn`
    // directly. True when `fn` ran; false when it was dropped (the gate is closed, or the call
    // could not reach the window's thread). A dropped `fn` never runs later.
    bool Run(std::function<void()> fn) const;
    // Wakes every worker waiting on a call that has not started; a call already running on the
    // window's thread finishes first. Safe to call more than once.
    void Close();
    bool IsClosed() const;
    const UiThread& Thread() const { return thread_; }

  private:
    const UiThread& thread_;
    std::shared_ptr<UiGateState> state_;
};

}  // namespace platform
