#include "tests/updater/usb_rig.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "tests/fakes/temp_folder.h"

namespace updatertest {

namespace fs = std::filesystem;

UsbRig::UsbRig()
    : usb(std::make_shared<fakes::FakeUsbBackend>()), link(usb, printerlink::UsbProgram::Brindel) {
    dir = fakes::NewTempFolder("brindel_");
}

UsbRig::~UsbRig() {
    std::error_code ec;
    if (!dir.empty()) fs::remove_all(dir, ec);
}

void UsbRig::Put(const std::string& name, const std::vector<uint8_t>& content) const {
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()),
               static_cast<std::streamsize>(content.size()));
}

void UsbRig::AttachPrinter() {
    usb->SetDevices({{fakes::UsbDevice(0x1fc9, 0x2016, "1-4")}});
}

updater::UsbOperationSinks UsbRig::Sinks() {
    return {
        [this](const std::string& text) { messages.push_back(text); },
        [this](const std::string& text) { messages.push_back("error:" + text); },
        [this](int status) { exits.push_back(status); },
        [this](int position) { progress.emplace_back(position, usb->BytesOut().size()); },
        [this](const std::string& path) { paths.push_back(path); },
    };
}

std::vector<uint8_t> ExpectedFirmwareStream(const std::vector<uint8_t>& image, uint32_t checksum) {
    const std::size_t blocks = (image.size() + 511) / 512;
    std::vector<uint8_t> stream(2 + blocks * 512, 0x00);
    stream[0] = 0x1B;
    stream[1] = 0x2B;
    std::copy(image.begin(), image.end(), stream.begin() + 2);
    stream.resize(stream.size() + 512, 0x55);
    for (int shift = 0; shift < 32; shift += 8) stream.push_back(uint8_t(checksum >> shift));
    return stream;
}

}  // namespace updatertest
