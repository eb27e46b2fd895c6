// UsbPrinterLink over the scriptable backend, and the sender's USB branch.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "tests/link/sender_rig.h"
#ifndef _WIN32
#include "link/usb_sysfs.h"
#endif

namespace linktest {
namespace {

using fakes::FakeUsbBackend;
using fakes::UsbDevice;
using Piece = FakeUsbBackend::Piece;
using printerlink::UsbPrinterLink;
using printerlink::UsbProgram;

TEST(UsbLink, TokensDocumentTheProductIds) {
    for (UsbProgram program : {UsbProgram::Tessary, UsbProgram::Brindel}) {
        for (std::size_t i = 0; i < 7; ++i) {
            char token[16];
            std::snprintf(token, sizeof token, "pid_%04x", printerlink::ProductIds(program)[i]);
            EXPECT_STREQ(printerlink::ProductIdTokens(program)[i], token);
        }
    }
    EXPECT_EQ(printerlink::ProductIds(UsbProgram::Tessary)[6], 0x0600);
    EXPECT_EQ(printerlink::ProductIds(UsbProgram::Brindel)[6], 0x2021);
}

// The udev rule must grant access to exactly the printers the two programs look for.
TEST(UsbLink, UdevRuleCoversBothProductIdLists) {
    std::ifstream file(UDEV_RULE_FILE);
    ASSERT_TRUE(file) << UDEV_RULE_FILE;
    std::stringstream text;
    text << file.rdbuf();
    const std::string rule = text.str();
    const std::string key = R"(ATTR{idProduct}==")";
    const std::size_t from = rule.find(key);
    ASSERT_NE(from, std::string::npos);
    const std::size_t begin = from + key.size();
    const std::size_t endQuote = rule.find('"', begin);
    ASSERT_NE(endQuote, std::string::npos);
    std::set<std::string> inRule;
    std::stringstream ids(rule.substr(begin, endQuote - begin));
    for (std::string id; std::getline(ids, id, '|');) inRule.insert(id);

    std::set<std::string> wanted;
    for (UsbProgram program : {UsbProgram::Tessary, UsbProgram::Brindel}) {
        for (uint16_t id : printerlink::ProductIds(program)) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%04x", id);
            wanted.insert(hex);
        }
    }
    EXPECT_EQ(inRule, wanted);
    EXPECT_NE(rule.find(R"(TAG+="uaccess")"), std::string::npos);
}

TEST(UsbLink, FirstAcceptableDeviceInEnumerationOrderWinsWhateverItsVendor) {
    auto usb = std::make_shared<FakeUsbBackend>();
    const auto other = UsbDevice(0x1fc9, 0x1234, "1-1");    // not a listed product
    const auto refuses = UsbDevice(0x1fc9, 0x5011, "1-2");  // listed, probe fails
    const auto foreign = UsbDevice(0x9999, 0x0055, "1-3");  // another vendor, listed
    const auto later = UsbDevice(0x1fc9, 0x2016, "2-1.4");
    usb->SetDevices({{other}, {refuses, false}, {foreign}, {later}});
    UsbPrinterLink link(usb, UsbProgram::Tessary);
    ASSERT_EQ(link.Open(), 1);
    EXPECT_EQ(link.DevicePath(), "usb:1-3 vid_9999&pid_0055");
    EXPECT_EQ(usb->OpenAttempts(), (std::vector<std::string>{refuses.path, foreign.path}));
    EXPECT_EQ(link.Open(), 1);  // opening again does not leak the first handle
    EXPECT_EQ(usb->OpenHandles(), 1);
    link.Close();
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(usb->OpenHandles(), 0);
}

