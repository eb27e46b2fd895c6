#include "setuptool/test_text.h"

#include "platform/text_codec.h"

namespace setuptool {
namespace {

constexpr std::string_view kLineSeparator = "\xE2\x80\xA8";       // U+2028
constexpr std::string_view kParagraphSeparator = "\xE2\x80\xA9";  // U+2029

std::string NormaliseLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size();) {
        const std::string_view rest = text.substr(i);
        if (rest.starts_with("\r\n")) {
            out += "\r\n";
            i += 2;
        } else if (rest[0] == '\r' || rest[0] == '\n') {
            out += "\r\n";
            i += 1;
        } else if (rest.starts_with(kLineSeparator) || rest.starts_with(kParagraphSeparator)) {
            out += "\r\n";
            i += 3;
        } else {
            out += rest[0];
            i += 1;
        }
    }
    return out;
}

// The first command of `gbk`, which starts on a character boundary.
std::string_view FirstCommand(std::string_view gbk) {
    std::string_view cut = platform::TruncateGbk(gbk, kMaxTestTextBytes);
    // A cut between CR and LF would end the job in a lone CR: cut before the CR instead. (A CR
    // never ends the normalised text otherwise, and GBK trail bytes are never 0D.)
    if (cut.size() < gbk.size() && cut.ends_with('\r')) cut.remove_suffix(1);
    return cut;
}

}  // namespace

std::string TestPrintBytes(std::string_view utf8Text) {
    const std::string gbk = platform::Utf8ToGbk(NormaliseLineEnds(utf8Text));
    return std::string(FirstCommand(gbk));
}

std::vector<std::string> TestPrintCommands(std::string_view utf8Text) {
    const std::string gbk = platform::Utf8ToGbk(NormaliseLineEnds(utf8Text));
    std::vector<std::string> commands;
    for (std::string_view rest = gbk; !rest.empty();) {
        const std::string_view command = FirstCommand(rest);
        if (command.empty()) break;  // cannot happen for converted text; never loop for ever
        commands.emplace_back(command);
        rest.remove_prefix(command.size());
    }
    return commands;
}

std::string SendFinishText(int count) {
    return "send finish count " + std::to_string(count) + " \r\n";
}

}  // namespace setuptool
