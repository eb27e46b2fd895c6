#pragma once
// UTF-8 (the programs' own text) to and from UTF-16 (the W interfaces of Windows).

#include <string>
#include <string_view>

namespace platform {

// An invalid sequence becomes U+FFFD either way.
std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);

}  // namespace platform
