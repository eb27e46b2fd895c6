#pragma once
// A message sink that records every text instead of showing a box; thread-safe.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "platform/message_sink.h"

namespace fakes {

class RecordingMessageSink final : public platform::MessageSink {
  public:
    void ShowMessage(const std::string& utf8) override;
    // Recorded like any message, and once more among StopMessages().
    void ShowStopMessage(const std::string& utf8) override;
    std::vector<std::string> Messages() const;
    std::vector<std::string> StopMessages() const;
    // Waits until at least `count` messages arrived; false on time-out.
    bool WaitForCount(std::size_t count, std::chrono::milliseconds timeout) const;

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> messages_;
    std::vector<std::string> stopMessages_;
};

}  // namespace fakes
