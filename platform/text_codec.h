#pragma once
// Text conversion between the UI's Unicode (UTF-8 in std::string) and the GBK bytes printers get.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// UTF-8 → GBK (code page 936). A character GBK cannot hold becomes '?'; invalid UTF-8 bytes too.
std::string Utf8ToGbk(std::string_view utf8);
// GBK → UTF-8; an invalid byte sequence becomes U+FFFD.
std::string GbkToUtf8(std::string_view gbk);
// Text in the character set named `charset` ("CP437", "CP1252", "GBK"; iconv's names, which
// Windows maps to its code pages) → UTF-8; a byte the set does not define becomes U+FFFD.
// Nothing when the system does not know the set.
std::optional<std::string> ToUtf8(std::string_view text, const char* charset);
// Length of the well-formed UTF-8 sequence at the start of `s`, or 0 when it is not one.
std::size_t Utf8SequenceLength(std::string_view s);
// Bytes to skip for an ill-formed sequence at the start of `s` (not empty): the lead byte and the
// continuation bytes that belong to it (at least one byte, never a following lead byte).
std::size_t Utf8BadLength(std::string_view s);
// The longest prefix of `gbk` of at most `maxBytes` bytes that does not split a two-byte character.
std::string_view TruncateGbk(std::string_view gbk, std::size_t maxBytes);

}  // namespace platform
