// Discovery figures with the device list open on loopback sockets: the listener's CPU use while
// nothing arrives, then a flood of datagrams (mostly repeats and junk, a few distinct devices)
// into the reply port: datagrams per second the listener absorbs and the UI thread's longest
// stall between 1 ms timer ticks.
//
//   discovery_bench [datagrams=100000] [idle-seconds=3]
#include <pthread.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QListWidget>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <thread>
#include <vector>

#include "netcfg/device_list_dialog.h"
#include "netcfg/discovery_feed.h"
#include "platform/message_sink.h"
#include "platform/qt/qt_dialog_host.h"
#include "platform/qt/qt_ui_thread.h"
#include "tests/fakes/recording_message_sink.h"
#include "tests/fakes/udp_peer.h"

namespace {

using Bytes = std::vector<uint8_t>;

double ThreadCpuSeconds(pthread_t thread) {
    clockid_t clock{};
    timespec now{};
    if (pthread_getcpuclockid(thread, &clock) != 0 || clock_gettime(clock, &now) != 0) return -1;
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

Bytes Datagram(int i, int distinct) {
    Bytes reply(30, 0);
    reply[0] = 1;
    reply[14] = 10;
    reply[17] = static_cast<uint8_t>((i / 4) % distinct);  // each kind meets every device
    reply[18] = reply[19] = reply[20] = 0xFF;
    switch (i % 4) {
        case 1:
            reply[0] = 0x90;  // fails the acceptance test
            break;
        case 2:
            reply.assign(static_cast<std::size_t>(1 + i % 63), 0x00);  // junk
            break;
        case 3:
            reply.resize(40, 0xEE);  // over-long repeat
            break;
        default:
            break;
    }
    return reply;
}

// Runs the event loop for `ms` while recording the longest gap between 1 ms ticks.
struct StallMeter {
    StallMeter() {
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.nsecsElapsed();
            longest = std::max(longest, now - last);
            last = now;
        });
    }
    void Start() {
        clock.start();
        last = 0;
        longest = 0;
        timer.start(1);
    }
    double LongestMs() const { return static_cast<double>(longest) / 1e6; }

    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
};

// Runs the event loop (sleeping between events, as the program does) while `condition` holds.
void PumpWhile(const std::function<bool()>& condition) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (!condition()) loop.quit();
    });
    check.start(2);
    if (condition()) loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
    const int datagrams = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
    const int idleSeconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    constexpr int kDistinct = 12;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    netcfg::UdpSocket reply = netcfg::UdpSocket::BindAny(0);
    netcfg::UdpSocket broadcast = netcfg::UdpSocket::Broadcast();
    fakes::UdpPeer segment;  // receives the scan requests; sends the replies
    if (!reply.IsValid() || !broadcast.IsValid() || !segment.ok()) {
        std::fprintf(stderr, "discovery_bench: no loopback sockets\n");
        return 1;
    }
    QObject context;
    platform::QtUiThread thread(&context);
    netcfg::DiscoveryFeed feed(thread, reply, netcfg::TessaryPolicy());
    fakes::RecordingMessageSink messages;
    netcfg::DeviceListEnv env;
    env.feed = &feed;
    env.broadcastSocket = &broadcast;
    env.broadcastTo = {0x7F000001, segment.port()};
    env.messages = &messages;
    netcfg::DeviceListDialog presenter(env);
    platform::QtDialogHost dialog(netcfg::DeviceListDialog::Layout());
    dialog.Attach(presenter);
    dialog.show();
    const pthread_t listener = feed.Listener().NativeHandle();

    // Idle: the dialog scans once a second, nobody answers.
    QElapsedTimer idle;
    idle.start();
    const double idleCpuStart = ThreadCpuSeconds(listener);
    PumpWhile([&] { return idle.elapsed() < idleSeconds * 1000; });
    const double idleCpu = ThreadCpuSeconds(listener) - idleCpuStart;

    // Flood.
    StallMeter stall;
    std::atomic<bool> sent{false};
    const uint16_t port = reply.LocalPort();
    const uint64_t receivedBefore = feed.Listener().Received();
    const double floodCpuStart = ThreadCpuSeconds(listener);
    stall.Start();
    QElapsedTimer flood;
    flood.start();
    std::thread sender([&] {
        for (int i = 0; i < datagrams; ++i) {
            const Bytes datagram = Datagram(i, kDistinct);
            segment.SendTo(port, datagram);
        }
        sent.store(true);
    });
    PumpWhile([&] { return !sent.load(); });
    sender.join();
    const double sendSeconds = static_cast<double>(flood.nsecsElapsed()) / 1e9;
    // Let the listener drain what is still queued.
    uint64_t last = feed.Listener().Received();
    QElapsedTimer quiet;
    quiet.start();
    PumpWhile([&] {
        const uint64_t now = feed.Listener().Received();
        if (now != last) {
            last = now;
            quiet.restart();
        }
        return quiet.elapsed() < 200;
    });
    stall.timer.stop();
    const double floodSeconds =
        static_cast<double>(flood.nsecsElapsed() - quiet.nsecsElapsed()) / 1e9;
    const uint64_t absorbed = feed.Listener().Received() - receivedBefore;
    const double floodCpu = ThreadCpuSeconds(listener) - floodCpuStart;

    std::printf("listener idle CPU: %.3f ms over %d s (%.4f %%)\n", idleCpu * 1e3, idleSeconds,
                idleCpu * 100.0 / idleSeconds);
    std::printf("flood: %d datagrams sent in %.3f s; %llu read by the listener (%.1f %%)\n",
                datagrams, sendSeconds, static_cast<unsigned long long>(absorbed),
                100.0 * static_cast<double>(absorbed) / datagrams);
    std::printf("listener absorbs %.0f datagrams/s (listener CPU %.3f s)\n",
                static_cast<double>(absorbed) / std::max(floodSeconds, 1e-9), floodCpu);
    const auto* list = qobject_cast<QListWidget*>(dialog.Control(netcfg::listid::kList));
    std::printf("devices listed: %d of %d distinct (table %zu)\n", list ? list->count() : -1,
                kDistinct, feed.Table().Count());
    std::printf("UI thread longest stall during the flood: %.2f ms\n", stall.LongestMs());
    return 0;
}
