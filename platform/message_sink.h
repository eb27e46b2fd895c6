#pragma once
// Where a window's message boxes go: each toolkit backend shows a modal box on the window's
// thread, tests record the texts (tests/fakes/recording_message_sink.h).

#include <string>

namespace platform {

class MessageSink {
  public:
    virtual ~MessageSink() = default;
    // Shows `utf8` and returns when it has been dismissed. Callable from any thread.
    virtual void ShowMessage(const std::string& utf8) = 0;
    // The same with the stop icon (a file or device that cannot be used).
    virtual void ShowStopMessage(const std::string& utf8) { ShowMessage(utf8); }
};

}  // namespace platform
