#include "sim/paper/symbols.h"

#include <algorithm>

namespace sim::paper {
namespace {

constexpr uint8_t kPdf417 = 48, kQr = 49, kMaxiCode = 50, kDataBar = 51, kComposite = 52,
                  kAztec = 53, kDataMatrix = 54;

// A parameter given as n or as the digit '0' + n.
int Digit(uint8_t b) {
    return b >= '0' && b <= '9' ? b - '0' : b;
}

}  // namespace

std::optional<SymbolKind> BarcodeKind(uint8_t m) {
    if (m <= 6) return static_cast<SymbolKind>(m);
    if (m >= 65 && m <= 79) return static_cast<SymbolKind>(m - 65);
    return std::nullopt;
}

void SymbolStore::Reset() {
    static constexpr SymbolKind kKinds[] = {
        SymbolKind::Pdf417,    SymbolKind::Qr,    SymbolKind::MaxiCode,  SymbolKind::DataBar2D,
        SymbolKind::Composite, SymbolKind::Aztec, SymbolKind::DataMatrix};
    for (std::size_t i = 0; i < std::size(slots_); ++i) {
        Slot& slot = slots_[i];
        slot = Slot{};
        slot.request.kind = kKinds[i];
    }
    At(kPdf417).request.model = 0;
    At(kMaxiCode).request.variant = 2;
    At(kDataBar).request.module = 2;
    At(kComposite).request.module = 2;
    At(kAztec).request.errorLevel = 23;
    storing_ = nullptr;
    storingInto_ = nullptr;
}

void SymbolStore::Set(std::span<const uint8_t> p) {
    if (p.size() < 3 || !Known(p[0])) return;
    const uint8_t fn = p[1];
    const std::span<const uint8_t> v = p.subspan(2);
    Slot& slot = At(p[0]);
    SymbolRequest& r = slot.request;
    const int n = v[0];
    switch (p[0]) {
        case kPdf417:
            if (fn == 65 && n <= 30) r.columns = n;
            if (fn == 66 && (n == 0 || (n >= 3 && n <= 90))) r.rows = n;
            if (fn == 67 && n >= 2 && n <= 8) r.module = n;
            if (fn == 68 && n >= 2 && n <= 8) r.rowHeight = n;
            if (fn == 69 && v.size() >= 2 && n == 48 && v[1] >= 48 && v[1] <= 56) {
                r.errorLevel = v[1] - 48;
                slot.ratio = 0;
            }
            if (fn == 69 && v.size() >= 2 && n == 49 && v[1] >= 1 && v[1] <= 40) slot.ratio = v[1];
            if (fn == 70 && Digit(v[0]) <= 1) r.model = Digit(v[0]);
            break;
        case kQr:
            if (fn == 65 && n >= 49 && n <= 51) r.model = n - 48;
            if (fn == 67 && n >= 1 && n <= 16) r.module = n;
            if (fn == 69 && n >= 48 && n <= 51) r.errorLevel = n - 48;
            break;
        case kMaxiCode:
            if (fn == 65 && n >= 50 && n <= 54) r.variant = n - 48;
            break;
        case kDataBar:
        case kComposite:
            if (fn == 67 && n >= 2 && n <= 8) r.module = n;
            break;
        case kAztec:
            if (fn == 66 && Digit(v[0]) <= 1) {
                r.variant = Digit(v[0]);
                r.size = v.size() >= 2 ? v[1] : 0;
            }
            if (fn == 67 && n >= 2 && n <= 16) r.module = n;
            if (fn == 69 && n >= 5 && n <= 95) r.errorLevel = n;
            break;
        case kDataMatrix:
            if (fn == 66 && Digit(v[0]) <= 1) {
                r.variant = Digit(v[0]);
                r.size = v.size() >= 2 ? v[1] : 0;
            }
            if (fn == 67 && n >= 2 && n <= 16) r.module = n;
            break;
    }
}

void SymbolStore::BeginStore(std::span<const uint8_t> p) {
    storing_ = nullptr;
    storingInto_ = nullptr;
    if (p.size() < 3 || !Known(p[0])) return;
    Slot& slot = At(p[0]);
    std::vector<uint8_t>* into = &slot.request.data;
    if (p[0] == kDataBar) {
        // The type: 72 stacked, 73 stacked omnidirectional, 76 expanded stacked.
        const int type = p.size() > 3 ? p[3] : 0;
        slot.request.variant = type == 72 ? 0 : type == 73 ? 1 : type == 76 ? 2 : -1;
    }
    if (p[0] == kComposite) {
        // a = 48: the linear part, b its type (65 EAN-8 ... 77 GS1-128); a = 49: the 2D part, b
        // 65 automatic (CC-A or CC-B) or 66 CC-C.
        const int a = p.size() > 3 ? p[3] : 0, b = p.size() > 4 ? p[4] : 0;
        if (a == 48) {
            slot.linearType = b >= 65 && b <= 68   ? b - 65
                              : b == 69            ? 3
                              : b >= 70 && b <= 77 ? b - 66
                                                   : -1;
            into = &slot.linear;
        } else if (a == 49) {
            slot.request.size = b == 66 ? 3 : 0;
            slot.twoDStored = true;
        } else {
            return;
        }
    }
    into->clear();
    slot.stored = true;
    slot.tooLong = false;
    storing_ = &slot;
    storingInto_ = into;
}

void SymbolStore::Keep(Slot& slot, std::vector<uint8_t>& into, std::span<const uint8_t> data) {
    const std::size_t room = kMaxData - std::min(into.size(), kMaxData);
    if (data.size() > room) slot.tooLong = true;
    into.insert(into.end(), data.begin(),
                data.begin() + static_cast<std::ptrdiff_t>(std::min(room, data.size())));
}

void SymbolStore::More(std::span<const uint8_t> data) {
    if (storing_ != nullptr) Keep(*storing_, *storingInto_, data);
}

std::optional<SymbolRequest> SymbolStore::Request(uint8_t cn, std::string* why) const {
    if (!Known(cn)) {
        *why = "no such symbol";
        return std::nullopt;
    }
    const Slot& slot = At(cn);
    if (!slot.stored) {
        *why = "no data stored";
        return std::nullopt;
    }
    if (slot.tooLong) {
        *why = "more than " + std::to_string(kMaxData) + " bytes of data";
        return std::nullopt;
    }
    SymbolRequest r = slot.request;
    if (cn == kDataBar && r.variant < 0) {
        *why = "unknown GS1 DataBar type";
        return std::nullopt;
    }
    if (cn == kComposite) {
        if (slot.linearType < 0 || !slot.twoDStored) {
            *why =
                slot.linearType < 0 ? "no linear part of a known type stored" : "no 2D part stored";
            return std::nullopt;
        }
        r.variant = slot.linearType;
        std::vector<uint8_t> both = slot.linear;
        both.push_back(0);
        both.insert(both.end(), r.data.begin(), r.data.end());
        r.data = std::move(both);
    }
    if (cn == kPdf417 && slot.ratio > 0) {
        // Error correction codewords as a tenth of the data's, times the ratio: the smallest level
        // that gives as many (level n: 2^(n+1) codewords).
        const std::size_t wanted = (r.data.size() * static_cast<std::size_t>(slot.ratio) + 9) / 10;
        r.errorLevel = 0;
        while (r.errorLevel < 8 && (std::size_t{2} << r.errorLevel) < wanted) ++r.errorLevel;
    }
    return r;
}

}  // namespace sim::paper
