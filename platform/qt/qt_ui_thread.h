#pragma once
// The window's thread of a Qt program: calls are queued on the event loop of a context object's
// thread.

#include <functional>

#include "platform/ui_thread.h"

class QObject;

namespace platform {

class QtUiThread final : public UiThread {
  public:
    // `context` must outlive every Post (a gate closed before it goes makes sure of that); calls
    // still queued when it is destroyed are destroyed without running.
    explicit QtUiThread(QObject* context) : context_(context) {}
    bool IsCurrent() const override;
    bool Post(std::function<void()> call) const override;

  private:
    QObject* context_;
};

}  // namespace platform
