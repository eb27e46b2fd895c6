#include "tests/fakes/recording_sinks.h"

#include <algorithm>
#include <thread>

namespace fakes {

void FakePortSource::Set(const printerlink::PortParams& params) {
    std::lock_guard lock(mutex_);
    params_ = params;
}

printerlink::PortParams FakePortSource::ReadPortParams() {
    std::unique_lock lock(mutex_);
    ++reads_;
    if (holdNext_) {
        holdNext_ = false;
        holding_ = true;
        changed_.notify_all();
        changed_.wait_for(lock, std::chrono::seconds(5), [this] { return !holding_; });
        holding_ = false;
    }
    return params_;
}

int FakePortSource::Reads() const {
    std::lock_guard lock(mutex_);
    return reads_;
}

void FakePortSource::HoldNextRead() {
    std::lock_guard lock(mutex_);
    holdNext_ = true;
}

bool FakePortSource::WaitUntilHeld(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return holding_; });
}

void FakePortSource::Release() {
    {
        std::lock_guard lock(mutex_);
        holding_ = false;
        holdNext_ = false;
    }
    changed_.notify_all();
}

printerlink::PortParams NetParams() {
    printerlink::PortParams p;
    p.net = true;
    p.printerIp = {127, 0, 0, 1};
    return p;
}

printerlink::PortParams ComParams(const std::string& name, const std::string& baud) {
    printerlink::PortParams p;
    p.com = true;
    p.net = true;  // COM is tested first and wins
    p.serialName = name;
    p.baudText = baud;
    return p;
}

printerlink::PortParams UsbParams() {
    printerlink::PortParams p;
    p.usb = true;
    return p;
}

printerlink::PortParams LptParams() {
    printerlink::PortParams p;
    p.lpt = true;
    p.usb = true;
    return p;
}

printerlink::SenderSinks RecordingSinks::Sinks() {
    return {
        [this](const std::string& text) {
            std::lock_guard lock(mutex_);
            statuses_.push_back(text);
        },
        [this](const std::string& text) {
            std::lock_guard lock(mutex_);
            messages_.push_back(text);
            log_.push_back("message " + text);
        },
        [this](int code) {
            std::lock_guard lock(mutex_);
            exits_.push_back(code);
        },
        [this](printerlink::LinkNotice notice) {
            std::lock_guard lock(mutex_);
            notices_.push_back(notice);
        },
        [this](const printerlink::PortParams& port, const std::function<bool()>& cancelled) {
            const char* kind = port.Chosen() == printerlink::PortKind::Net   ? "net"
                               : port.Chosen() == printerlink::PortKind::Com ? "com"
                                                                             : "other";
            {
                std::lock_guard lock(mutex_);
                log_.push_back(std::string("ask ") + kind);
            }
            // A held ask lasts until the sender cancels it (5 s at most).
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            bool ended = !holdAsks_;
            while (!ended && std::chrono::steady_clock::now() < end) {
                ended = cancelled();
                if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            std::lock_guard lock(mutex_);
            log_.push_back(ended ? "asked" : "ask not cancelled");
        },
    };
}

void RecordingSinks::HoldAsks() {
    holdAsks_ = true;
}

std::vector<std::string> RecordingSinks::Log() const {
    std::lock_guard lock(mutex_);
    return log_;
}

std::vector<printerlink::LinkNotice> RecordingSinks::Notices() const {
    std::lock_guard lock(mutex_);
    return notices_;
}

std::vector<std::string> RecordingSinks::Statuses() const {
    std::lock_guard lock(mutex_);
    return statuses_;
}

std::vector<std::string> RecordingSinks::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<int> RecordingSinks::Exits() const {
    std::lock_guard lock(mutex_);
    return exits_;
}

std::size_t RecordingSinks::CountStatus(const std::string& text) const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count(statuses_.begin(), statuses_.end(), text));
}

std::size_t RecordingSinks::CountMessage(const std::string& text) const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count(messages_.begin(), messages_.end(), text));
}

printerlink::SerialListSink RecordingSerialList::Sink() {
    return {
        [this] {
            std::lock_guard lock(mutex_);
            events_.push_back("reset");
        },
        [this](const std::string& name) {
            std::lock_guard lock(mutex_);
            events_.push_back(name);
        },
    };
}

std::vector<std::string> RecordingSerialList::Events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

}  // namespace fakes
