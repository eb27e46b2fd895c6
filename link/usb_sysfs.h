#pragma once
// Which kernel driver holds a USB interface, read from sysfs: the interface's folder in
// /sys/bus/usb/devices is named "<bus>-<port>.<port>...:<configuration>.<interface>", and its
// "driver" entry links to the bound driver's folder.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace printerlink {

inline constexpr const char* kSysfsUsbDevices = "/sys/bus/usb/devices";

// "1-2.3:1.0" for bus 1, ports {2, 3}, configuration 1, interface 0.
std::string UsbInterfaceName(uint8_t bus, std::span<const uint8_t> ports, int configuration,
                             int interfaceNumber);

// The name of the driver bound to `interfaceName` below `devicesDir`; empty when none is bound
// or the interface is not there.
std::string UsbInterfaceDriver(const std::filesystem::path& devicesDir,
                               const std::string& interfaceName);

}  // namespace printerlink
