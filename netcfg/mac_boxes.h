#pragma once
// The six MAC boxes of the network windows (Tessary's main window and device list, Brindel's
// address dialog), read and filled through the window.

#include <span>

#include "netcfg/address_set.h"

namespace platform {
class DialogHost;
}

namespace netcfg {

// The boxes `ids` (first byte first), as ReadMacBoxes reads them.
MacBoxesRead ReadMacBoxes(const platform::DialogHost& host, std::span<const int, 6> ids);
// Shows `mac` in the boxes `ids`, one byte each as FormatMacByte writes it.
void ShowMac(platform::DialogHost& host, std::span<const int, 6> ids, const MacBytes& mac);

}  // namespace netcfg
