#include "platform/ui_thread.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <condition_variable>
#include <mutex>

namespace platform {

// One mutex and condition variable serve every call: calls are rare and short.
namespace {
std::mutex gMutex;
std::condition_variable gChanged;

enum class Phase { Queued, Running, Done, Dropped };

struct Call {
    Phase phase = Phase::Queued;
    std::function<void()> fn;
};

// Owned only by the queued functor: when Qt destroys the functor without running it (its
// receiver was deleted), the waiting worker is released.
struct DropWhenDiscarded {
    explicit DropWhenDiscarded(std::shared_ptr<Call> c) : call(std::move(c)) {}
    DropWhenDiscarded(const DropWhenDiscarded&) = delete;
    DropWhenDiscarded& operator=(const DropWhenDiscarded&) = delete;
    std::shared_ptr<Call> call;
    ~DropWhenDiscarded() {
        std::lock_guard lock(gMutex);
        if (call->phase == Phase::Queued) call->phase = Phase::Dropped;
        gChanged.notify_all();
    }
};
}  // namespace

struct UiGateState {
    bool closed = false;  // guarded by gMutex
};

namespace {
bool IsClosed(const std::shared_ptr<UiGateState>& gate) {
    return gate && gate->closed;
}

bool Invoke(QObject* context, const std::shared_ptr<UiGateState>& gate, std::function<void()> fn) {
    if (context == nullptr) return false;
    if (QThread::currentThread() == context->thread()) {
        {
            std::lock_guard lock(gMutex);
            if (IsClosed(gate)) return false;
        }
        fn();
        return true;
    }

    auto call = std::make_shared<Call>();
    call->fn = std::move(fn);
    {
        std::lock_guard lock(gMutex);
        if (IsClosed(gate)) return false;
    }
    auto guard = std::make_shared<DropWhenDiscarded>(call);
    const bool posted = QMetaObject::invokeMethod(
        context,
        [call, guard, gate] {
            {
                std::lock_guard lock(gMutex);
                if (call->phase != Phase::Queued || IsClosed(gate)) {
                    if (call->phase == Phase::Queued) call->phase = Phase::Dropped;
                    gChanged.notify_all();
                    return;
                }
                call->phase = Phase::Running;
            }
            call->fn();
            {
                std::lock_guard lock(gMutex);
                call->phase = Phase::Done;
            }
            gChanged.notify_all();
        },
        Qt::QueuedConnection);
    guard.reset();  // from here only the queued functor keeps it
    std::unique_lock lock(gMutex);
    if (!posted && call->phase == Phase::Queued) call->phase = Phase::Dropped;
    gChanged.wait(lock, [&] {
        return call->phase == Phase::Done || call->phase == Phase::Dropped ||
               (call->phase == Phase::Queued && IsClosed(gate));
    });
    if (call->phase == Phase::Queued) call->phase = Phase::Dropped;  // gate closed
    return call->phase == Phase::Done;
}
}  // namespace

bool RunOnUiThread(QObject* context, std::function<void()> fn) {
    return Invoke(context, nullptr, std::move(fn));
}

UiCallGate::UiCallGate(QObject* context)
    : context_(context), state_(std::make_shared<UiGateState>()) {}

UiCallGate::~UiCallGate() {
    Close();
}

bool UiCallGate::Run(std::function<void()> fn) const {
    return Invoke(context_, state_, std::move(fn));
}

void UiCallGate::Close() {
    std::lock_guard lock(gMutex);
    state_->closed = true;
    gChanged.notify_all();
}

bool UiCallGate::IsClosed() const {
    std::lock_guard lock(gMutex);
    return state_->closed;
}

}  // namespace platform