TEST(UsbLink, SeventhProductIdIsProgramSpecific) {
    auto usb = std::make_shared<FakeUsbBackend>();
    usb->SetDevices({{UsbDevice(0x1fc9, 0x2021, "1-1")}});
    EXPECT_EQ(UsbPrinterLink(usb, UsbProgram::Tessary).Open(), 0);
    EXPECT_EQ(UsbPrinterLink(usb, UsbProgram::Brindel).Open(), 1);
    usb->SetDevices({{UsbDevice(0x1fc9, 0x0600, "1-1")}});
    EXPECT_EQ(UsbPrinterLink(usb, UsbProgram::Tessary).Open(), 1);
    EXPECT_EQ(UsbPrinterLink(usb, UsbProgram::Brindel).Open(), 0);
    EXPECT_EQ(usb->OpenHandles(), 0);  // destroyed links closed their handles
}

TEST(UsbLink, NothingToOpenAndClosedLinks) {
    auto usb = std::make_shared<FakeUsbBackend>();
    UsbPrinterLink never(usb, UsbProgram::Tessary);
    never.Close();
    never.Close();
    std::size_t written = 99;
    const uint8_t byte = 0;
    EXPECT_EQ(never.Write(&byte, 1, written, 10), 0);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(never.WriteAll(&byte, 1), 0u);
    EXPECT_EQ(never.Open(), 0);  // no devices
    EXPECT_EQ(UsbPrinterLink(nullptr, UsbProgram::Brindel).Open(), 0);
}

TEST(UsbLink, WriteReportsWhatWentOutEvenOnTimeOut) {
    auto usb = std::make_shared<FakeUsbBackend>();
    usb->SetDevices({{UsbDevice(1, 0x5011, "1-1")}});
    usb->ScriptPieces({{Piece::TimeOutAfter, 10}});
    UsbPrinterLink link(usb, UsbProgram::Tessary);
    ASSERT_EQ(link.Open(), 1);
    const auto bytes = Pattern(64);
    std::size_t written = 0;
    EXPECT_EQ(link.Write(bytes.data(), bytes.size(), written, 1000), 0);
    EXPECT_EQ(written, 10u);
    EXPECT_EQ(link.Write(bytes.data(), bytes.size(), written, 1000), 1);
    EXPECT_EQ(written, 64u);
    EXPECT_EQ(usb->Pieces()[1].timeoutMs, 1000u);
}

TEST(UsbLink, WriteAllSends64BytePiecesAndStopsAtAFailedOne) {
    auto usb = std::make_shared<FakeUsbBackend>();
    usb->SetDevices({{UsbDevice(1, 0x2021, "1-1")}});
    UsbPrinterLink link(usb, UsbProgram::Brindel);
    ASSERT_EQ(link.Open(), 1);
    const auto bytes = Pattern(130);
    EXPECT_EQ(link.WriteAll(bytes.data(), bytes.size()), 130u);
    auto pieces = usb->Pieces();
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].asked, 64u);
    EXPECT_EQ(pieces[1].asked, 64u);
    EXPECT_EQ(pieces[2].asked, 2u);
    EXPECT_EQ(pieces[2].timeoutMs, 2000u);
    EXPECT_EQ(usb->BytesOut(), bytes);

    auto second = std::make_shared<FakeUsbBackend>();
    second->SetDevices({{UsbDevice(1, 0x2021, "1-1")}});
    second->ScriptPieces({{Piece::Complete}, {Piece::TimeOutAfter, 0}});
    UsbPrinterLink timedOut(second, UsbProgram::Brindel);
    ASSERT_EQ(timedOut.Open(), 1);
    EXPECT_EQ(timedOut.WriteAll(bytes.data(), bytes.size()), 0u);
    EXPECT_EQ(second->BytesOut(), std::vector<uint8_t>(bytes.begin(), bytes.begin() + 64));
    EXPECT_EQ(second->Pieces().size(), 2u);
}

