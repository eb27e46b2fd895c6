#pragma once
// Printed text as characters for the paper: GBK pairs in Chinese mode (24 × 24 cells), the code
// page's characters outside it, UTF-8 once FS ( C selected it (East Asian wide characters in
// Chinese cells), through the same iconv conversion the log uses. A byte that is no character
// becomes U+FFFD, which the drawing shows as the printer's substitute.

#include <cstdint>
#include <span>
#include <vector>

#include "sim/printer_text.h"

namespace sim::paper {

struct Character {
    char32_t code = 0;  // HT, LF and CR come as themselves
    bool wide = false;  // a Chinese character cell
    // Its bytes in the stream: [from, to).
    uint64_t from = 0;
    uint64_t to = 0;
};

class CharacterReader {
  public:
    // Appends the characters of `bytes`, which start at stream offset `at`, to `out`. A character
    // cut off at the end waits for the next call with the same coding.
    void Read(std::span<const uint8_t> bytes, const TextCoding& coding, std::vector<Character>& out,
              uint64_t at = 0);
    // A command came between: a waiting part of a character is dropped as a substitute.
    void Break(std::vector<Character>& out);

  private:
    uint8_t waiting_[4] = {};
    std::size_t waitingSize_ = 0;
    uint64_t waitingAt_ = 0;  // the waiting bytes' offset
    TextCoding waitingCoding_;
};

// Reads the character at the start of `s` (not empty) into `out` and returns its bytes; 0 when
// `s` ends inside it.
std::size_t NextCharacter(std::span<const uint8_t> s, const TextCoding& coding,
                          std::vector<Character>& out);

// A code point printed in a double-width cell in UTF-8 mode (CJK, Hangul, full-width forms).
bool IsWide(char32_t code);

}  // namespace sim::paper
