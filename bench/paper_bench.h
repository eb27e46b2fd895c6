#pragma once
// The paper's figures: a typical receipt drawn and saved as PNG, one after another.

#include <cstdint>
#include <vector>

namespace bench {

// A title at double size, ten lines in two columns, an EAN-13 with its text, a QR code, a 64 × 64
// image, a cut.
std::vector<uint8_t> TypicalReceipt();
// Prints pictures a second, the median (and p90) time to draw and save one, the CPU time a
// receipt, and the resident memory after 10 and after `count` receipts.
void PaperBench(int count);

}  // namespace bench
