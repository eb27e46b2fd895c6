#include "link/usb_sysfs.h"

#include <system_error>

namespace printerlink {

std::string UsbInterfaceName(uint8_t bus, std::span<const uint8_t> ports, int configuration,
                             int interfaceNumber) {
    std::string name = std::to_string(bus);
    for (std::size_t i = 0; i < ports.size(); ++i) {
        name += i == 0 ? '-' : '.';
        name += std::to_string(ports[i]);
    }
    return name + ':' + std::to_string(configuration) + '.' + std::to_string(interfaceNumber);
}

std::string UsbInterfaceDriver(const std::filesystem::path& devicesDir,
                               const std::string& interfaceName) {
    std::error_code error;
    const std::filesystem::path target =
        std::filesystem::read_symlink(devicesDir / interfaceName / "driver", error);
    if (error) return {};
    return target.filename().string();
}

}  // namespace printerlink
