// The serial-port names the list probes and the paths that open them: a Windows COM port from 10
// on lives only in the device namespace.
#include <gtest/gtest.h>

#include "link/device_io.h"

namespace linktest {
namespace {

TEST(SerialNames, ListNamesAndOpenPaths) {
    struct Case {
        const char* pattern;
        int number;
        const char* listed;
    };
    const Case listed[] = {
        {"COM%d", 0, "COM0"},
        {"COM%d", 9, "COM9"},
        {"COM%d", 10, "\\\\.\\COM10"},
        {"COM%d", 127, "\\\\.\\COM127"},
        {"/dev/ttyS%d", 12, "/dev/ttyS12"},
        {"/dev/ttyUSB%d", 0, "/dev/ttyUSB0"},
        {"/dev/lp0", 5, "/dev/lp0"},
    };
    for (const Case& c : listed) {
        SCOPED_TRACE(c.listed);
        EXPECT_EQ(printerlink::SerialPortName(c.pattern, c.number), c.listed);
    }
    struct Open {
        const char* typed;
        const char* path;
    };
    const Open opened[] = {
        {"COM3", "COM3"},
        {"com12", "\\\\.\\com12"},
        {"COM12", "\\\\.\\COM12"},
        {"\\\\.\\COM12", "\\\\.\\COM12"},  // already in the device namespace
        {"COM", "COM"},
        {"COM1x", "COM1x"},
        {"COMM12", "COMM12"},
        {"/dev/ttyUSB12", "/dev/ttyUSB12"},
        {"", ""},
    };
    for (const Open& o : opened) {
        SCOPED_TRACE(o.typed);
        EXPECT_EQ(printerlink::WindowsSerialPath(o.typed), o.path);
    }
}

TEST(SerialNames, TheSystemListProbesItsOwnNames) {
    const auto patterns = printerlink::SystemSerialPatterns();
#ifdef _WIN32
    EXPECT_EQ(patterns, std::vector<std::string>{"COM%d"});
    EXPECT_STREQ(printerlink::kDefaultParallelPort, "LPT1");
#else
    EXPECT_EQ(patterns,
              (std::vector<std::string>{"/dev/ttyS%d", "/dev/ttyUSB%d", "/dev/ttyACM%d"}));
    EXPECT_STREQ(printerlink::kDefaultParallelPort, "/dev/lp0");
#endif
}

TEST(SerialNames, AMissingPortIsNotFreeAndDoesNotOpen) {
#ifdef _WIN32
    const std::string missing = "\\\\.\\COM127";
#else
    const std::string missing = "/dev/ttyS127_missing";
#endif
    EXPECT_FALSE(printerlink::SerialPortIsFree(missing));
    EXPECT_EQ(printerlink::OpenSerialExclusive(missing), printerlink::kNoDevice);
    EXPECT_NE(printerlink::LastDeviceError(), 0);
    EXPECT_FALSE(printerlink::DeviceErrorText(printerlink::LastDeviceError()).empty());
    EXPECT_EQ(printerlink::OpenSerialExclusive(""), printerlink::kNoDevice);
}

}  // namespace
}  // namespace linktest
