#pragma once
// What the command table's files share (escpos_commands.cpp, escpos_parts.cpp,
// escpos_blocks.cpp): building a command's extent, values in words, and the readers of the
// commands that carry data blocks. Not for use elsewhere.

#include <cstdint>
#include <span>
#include <string>

#include "sim/escpos_commands.h"

namespace sim::escpos::parts {

// Data bytes kept for a 2D symbol's text and for the parameters of other data blocks.
inline constexpr std::size_t kSymbolKept = 3 + 512;
inline constexpr std::size_t kParametersKept = 16;

Extent More();
Extent Known(std::size_t header, uint64_t data = 0, std::size_t keep = 0,
             Trailer trailer = Trailer::None);
Extent Unknown(std::size_t count);
unsigned Le16(Bytes c, std::size_t at);
// A field of bytes accepted by `valid` from `from`, closed by 00, at most `max` bytes; a full field
// may still take its 00. A byte that is neither ends the command and is read again.
Extent NulEnded(Bytes c, std::size_t from, std::size_t max, bool (*valid)(uint8_t));
// A length field of `width` bytes (low byte first) at `at`, then that many data bytes.
Extent LengthPrefixed(Bytes c, std::size_t at, std::size_t width, std::size_t keep);

std::string Plural(uint64_t n, const char* thing);  // "1 dot", "2 dots"
std::string Number(unsigned n, const char* unit);
std::string Hex(uint8_t b);
// The value as 0/'0', 1/'1', ...: its position in `names`, else as hex.
std::string Choice(uint8_t value, std::span<const char* const> names);
std::string Magnification(uint8_t m);  // "normal", "double width", ...

// Images: ESC *, GS v 0, GS *; graphics GS 8 L; the ( commands of ESC, FS and GS (GS ( k the 2D
// symbols, GS ( L graphics); barcodes GS k (escpos_blocks.cpp).
Extent BitImageExtent(Bytes c);
std::string BitImage(Bytes c);
Extent RasterExtent(Bytes c);
std::string Raster(Bytes c);
Extent DownloadImageExtent(Bytes c);
std::string DownloadImage(Bytes c);
Extent ParenExtent(Bytes c);
std::string ParenName(Bytes c);
void ReadParen(Bytes c, uint64_t data, Reading& r);
Extent Graphics8Extent(Bytes c);
void ReadGraphics8(Bytes c, uint64_t data, Reading& r);
Extent BarcodeExtent(Bytes c);
void ReadBarcode(Bytes c, uint64_t data, Reading& r);

}  // namespace sim::escpos::parts