// Only a device that is free or held by the kernel's printer driver is a printer; only that
// driver is ever detached, and a device that cannot be claimed counts as not openable.
TEST(UsbLink, DriversAndClaimsDecideWhetherADeviceIsAPrinter) {
    struct Case {
        const char* driver;
        bool claims;
        int opened;
        int claimAttempts;
        bool detached;
    };
    const Case cases[] = {
        {"", true, 1, 1, false},       {"usblp", true, 1, 1, true}, {"cdc_acm", true, 0, 0, false},
        {"usbhid", true, 0, 0, false}, {"", false, 0, 1, false},    {"usblp", false, 0, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("driver '") + c.driver + "' claims " + std::to_string(c.claims));
        auto usb = std::make_shared<FakeUsbBackend>();
        usb->SetDevices({{UsbDevice(0x1fc9, 0x2016, "1-4"), true, c.driver, c.claims}});
        UsbPrinterLink link(usb, UsbProgram::Tessary);
        EXPECT_EQ(link.Open(), c.opened);
        EXPECT_EQ(link.IsOpen(), c.opened == 1);
        const auto claims = usb->Claims();
        ASSERT_EQ(static_cast<int>(claims.size()), c.claimAttempts);
        if (!claims.empty()) {
            EXPECT_EQ(claims[0].detachDriver, c.detached);
        }
        link.Close();
        EXPECT_EQ(usb->OpenHandles(), 0);
    }

    // A foreign or unclaimable device is skipped for the next listed one.
    auto usb = std::make_shared<FakeUsbBackend>();
    usb->SetDevices({{UsbDevice(1, 0x5011, "1-1"), true, "ftdi_sio"},
                     {UsbDevice(1, 0x0055, "1-2"), true, "", false},
                     {UsbDevice(1, 0x0200, "1-3"), true, "usblp"}});
    UsbPrinterLink link(usb, UsbProgram::Tessary);
    ASSERT_EQ(link.Open(), 1);
    EXPECT_EQ(link.DevicePath(), "usb:1-3 vid_0001&pid_0200");

    // A probe claims nothing and leaves nothing open; it skips the foreign device (but, without
    // a claim, cannot tell that the second one would refuse it).
    UsbPrinterLink prober(usb, UsbProgram::Tessary);
    const auto claimsBefore = usb->Claims().size();
    EXPECT_EQ(prober.Probe(), 1);
    EXPECT_FALSE(prober.IsOpen());
    EXPECT_EQ(prober.DevicePath(), "usb:1-2 vid_0001&pid_0055");
    EXPECT_EQ(usb->Claims().size(), claimsBefore);
    EXPECT_EQ(usb->OpenHandles(), 1);  // only `link`'s
}

