#pragma once
// What a test's Brindel window takes from outside: the USB rig with its image folder, the watch
// thread's USB backend, a loopback peer that receives the discovery requests, and the messages
// and program exits, recorded.

#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

#include "tests/fakes/fake_usb.h"
#include "tests/fakes/recording_message_sink.h"
#include "tests/fakes/udp_peer.h"
#include "tests/updater/usb_rig.h"
#include "updater/updater_window.h"

namespace updatertest {

struct WindowParts {
    updater::UpdaterWindowConfig Config(bool watch) {
        using namespace std::chrono_literals;
        updater::UpdaterWindowConfig config;
        config.usb = usb.usb;
        config.watchUsb = watchUsb;
        config.replyPort = 0;
        config.workDir = usb.dir;
        config.messages = &messages;
        config.exitProgram = [this](int status) {
            std::lock_guard lock(mutex);
            exits.push_back(status);
        };
        config.probeInterval = 5ms;
        config.startWatch = watch;
        // Discovery requests go to a loopback peer, never to the segment.
        config.broadcastTo = netcfg::Ipv4Endpoint{0x7f000001u, udp.port()};
        return config;
    }
    std::vector<int> Exits() {
        std::lock_guard lock(mutex);
        return exits;
    }

    UsbRig usb;
    fakes::UdpPeer udp;
    std::shared_ptr<fakes::FakeUsbBackend> watchUsb = std::make_shared<fakes::FakeUsbBackend>();
    fakes::RecordingMessageSink messages;
    std::mutex mutex;
    std::vector<int> exits;  // guarded by mutex
};

}  // namespace updatertest
