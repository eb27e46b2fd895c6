#include "link/serial_ports.h"

#include <algorithm>

#include "link/device_io.h"

namespace printerlink {
std::vector<std::string> ListFreeSerialPorts(const SerialProbeConfig& config) {
    std::vector<std::string> names;
    for (const std::string& pattern : config.patterns) {
        const bool numbered = pattern.find("%d") != std::string::npos;
        for (int i = config.first; i <= config.last; ++i) {
            const std::string name = SerialPortName(pattern, i);
            if (std::find(names.begin(), names.end(), name) == names.end() &&
                SerialPortIsFree(name)) {
                names.push_back(name);
            }
            if (!numbered) break;
        }
    }
    return names;
}

std::thread StartComPortProbeThread(SerialListSink sink, SerialProbeConfig config) {
    return std::thread([sink = std::move(sink), config = std::move(config)] {
        if (sink.resetContent) sink.resetContent();
        std::vector<std::string> names = ListFreeSerialPorts(config);
        // The combo box is sorted: plain byte-wise order, as in a sorted list of names.
        std::sort(names.begin(), names.end());
        if (!sink.addString) return;
        for (const std::string& name : names) sink.addString(name);
    });
}

}  // namespace printerlink