#ifndef _WIN32
TEST(UsbLink, SysfsNamesTheDriverBoundToAnInterface) {
    const uint8_t ports[] = {2, 3};
    EXPECT_EQ(printerlink::UsbInterfaceName(1, ports, 1, 0), "1-2.3:1.0");
    EXPECT_EQ(printerlink::UsbInterfaceName(3, std::span<const uint8_t>(ports, 1), 2, 1),
              "3-2:2.1");

    namespace fs = std::filesystem;
    const fs::path root =
        fs::temp_directory_path() /
        ("usb-sysfs-" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::remove_all(root);
    fs::create_directories(root / "1-2.3:1.0");
    fs::create_directories(root / "1-4:1.0");
    fs::create_symlink("../../../bus/usb/drivers/usblp", root / "1-2.3:1.0" / "driver");
    EXPECT_EQ(printerlink::UsbInterfaceDriver(root, "1-2.3:1.0"), "usblp");
    EXPECT_EQ(printerlink::UsbInterfaceDriver(root, "1-4:1.0"), "");  // no driver bound
    EXPECT_EQ(printerlink::UsbInterfaceDriver(root, "9-9:1.0"), "");  // not there
    fs::remove_all(root);
}

#endif

TEST(UsbLink, SystemBackendCopesWithWhateverThisMachineHas) {
    // No USB devices (Wine has none) or no usbfs here must simply mean "nothing found"; nothing
    // is written.
    const auto backend = printerlink::MakeSystemUsbBackend();
    for (const printerlink::UsbDeviceInfo& device : backend->EnumeratePresent()) {
        SCOPED_TRACE(device.path);
        EXPECT_FALSE(device.path.empty());
    }
    UsbPrinterLink link(backend, UsbProgram::Tessary);
    const int opened = link.Open();
    EXPECT_TRUE(opened == 0 || opened == 1);
    EXPECT_EQ(link.IsOpen(), opened == 1);
    link.Close();
}

// Windows names a device by its interface path; the ids come from its tokens, exactly as the
// system writes them.
TEST(UsbLink, InterfacePathTokensNameTheDevice) {
    const std::string tail = "#5&1b2c3d4e&0&2#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    struct Case {
        std::string path;
        bool device;
        uint16_t vendor, product;
    };
    const Case cases[] = {
        {"\\\\?\\usb#vid_1fc9&pid_2016" + tail, true, 0x1fc9, 0x2016},
        {"\\\\?\\usb#vid_0483&pid_5743" + tail, true, 0x0483, 0x5743},
        {"\\\\?\\usb#vid_04b8&pid_0e28&mi_00" + tail, true, 0x04b8, 0x0e28},
        {"\\\\?\\usb#pid_0055" + tail, true, 0, 0x0055},       // no vendor token
        {"\\\\?\\usb#vid_1FC9&PID_2016" + tail, false, 0, 0},  // upper case: no token
        {"\\\\?\\usb#vid_1fc9&pid_20" + tail, false, 0, 0},    // cut short
        {"\\\\?\\usb#vid_1fc9&pid_xyz1&pid_0200" + tail, true, 0x1fc9, 0x0200},
        {"\\\\?\\hid#vid_046d" + tail, false, 0, 0},
        {"", false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const auto device = printerlink::DeviceFromInterfacePath(c.path);
        ASSERT_EQ(device.has_value(), c.device);
        if (!device) continue;
        EXPECT_EQ(device->vendorId, c.vendor);
        EXPECT_EQ(device->productId, c.product);
        EXPECT_EQ(device->path, c.path);
    }
    // The system's path buffer holds 259 characters and the end mark: a longer path is skipped.
    std::string path = "\\\\?\\usb#vid_1fc9&pid_2016#";
    path.resize(printerlink::kMaxDevicePath - 1, 'x');
    EXPECT_TRUE(printerlink::DeviceFromInterfacePath(path).has_value());
    path += 'x';
    EXPECT_FALSE(printerlink::DeviceFromInterfacePath(path).has_value());
}

// A listed product id found in a device path is accepted through the shared selection whatever
// the vendor; the seventh id differs per program.
TEST(UsbLink, InterfacePathsGoThroughTheSharedSelection) {
    const char* paths[] = {
        "\\\\?\\usb#vid_046d&pid_c52b#6&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",  // a mouse
        "\\\\?\\usb#vid_abcd&pid_0600#7&2#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
        "\\\\?\\usb#vid_1234&pid_2021#8&3#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
    };
    auto usb = std::make_shared<FakeUsbBackend>();
    std::vector<FakeUsbBackend::Device> devices;
    for (const char* path : paths)
        devices.emplace_back(*printerlink::DeviceFromInterfacePath(path));
    usb->SetDevices(devices);
    UsbPrinterLink tessary(usb, UsbProgram::Tessary);
    ASSERT_EQ(tessary.Open(), 1);
    EXPECT_EQ(tessary.DevicePath(), paths[1]);
    UsbPrinterLink brindel(usb, UsbProgram::Brindel);
    ASSERT_EQ(brindel.Open(), 1);
    EXPECT_EQ(brindel.DevicePath(), paths[2]);
}

TEST(SenderUsb, CommandGoesOutIn64BytePiecesThroughAFreshLink) {
    SenderRig rig(FastEndpoints(), fakes::UsbParams());
    rig.usb->SetDevices({{UsbDevice(0x1fc9, 0x2016, "1-2")}});
    const auto command = Pattern(100);
    rig.Submit(command);
    ASSERT_TRUE(rig.WaitIdle());
    const auto pieces = rig.usb->Pieces();
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].asked, 64u);
    EXPECT_EQ(pieces[1].asked, 36u);
    EXPECT_EQ(pieces[0].timeoutMs, 50u);
    EXPECT_EQ(rig.usb->BytesOut(), command);
    EXPECT_EQ(rig.usb->OpenHandles(), 0);  // closed after the command
    rig.Submit(Pattern(6));
    ASSERT_TRUE(rig.WaitIdle());
    EXPECT_EQ(rig.usb->OpenAttempts().size(), 2u);
    EXPECT_TRUE(rig.sinks.Statuses().empty());
}

