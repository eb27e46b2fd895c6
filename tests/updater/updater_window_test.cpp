// Brindel's window's logic on a window without a toolkit: the start-up state, USB operations on a
// worker while the window is busy (no input, no closing), the watch thread's labels, the hidden
// service buttons' frames, the network side against loopback peers (discovery list, network
// download, address dialog, connect test), and the single-copy rule.
#include "updater/updater_window.h"

#include <gtest/gtest.h>

#include <functional>

#include "netcfg/address_dialog.h"
#include "netcfg/udp_socket.h"
#include "tests/fakes/fake_dialog_host.h"
#include "tests/fakes/fake_usb.h"
#include "tests/fakes/tcp_peer.h"
#include "tests/fakes/udp_peer.h"
#include "tests/fakes/wait.h"
#include "tests/updater/usb_rig.h"
#include "tests/updater/window_parts.h"
#include "updater/window_layout.h"

namespace updatertest {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Strings = std::vector<std::string>;
using updater::UpdaterWindow;
namespace id = updater::id;

struct BrindelRig : WindowParts {
    explicit BrindelRig(bool watch = true,
                        const std::function<void(updater::UpdaterWindowConfig&)>& tweak = {}) {
        updater::UpdaterWindowConfig config = Config(watch);
        if (tweak) tweak(config);
        window = std::make_unique<UpdaterWindow>(std::move(config));
        host.Attach(*window);
    }
    ~BrindelRig() { window.reset(); }

    bool Start() { return window->Initialise() == updater::StartResult::Ready; }
    bool Pump(const std::function<bool()>& done,
              std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        return host.Thread().PumpUntil(done, timeout);
    }
    Strings Lines() const { return host.Items(id::kDeviceList); }

