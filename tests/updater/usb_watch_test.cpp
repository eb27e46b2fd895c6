// The watch thread on the scripted backend, with and without hotplug events: the status label
// follows the printer, probes never claim (a download on another link runs beside them), and a
// requested network download runs between probes.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "tests/fakes/wait.h"
#include "tests/updater/usb_rig.h"
#include "updater/usb_watch_thread.h"

namespace updatertest {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

struct WatchRecord {
    std::mutex mutex;
    Strings statuses, paths;
    int downloads = 0, ended = 0;
    updater::UsbWatchSinks Sinks() {
        return {
            [this](const std::string& s) { Add(statuses, s); },
            [this](const std::string& p) { Add(paths, p); },
            [this] { Bump(downloads); },
            [this] { Bump(ended); },
        };
    }
    void Bump(int& count) {
        std::lock_guard lock(mutex);
        ++count;
    }
    void Add(Strings& list, const std::string& text) {
        std::lock_guard lock(mutex);
        list.push_back(text);
    }
    Strings Statuses() {
        std::lock_guard lock(mutex);
        return statuses;
    }
};

class Watch : public testing::TestWithParam<bool> {};  // hotplug events on or off

TEST_P(Watch, LabelFollowsThePrinterAndProbesNeverClaim) {
    UsbRig rig;  // one backend: the watch thread and the download link share the device
    rig.usb->SetHotplug(GetParam());
    WatchRecord record;
    updater::UsbWatchThread watch(rig.usb, record.Sinks(), 5ms, 100ms);
    watch.Start();
    ASSERT_TRUE(fakes::WaitUntil([&] { return watch.Probes() >= 1; }, 5s));
    EXPECT_TRUE(record.Statuses().empty());  // no printer: the label keeps "USB not Connect"

    rig.AttachPrinter();
    ASSERT_TRUE(fakes::WaitUntil([&] { return record.Statuses().size() == 1; }, 5s));
    EXPECT_EQ(record.Statuses(), Strings{"USB Connect"});

    // A download on the window's link while the watcher keeps probing the same device.
    const std::vector<uint8_t> image(4096, 0x5A);
    rig.Put(updater::kImageFileName, image);
    EXPECT_EQ(rig.Operations().FirmwareDownload(), updater::UsbOutcome::Done);
    EXPECT_EQ(rig.usb->BytesOut(), ExpectedFirmwareStream(image, 0x5A * 4096u + 0xAA00));
    EXPECT_EQ(rig.usb->Claims().size(), 1u);  // the download's own claim only

    rig.usb->SetDevices({});
    ASSERT_TRUE(fakes::WaitUntil([&] { return record.Statuses().size() == 2; }, 5s));
    EXPECT_EQ(record.Statuses(), (Strings{"USB Connect", "USB not Connect"}));
    {
        std::lock_guard lock(record.mutex);
        EXPECT_EQ(record.paths, Strings{"usb:1-4 vid_1fc9&pid_2016"});  // the last path stays
    }

    watch.RequestNetworkDownload();
    ASSERT_TRUE(fakes::WaitUntil(
        [&] {
            std::lock_guard lock(record.mutex);
            return record.ended == 1;
        },
        5s));
    EXPECT_EQ(record.downloads, 1);
    EXPECT_FALSE(watch.NetworkDownloadRequested());
    watch.Stop();  // returns although the thread may be waiting for hotplug events
}

INSTANTIATE_TEST_SUITE_P(Hotplug, Watch, testing::Bool(),
                         [](const auto& info) { return info.param ? "Events" : "Probing"; });

}  // namespace
}  // namespace updatertest
