#include "netcfg/mac_boxes.h"

#include <array>
#include <string>

#include "platform/dialog_host.h"

namespace netcfg {

MacBoxesRead ReadMacBoxes(const platform::DialogHost& host, std::span<const int, 6> ids) {
    std::array<std::string, 6> boxes;
    for (std::size_t i = 0; i < boxes.size(); ++i) boxes[i] = host.Text(ids[i]);
    return ReadMacBoxes(boxes);
}

void ShowMac(platform::DialogHost& host, std::span<const int, 6> ids, const MacBytes& mac) {
    for (std::size_t i = 0; i < mac.size(); ++i) host.SetText(ids[i], FormatMacByte(mac[i]));
}

}  // namespace netcfg
