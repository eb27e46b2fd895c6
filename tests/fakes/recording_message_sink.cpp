#include "tests/fakes/recording_message_sink.h"

namespace fakes {

void RecordingMessageSink::ShowMessage(const std::string& utf8) {
    {
        std::lock_guard lock(mutex_);
        messages_.push_back(utf8);
    }
    changed_.notify_all();
}

void RecordingMessageSink::ShowStopMessage(const std::string& utf8) {
    {
        std::lock_guard lock(mutex_);
        stopMessages_.push_back(utf8);
    }
    ShowMessage(utf8);
}

std::vector<std::string> RecordingMessageSink::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<std::string> RecordingMessageSink::StopMessages() const {
    std::lock_guard lock(mutex_);
    return stopMessages_;
}

bool RecordingMessageSink::WaitForCount(std::size_t count,
                                        std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return messages_.size() >= count; });
}

}  // namespace fakes
