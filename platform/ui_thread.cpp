#include "platform/ui_thread.h"

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

// Owned only by the queued call: when the backend destroys the call without running it (its
// window went away), the waiting worker is released.
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

UiCallGate::UiCallGate(const UiThread& thread)
    : thread_(thread), state_(std::make_shared<UiGateState>()) {}

UiCallGate::~UiCallGate() {
    Close();
}

bool UiCallGate::Run(std::function<void()> fn) const {
    if (thread_.IsCurrent()) {
        if (IsClosed()) return false;
        fn();
        return true;
    }

    auto call = std::make_shared<Call>();
    call->fn = std::move(fn);
    if (IsClosed()) return false;
    auto guard = std::make_shared<DropWhenDiscarded>(call);
    const bool posted = thread_.Post([call, guard, gate = state_] {
        {
            std::lock_guard lock(gMutex);
            if (call->phase != Phase::Queued || gate->closed) {
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
    });
    guard.reset();  // from here only the queued call keeps it
    std::unique_lock lock(gMutex);
    if (!posted && call->phase == Phase::Queued) call->phase = Phase::Dropped;
    gChanged.wait(lock, [&] {
        return call->phase == Phase::Done || call->phase == Phase::Dropped ||
               (call->phase == Phase::Queued && state_->closed);
    });
    if (call->phase == Phase::Queued) call->phase = Phase::Dropped;  // gate closed
    return call->phase == Phase::Done;
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
