#pragma once
// Text conversion between the UI's Unicode (UTF-8 in std::string) and the GBK bytes printers get.

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// UTF-8 → GBK (code page 936). A character GBK cannot hold becomes '?'; invalid UTF-8 bytes too.
std::string Utf8ToGbk(std::string_view utf8);
// GBK → UTF-8; an invalid byte sequence becomes U+FFFD.
std::string GbkToUtf8(std::string_view gbk);
// The longest prefix of `gbk` of at most `maxBytes` bytes that does not split a two-byte character.
std::string_view TruncateGbk(std::string_view gbk, std::size_t maxBytes);

}  // namespace platform
