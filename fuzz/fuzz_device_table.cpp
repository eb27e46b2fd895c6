// Discovery datagrams into both programs' device tables: the table never holds two equal
// entries, never more than 16, only accepted replies, and nothing beyond the kept bytes.
#include <algorithm>
#include <vector>

#include "fuzz/check.h"
#include "netcfg/device_table.h"

namespace {

void Check(const netcfg::DeviceTable& table, netcfg::DeviceTable::Offer offer, std::size_t before) {
    const auto devices = table.Devices();
    FUZZ_CHECK(devices.size() == table.Count());
    FUZZ_CHECK(devices.size() <= netcfg::kDeviceSlots);
    FUZZ_CHECK(devices.size() == before + (offer == netcfg::DeviceTable::Offer::Stored ? 1 : 0));
    for (std::size_t i = 0; i < devices.size(); ++i) {
        FUZZ_CHECK(table.Policy().accepts(devices[i]));
        const auto& b = devices[i].bytes;
        FUZZ_CHECK(std::all_of(b.begin() + static_cast<std::ptrdiff_t>(table.Policy().keptLength),
                               b.end(), [](uint8_t x) { return x == 0; }));
        for (std::size_t k = i + 1; k < devices.size(); ++k)
            FUZZ_CHECK(!(devices[i] == devices[k]));
        FUZZ_CHECK(table.Slot(static_cast<int>(i)) == devices[i]);
    }
    FUZZ_CHECK(!table.Slot(static_cast<int>(devices.size())).has_value());
    FUZZ_CHECK(!table.Slot(-1).has_value());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    // A control byte, then that many bytes (mod 48) of datagram; control FF clears the tables.
    netcfg::DeviceTable tessary(netcfg::TessaryPolicy());
    netcfg::DeviceTable brindel(netcfg::BrindelPolicy());
    std::size_t at = 0;
    for (int i = 0; i < 64 && at < size; ++i) {
        const uint8_t control = data[at++];
        if (control == 0xFF) {
            tessary.Clear();
            brindel.Clear();
            FUZZ_CHECK(tessary.Count() == 0 && brindel.Count() == 0);
            continue;
        }
        const std::size_t n = std::min<std::size_t>(control % 48, size - at);
        const std::vector<uint8_t> datagram(data + at, data + at + n);
        at += n;
        for (netcfg::DeviceTable* table : {&tessary, &brindel}) {
            const std::size_t before = table->Count();
            const auto offer = table->OfferReply(datagram);
            Check(*table, offer, before);
            // The same datagram again is never stored twice.
            FUZZ_CHECK(table->OfferReply(datagram) != netcfg::DeviceTable::Offer::Stored);
        }
    }
    return 0;
}