TEST(SenderUsb, FailedPiecesResumeAtTheFirstUnsentByte) {
    SenderRig rig(FastEndpoints(), fakes::UsbParams());
    rig.usb->SetDevices({{UsbDevice(0x1fc9, 0x5011, "1-2")}});
    rig.usb->ScriptPieces({{Piece::Complete}, {Piece::TimeOutAfter, 10}, {Piece::Fail}});
    const auto command = Pattern(150);
    rig.Submit(command);
    ASSERT_TRUE(rig.WaitIdle());
    EXPECT_EQ(rig.usb->BytesOut(), command);  // every byte exactly once, in order
    std::vector<std::size_t> asked;
    for (const auto& p : rig.usb->Pieces()) asked.push_back(p.asked);
    EXPECT_EQ(asked, (std::vector<std::size_t>{64, 64, 64, 64, 12}));
    EXPECT_EQ(rig.usb->OpenAttempts().size(), 3u);
    EXPECT_EQ(rig.usb->OpenHandles(), 0);
    EXPECT_TRUE(rig.sinks.Statuses().empty());
}

TEST(SenderUsb, NoPrinterReportsAndDrops) {
    // Brindel's id only; a listed id on a serial adapter; a printer that cannot be claimed.
    const std::vector<FakeUsbBackend::Device> cases[] = {
        {{UsbDevice(0x1fc9, 0x2021, "1-2")}},
        {{UsbDevice(0x1fc9, 0x5011, "1-2"), true, "cdc_acm"}},
        {{UsbDevice(0x1fc9, 0x5011, "1-2"), true, "", false}},
    };
    for (const auto& devices : cases) {
        SCOPED_TRACE(devices[0].info.path + " '" + devices[0].driver + "'");
        SenderRig rig(FastEndpoints(), fakes::UsbParams());
        rig.usb->SetDevices(devices);
        rig.Submit(Pattern(6));
        ASSERT_TRUE(rig.WaitIdle());  // dropped, not retried for ever
        EXPECT_EQ(rig.sinks.Statuses(), std::vector<std::string>{"USB OPEN FAIL"});
        EXPECT_TRUE(rig.usb->Pieces().empty());
        EXPECT_LE(rig.usb->OpenAttempts().size(), 1u);
    }
}

TEST(SenderUsb, APrinterThatTakesNothingIsReportedOnceWhileRetried) {
    SenderRig rig(FastEndpoints(), fakes::UsbParams());
    rig.usb->SetDevices({{UsbDevice(0x1fc9, 0x5011, "1-2")}});
    rig.usb->ScriptPieces({{Piece::Fail}, {Piece::Fail}, {Piece::TimeOutAfter, 0}, {Piece::Fail}});
    const auto command = Pattern(70);
    rig.Submit(command);
    ASSERT_TRUE(rig.WaitIdle());
    EXPECT_EQ(rig.usb->BytesOut(), command);
    EXPECT_EQ(rig.sinks.Notices(),
              std::vector<printerlink::LinkNotice>{printerlink::LinkNotice::UsbRetrying});

    // A piece that got part of its bytes out is progress, not a stalled printer.
    rig.usb->ScriptPieces({{Piece::TimeOutAfter, 5}});
    rig.Submit(command);
    ASSERT_TRUE(rig.WaitIdle());
    EXPECT_EQ(rig.sinks.Notices().size(), 1u);
}

}  // namespace
}  // namespace linktest