    fakes::FakeDialogHost host{UpdaterWindow::Layout()};
    std::unique_ptr<UpdaterWindow> window;
};

TEST(UpdaterWindow, StartUpState) {
    BrindelRig rig(false);
    ASSERT_TRUE(rig.Start());
    const fakes::FakeDialogHost& h = rig.host;
    EXPECT_STREQ(h.Layout().title, "Ledvane");
    EXPECT_STREQ(h.Layout().icon, "brindel");
    EXPECT_EQ(h.Layout().initialFocus, id::kUsbUpdata);
    EXPECT_EQ(h.AboutItem(), "关于 Brindel(&A)...");
    EXPECT_EQ(h.Text(id::kStatus), "USB not Connect");
    EXPECT_EQ(h.Text(id::kDevicePath), "");
    EXPECT_EQ(h.Progress(id::kProgress), 0);
    EXPECT_TRUE(rig.Lines().empty());
    EXPECT_EQ(h.Items(id::kCodePage).size(), 25u);
    EXPECT_EQ(h.Text(id::kTestAddress), "192.168.0.200");
    for (const auto& [list, entries] :
         {std::pair<int, Strings>{id::kPaperWidth, {"80CM", "58CM"}},
          std::pair<int, Strings>{id::kDensity, {"1", "2", "3"}},
          std::pair<int, Strings>{id::kOptionList, {"0", "1", "2"}}}) {
        EXPECT_EQ(h.Items(list), entries) << list;
        EXPECT_EQ(h.Position(list), 0) << list;
    }
    EXPECT_TRUE(h.TimerRunning(UpdaterWindow::kScanTimer));
    EXPECT_EQ(h.TimerPeriod(UpdaterWindow::kScanTimer), 2000ms);
    EXPECT_TRUE(h.Enabled(id::kUsbUpdata));
    EXPECT_TRUE(h.UnknownIds().empty());
}

TEST(UpdaterWindow, UsbDownloadRunsOffTheWindowThreadOncePerRun) {
    BrindelRig rig(false);
    rig.usb.AttachPrinter();
    const std::vector<uint8_t> image(70000, 0x01);
    rig.usb.Put(updater::kImageFileName, image);
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(rig.host.Click(id::kUsbUpdata));
    EXPECT_TRUE(rig.window->Busy());
    EXPECT_TRUE(rig.host.Busy());
    EXPECT_FALSE(rig.host.Enabled(id::kUsbUpdata));
    ASSERT_TRUE(rig.Pump([&] { return rig.window->OperationsFinished() == 1; }, 20s));
    EXPECT_EQ(rig.usb.usb->BytesOut(), ExpectedFirmwareStream(image, 70000u + 0xAA00));
    EXPECT_EQ(rig.messages.Messages(), Strings{updater::kFirmwareDone});
    EXPECT_EQ(rig.host.Progress(id::kProgress), 100);
    EXPECT_EQ(rig.host.Text(id::kDevicePath), "usb:1-4 vid_1fc9&pid_2016");
    EXPECT_FALSE(rig.window->Busy());
    EXPECT_FALSE(rig.host.Busy());
    EXPECT_FALSE(rig.host.Click(id::kUsbUpdata));  // pressed once per run

    rig.host.Click(id::kCharacterData);  // no gb2312 here
    ASSERT_TRUE(rig.Pump([&] { return rig.window->OperationsFinished() == 2; }));
    EXPECT_EQ(rig.messages.StopMessages(), Strings{"没有找到 gb2312。"});
}

// The hidden service buttons: each sends its frame, built from its lists' positions, to the
// USB printer.
TEST(UpdaterWindow, HiddenServiceButtonsSendTheirFrames) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, int>> choices;  // list, position
        int button;
        Bytes sent;
    };
    const Case cases[] = {
        // No code page is selected at start-up.
        {"Set at start-up", {}, id::kSettings, {0x1F, 0x1B, 0x05, 0xFF, 0x00, 0x00, 0x00}},
        {"Set China, 58CM, 3",
         {{id::kCodePage, 24}, {id::kPaperWidth, 1}, {id::kDensity, 2}},
         id::kSettings,
         {0x1F, 0x1B, 0x05, 0xFF, 0x01, 0x02, 0x00}},
        {"Option 2",
         {{id::kOptionList, 2}},
         id::kOption,
         {0x1F, 0x1B, 0x01, 0, 0, 0, 0x02, 0, 0, 0, 0}},
        {"A-USB", {}, id::kIdentityA, {0x1F, 0x1B, 0x06, 0xC9, 0x1F, 0x16, 0x20, 0x00}},
        {"B-USB", {}, id::kIdentityB, {0x1F, 0x1B, 0x06, 0x71, 0x04, 0x55, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BrindelRig rig(false);
        rig.usb.AttachPrinter();
        ASSERT_TRUE(rig.Start());
        for (const auto& [list, position] : c.choices) ASSERT_TRUE(rig.host.Choose(list, position));
        ASSERT_TRUE(rig.host.Click(c.button));
        ASSERT_TRUE(rig.Pump([&] { return rig.window->OperationsFinished() == 1; }));
        EXPECT_EQ(rig.usb.usb->BytesOut(), c.sent);
    }
}

// A USB download the fake backend holds in the middle: the window takes no input and cannot be
// closed while the bar keeps following the bytes; the download completes with every byte, and
// then the window closes as usual.
TEST(UpdaterWindow, NoClosingDuringAUsbOperation) {
    BrindelRig rig(false);
    rig.usb.AttachPrinter();
    const std::vector<uint8_t> image(20000, 0x33);
    rig.usb.Put(updater::kImageFileName, image);
    rig.usb.usb->HoldWritesAfter(20);
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(rig.host.Click(id::kUsbUpdata));
    ASSERT_TRUE(rig.Pump([&] { return rig.usb.usb->HeldWrites() == 1; }));
    ASSERT_TRUE(rig.window->Busy());
    ASSERT_TRUE(rig.Pump([&] { return rig.host.Progress(id::kProgress) > 0; }));

    EXPECT_FALSE(rig.host.CloseBox());
    EXPECT_FALSE(rig.host.Click(id::kExit));
    EXPECT_FALSE(rig.host.Click(id::kNetUpdata));
    EXPECT_FALSE(rig.host.ChooseAbout());
    rig.host.Close(platform::kDialogOk);  // ended by other means
    EXPECT_FALSE(rig.host.Ended());
    EXPECT_TRUE(rig.host.Enabled(id::kNetUpdata));
    EXPECT_TRUE(rig.host.ModalTitles().empty());

    rig.usb.usb->ReleaseWrites();
    ASSERT_TRUE(rig.Pump([&] { return rig.window->OperationsFinished() == 1; }, 20s));
    EXPECT_EQ(rig.usb.usb->BytesOut(), ExpectedFirmwareStream(image, 20000u * 0x33 + 0xAA00));
    EXPECT_EQ(rig.messages.Messages(), Strings{updater::kFirmwareDone});
    EXPECT_EQ(rig.host.Progress(id::kProgress), 100);
    EXPECT_TRUE(rig.Exits().empty());
    EXPECT_TRUE(rig.host.CloseBox());
    EXPECT_EQ(rig.host.Result(), platform::kDialogCancel);
}

TEST(UpdaterWindow, ExitEndsTheWindowAsConfirmed) {
    BrindelRig rig(false);
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(rig.host.Click(id::kExit));
    EXPECT_TRUE(rig.host.Ended());
    EXPECT_EQ(rig.host.Result(), platform::kDialogOk);
    EXPECT_TRUE(rig.host.Enabled(id::kUsbUpdata));  // no download started
}

TEST(UpdaterWindow, WatchThreadLabelsFollowThePrinter) {
    BrindelRig rig;
    rig.watchUsb->SetHotplug(true);
    ASSERT_TRUE(rig.Start());
    rig.watchUsb->SetDevices({{fakes::UsbDevice(0x0471, 0x0055, "3-1")}});
    ASSERT_TRUE(rig.Pump([&] { return rig.host.Text(id::kStatus) == "USB Connect"; }, 5s));
    EXPECT_EQ(rig.host.Text(id::kDevicePath), "usb:3-1 vid_0471&pid_0055");
    rig.watchUsb->SetDevices({});
    ASSERT_TRUE(rig.Pump([&] { return rig.host.Text(id::kStatus) == "USB not Connect"; }, 5s));
    EXPECT_EQ(rig.host.Text(id::kDevicePath), "usb:3-1 vid_0471&pid_0055");
    EXPECT_TRUE(rig.watchUsb->Claims().empty());
}

TEST(UpdaterWindow, TheWindowMenuOpensTheAboutBox) {
    BrindelRig rig(false);
    ASSERT_TRUE(rig.Start());
    rig.host.OnModal([](fakes::FakeDialogHost& about) {
        EXPECT_EQ(about.Text(1), "确定");
        EXPECT_EQ(about.Layout().controls.size(), updater::AboutControls().size());
        about.Click(1);
        EXPECT_EQ(about.Result(), platform::kDialogOk);
    });
    ASSERT_TRUE(rig.host.ChooseAbout());
    EXPECT_EQ(rig.host.ModalTitles(), Strings{"关于 Brindel"});
}

TEST(UpdaterWindow, SecondCopyOnATakenPortEndsSilently) {
    const netcfg::UdpSocket held = netcfg::UdpSocket::BindAny(0);
    ASSERT_TRUE(held.IsValid());
    BrindelRig rig(
        false, [&](updater::UpdaterWindowConfig& config) { config.replyPort = held.LocalPort(); });
    EXPECT_FALSE(rig.Start());
    EXPECT_TRUE(rig.messages.Messages().empty());
}

// The network side: printers listed from a loopback peer's replies, the download to one of them
// over loopback TCP, the hidden address dialog and connect test.
struct NetRig {
    NetRig()
        : rig(true, [this](updater::UpdaterWindowConfig& config) {
              config.printerPort = printer.port();
              config.netPacing.afterSend = config.netPacing.afterFirstHalf = 0ms;
              config.netPacing.afterSecondHalf = config.netPacing.afterChecksum = 0ms;
              config.netPacing.before = config.netPacing.settle = 0ms;
          }) {}

    // A printer at 127.0.0.1 replies to the window's reply port; waits for its line.
    bool Reply(uint8_t last) {
        std::vector<uint8_t> reply(24, 0x00);
        reply[0] = 0x01, reply[1] = 0x02;
        reply[2] = 0x00, reply[3] = 0x11, reply[4] = 0x22, reply[5] = 0x33, reply[6] = 0x44;
        reply[7] = last;
        reply[8] = 0x01, reply[9] = 0x02;
        reply[14] = 127, reply[17] = 1;
        reply[18] = reply[19] = 0xFF;
        const std::size_t before = rig.Lines().size();
        return rig.udp.SendTo(rig.window->ReplyPort(), reply) &&
               rig.Pump([&] { return rig.Lines().size() == before + 1; }, 5s);
    }
    void Tick() { rig.host.Tick(UpdaterWindow::kScanTimer); }

    fakes::TcpPrinterPeer printer;
    BrindelRig rig;
};

TEST(UpdaterNetwork, ListsRepliesInTableOrderAndDownloadsToTheSelectedPrinter) {
    NetRig net;
    const std::vector<uint8_t> image(1000, 0x5A);
    net.rig.usb.Put(updater::kImageFileName, image);
    ASSERT_TRUE(net.rig.Start());
    // Each tick sends a request to the injected endpoint: "X" and zeros, 24 bytes.
    net.Tick();
    net.Tick();
    ASSERT_TRUE(net.rig.Pump([&] { return net.rig.udp.Datagrams().size() == 2; }, 5s));
    EXPECT_EQ(net.rig.window->RequestsSent(), 2);
    std::vector<uint8_t> request(24, 0x00);
    request[0] = 0x58;
    EXPECT_EQ(net.rig.udp.Datagrams().front().bytes, request);
    // Table order, not sorted: 0x99 before 0x05.
    ASSERT_TRUE(net.Reply(0x99));
    ASSERT_TRUE(net.Reply(0x05));
    EXPECT_EQ(net.rig.Lines(), (Strings{"(1.2)127.0.0.1.", "(1.2)127.0.0.1."}));
    EXPECT_EQ(net.rig.window->Devices()->Slot(0)->Byte(7), 0x99);

    ASSERT_TRUE(net.rig.host.Choose(id::kDeviceList, 1));
    ASSERT_TRUE(net.rig.host.Click(id::kNetUpdata));
    EXPECT_FALSE(net.rig.host.Enabled(id::kNetUpdata));
    // The download waits for the window's thread to read the selection; the timer ticks
    // meanwhile, but no request leaves while the download is asked for or runs.
    ASSERT_TRUE(fakes::WaitUntil([&] { return net.rig.host.Thread().Queued() > 0; }, 5s));
    net.Tick();
    net.Tick();
    EXPECT_EQ(net.rig.window->RequestsSent(), 2);
    ASSERT_TRUE(net.rig.Pump([&] { return net.rig.messages.Messages().size() == 1; }));
    EXPECT_EQ(net.rig.messages.Messages(), Strings{updater::kNetDownloadDone});
    ASSERT_TRUE(net.printer.WaitForClosed(1, 5s));
    EXPECT_EQ(net.printer.Connections()[0].bytes,
              ExpectedFirmwareStream(image, 1000u * 0x5A + 0xAA00));
    ASSERT_TRUE(net.rig.Pump([&] { return net.rig.host.Enabled(id::kNetUpdata); }));
    EXPECT_EQ(net.rig.host.Progress(id::kProgress), 100);
    EXPECT_TRUE(net.rig.Lines().empty());
    EXPECT_EQ(net.rig.window->Devices()->Count(), 0u);
    // Scanning resumes, and the printer comes back with its next reply.
    net.Tick();
    EXPECT_EQ(net.rig.window->RequestsSent(), 3);
    ASSERT_TRUE(net.Reply(0x05));
}

TEST(UpdaterNetwork, NoSelectionAndClosedPortSendNothing) {
    NetRig net;
    net.rig.usb.Put(updater::kImageFileName, std::vector<uint8_t>(10, 0x01));
    ASSERT_TRUE(net.rig.Start());
    ASSERT_TRUE(net.rig.host.Click(id::kNetUpdata));
    ASSERT_TRUE(net.rig.Pump([&] { return net.rig.messages.Messages().size() == 1; }));
    EXPECT_EQ(net.rig.messages.Messages().back(), updater::kSelectPrinter);
    ASSERT_TRUE(net.rig.Pump([&] { return net.rig.host.Enabled(id::kNetUpdata); }));
    // The connect test on the hidden field: a closed port says so, an open one says nothing.
    net.rig.host.SetOctets(id::kTestAddress, {127, 0, 0, 1});
    ASSERT_TRUE(net.rig.host.Click(id::kConnectTest));
    EXPECT_FALSE(net.rig.host.Click(id::kConnectTest));  // one attempt at a time
    ASSERT_TRUE(net.rig.Pump([&] { return net.rig.host.Enabled(id::kConnectTest); }));
    EXPECT_EQ(net.rig.messages.Messages().size(), 1u);  // port open: nothing shown
    EXPECT_TRUE(net.printer.WaitForConnections(1, 5s));
    EXPECT_TRUE(net.printer.Connections()[0].bytes.empty());
    net.rig.host.SetOctets(id::kTestAddress, {127, 0, 0, 2});  // nothing listens there
    ASSERT_TRUE(net.rig.host.Click(id::kConnectTest));
    ASSERT_TRUE(net.rig.Pump([&] { return net.rig.messages.Messages().size() == 2; }));
    EXPECT_EQ(net.rig.messages.Messages().back(), updater::kConnectTestFailed);
}

TEST(UpdaterNetwork, IpSetSendsTheAddressPacketAndClearsTheList) {
    namespace aid = netcfg::addressid;
    NetRig net;
    ASSERT_TRUE(net.rig.Start());
    net.rig.host.Click(id::kIpSet);
    EXPECT_EQ(net.rig.messages.Messages(), Strings{updater::kNoDeviceSelected});
    EXPECT_TRUE(net.rig.host.ModalTitles().empty());
    ASSERT_TRUE(net.Reply(0x55));
    ASSERT_TRUE(net.rig.host.Choose(id::kDeviceList, 0));

    // The dialog shows the picked printer; DHCP ticked, a new address, OK.
    Strings shown;
    net.rig.host.OnModal([&](fakes::FakeDialogHost& dialog) {
        for (int box : aid::kMacBoxes) shown.push_back(dialog.Text(box));
        for (int field : {aid::kAddress, aid::kMask, aid::kGateway})
            shown.push_back(dialog.Text(field));
        ASSERT_TRUE(dialog.Type(aid::kMacBoxes[5], "56"));
        ASSERT_TRUE(dialog.Click(aid::kDhcp));
        dialog.SetOctets(aid::kAddress, {192, 168, 1, 50});
        dialog.Click(aid::kOk);
        EXPECT_TRUE(dialog.Ended());
    });
    const std::size_t before = net.rig.udp.Datagrams().size();
    net.rig.host.Click(id::kIpSet);  // returns once the dialog closed
    EXPECT_EQ(net.rig.host.ModalTitles(), Strings{"对话"});
    EXPECT_EQ(shown, (Strings{"0", "11", "22", "33", "44", "55", "127.0.0.1", "255.255.255.0",
                              "192.168.0.1"}));
    ASSERT_TRUE(net.rig.Pump([&] { return net.rig.udp.Datagrams().size() > before; }));
    const std::vector<uint8_t> expected{0x5A, 192,  168,  1,    50,   255,  255,  255,
                                        0,    0x00, 0x11, 0x22, 0x33, 0x44, 0x56, 192,
                                        168,  0,    1,    0x00, 0x11, 0x22, 0x33, 0x44,
                                        0x55, 0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(net.rig.udp.Datagrams().back().bytes, expected);
    EXPECT_TRUE(net.rig.Lines().empty());
    EXPECT_EQ(net.rig.window->Devices()->Count(), 0u);

    // However the dialog ends, the list is emptied.
    ASSERT_TRUE(net.Reply(0x55));
    ASSERT_TRUE(net.rig.host.Choose(id::kDeviceList, 0));
    net.rig.host.Click(id::kIpSet);  // no driver: closed with its close box
    EXPECT_TRUE(net.rig.Lines().empty());
    EXPECT_EQ(net.rig.udp.Datagrams().size(), before + 1);
}

}  // namespace
}  // namespace updatertest
