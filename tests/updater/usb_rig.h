#pragma once
// One Brindel USB rig: a temporary working folder for the image files, the scripted USB backend
// with the updater's link over it, and sinks that record what the operations report.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/fakes/fake_usb.h"
#include "updater/usb_operations.h"

namespace updatertest {

class UsbRig {
  public:
    UsbRig();
    ~UsbRig();
    UsbRig(const UsbRig&) = delete;
    UsbRig& operator=(const UsbRig&) = delete;

    void Put(const std::string& name, const std::vector<uint8_t>& content) const;
    void AttachPrinter();  // one listed printer, "usb:1-4 vid_1fc9&pid_2016"
    updater::UsbOperationSinks Sinks();
    updater::UsbOperations Operations() { return updater::UsbOperations(link, Sinks(), dir); }

    std::filesystem::path dir;
    std::shared_ptr<fakes::FakeUsbBackend> usb;
    printerlink::UsbPrinterLink link;
    // What the sinks saw; "error:" marks a file error box.
    std::vector<std::string> messages;
    std::vector<int> exits;
    std::vector<std::string> paths;
    // Each bar position with the count of bytes that had gone out when it was set.
    std::vector<std::pair<int, std::size_t>> progress;
};

// The stream the printer must receive for `image`: 1B 2B, the blocks filled with 00, 512 x 55,
// then `checksum` least significant byte first.
std::vector<uint8_t> ExpectedFirmwareStream(const std::vector<uint8_t>& image, uint32_t checksum);

}  // namespace updatertest
