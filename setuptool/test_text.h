#pragma once
// The test page of the main window: the bytes "print test" and the auto-send tick hand over.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace setuptool {

// The longest test text sent; the command buffer holds one byte more.
inline constexpr std::size_t kMaxTestTextBytes = 2047;

// The print-info text at start-up: two lines, each ended by CR LF.
inline constexpr std::string_view kWelcomeText =
    "Welcome to use the needle printing and thermal series printers produced \r\n"
    "by professional POS invoice printing companies!\r\n";
static_assert(kWelcomeText.size() == 123);

// GBK bytes of the edit's text with every line end as CR LF (a lone LF, a lone CR, U+2028 and
// U+2029 each become CR LF; CR LF stays), cut to at most kMaxTestTextBytes without splitting a
// character or a CR LF pair. A character GBK cannot hold becomes '?'.
std::string TestPrintBytes(std::string_view utf8Text);

// The whole text as consecutive print commands of at most kMaxTestTextBytes each, converted and
// cut as TestPrintBytes does: no command splits a character or a CR LF pair. The first command
// equals TestPrintBytes; an empty text gives none.
std::vector<std::string> TestPrintCommands(std::string_view utf8Text);

// The status line after a test print handed over: "send finish count %d \r\n".
std::string SendFinishText(int count);

}  // namespace setuptool
