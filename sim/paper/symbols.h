#pragma once
// Barcodes and 2D symbols as the printer keeps them: GS k's barcode systems, and for each GS ( k
// symbol its settings and its stored data, turned into a request for the drawing when printed.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/paper/drawing.h"

namespace sim::paper {

// GS k m: 0-6 (NUL-ended data) and 65-79 (counted data); nothing for other values.
std::optional<SymbolKind> BarcodeKind(uint8_t m);

// The symbols of GS ( k: cn 48 PDF417 ... 54 DataMatrix.
class SymbolStore {
  public:
    // Stored data kept per symbol; more is counted and the symbol refused when printed.
    static constexpr std::size_t kMaxData = 8192;

    SymbolStore() { Reset(); }
    // ESC @: every setting back to its default, nothing stored.
    void Reset();

    // A setting function: `p` holds cn fn and its parameters.
    void Set(std::span<const uint8_t> p);
    // Store (fn 80): `p` holds cn fn m and the first data bytes (and, for the DataBar and composite
    // symbols, their type bytes); the rest follows through More().
    void BeginStore(std::span<const uint8_t> p);
    void More(std::span<const uint8_t> data);
    // The print (fn 81) of symbol `cn`: the request, or nothing with `why` set.
    std::optional<SymbolRequest> Request(uint8_t cn, std::string* why) const;

    // cn the store knows (48-54).
    static bool Known(uint8_t cn) { return cn >= 48 && cn <= 54; }

  private:
    struct Slot {
        SymbolRequest request;  // settings and stored data
        bool stored = false;
        bool tooLong = false;
        uint64_t announced = 0;  // bytes of data the last store brought
        // Composite: the linear part (type and data) and the 2D part are stored apart.
        std::vector<uint8_t> linear;
        int linearType = -1;
        bool twoDStored = false;
        int ratio = 1;  // PDF417: error correction as a ratio (m = 49); 0 when a level is set
    };
    Slot& At(uint8_t cn) { return slots_[cn - 48]; }
    const Slot& At(uint8_t cn) const { return slots_[cn - 48]; }
    void Keep(Slot& slot, std::vector<uint8_t>& into, std::span<const uint8_t> data);

    Slot slots_[7];
    Slot* storing_ = nullptr;
    std::vector<uint8_t>* storingInto_ = nullptr;
};

}  // namespace sim::paper
