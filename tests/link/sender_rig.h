#pragma once
// A sender thread wired to fakes: its own command buffer, a port choice the test sets, recording
// sinks, a scriptable USB backend, short pauses and time-outs.

#include <chrono>
#include <memory>
#include <numeric>
#include <vector>

#include "link/command_buffer.h"
#include "link/sender_thread.h"
#include "tests/fakes/fake_usb.h"
#include "tests/fakes/recording_sinks.h"
#include "tests/fakes/wait.h"

namespace linktest {

using namespace std::chrono_literals;

inline constexpr auto kWait = std::chrono::milliseconds(5000);  // upper bound of every wait

inline printerlink::LinkEndpoints FastEndpoints(uint16_t tcpPort = 9) {
    printerlink::LinkEndpoints e;
    e.tcpPort = tcpPort;
    e.lptPath = "/nonexistent/lp0";
    e.connectTimeout = 3000ms;
    e.retryPause = 10ms;
    e.usbPieceTimeout = 50ms;
    return e;
}

struct SenderRig {
    explicit SenderRig(printerlink::LinkEndpoints endpoints = FastEndpoints(),
                       printerlink::PortParams params = fakes::NetParams())
        : usb(std::make_shared<fakes::FakeUsbBackend>()) {
        source.Set(params);
        sender = std::make_unique<printerlink::SenderThread>(buffer, source, sinks.Sinks(), usb,
                                                             std::move(endpoints));
        sender->Start();
    }
    ~SenderRig() { sender->Stop(); }

    void Submit(const std::vector<uint8_t>& bytes,
                printerlink::AfterCommand after = printerlink::AfterCommand::Nothing) {
        printerlink::SubmitCommand(buffer, bytes.data(), bytes.size(), after);
    }
    bool WaitIdle() { return buffer.WaitIdle(kWait); }
    // Waits until the sender has read the port choice `count` more times.
    bool WaitReads(int count) {
        const int target = source.Reads() + count;
        return fakes::WaitUntil([&] { return source.Reads() >= target; }, kWait);
    }

    printerlink::CommandBuffer buffer;
    fakes::FakePortSource source;
    fakes::RecordingSinks sinks;
    std::shared_ptr<fakes::FakeUsbBackend> usb;
    std::unique_ptr<printerlink::SenderThread> sender;
};

// `length` bytes that differ from position to position and from command to command.
inline std::vector<uint8_t> Pattern(std::size_t length, uint8_t seed = 0) {
    std::vector<uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + seed);
    return bytes;
}

}  // namespace linktest
