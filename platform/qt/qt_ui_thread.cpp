#include "platform/qt/qt_ui_thread.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

namespace platform {

bool QtUiThread::IsCurrent() const {
    return context_ != nullptr && QThread::currentThread() == context_->thread();
}

bool QtUiThread::Post(std::function<void()> call) const {
    if (context_ == nullptr) return false;
    // Qt destroys the queued functor, and `call` with it, when the context goes first.
    return QMetaObject::invokeMethod(
        context_, [call = std::move(call)] { call(); }, Qt::QueuedConnection);
}

}  // namespace platform
