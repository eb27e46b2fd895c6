#include "setuptool/init_params.h"

#include <fstream>
#include <locale>
#include <string>

#include "platform/decimal.h"

namespace setuptool {
namespace {

constexpr std::streamsize kMaxRead = 64 * 1024;

}  // namespace

int ReadInitParams(const std::filesystem::path& dir, int current) {
    std::ifstream in(dir / kInitParamsFileName, std::ios::binary);
    if (!in.is_open()) {
        WriteInitParams(dir, 0);
        return 0;
    }
    std::string text(static_cast<std::size_t>(kMaxRead), '\0');
    in.read(text.data(), kMaxRead);
    text.resize(static_cast<std::size_t>(in.gcount()));
    // White space includes CR, so both LF and CR LF line ends read alike.
    return platform::ExtractDecimal(text).value_or(current);
}

bool WriteInitParams(const std::filesystem::path& dir, int flag) {
    // Text mode: the line ends as the platform's text files do (LF; CR LF on Windows).
    std::ofstream out(dir / kInitParamsFileName, std::ios::trunc);
    if (!out.is_open()) return false;
    out.imbue(std::locale::classic());  // plain digits, no grouping
    out << flag << '\n';
    out.flush();
    return out.good();
}

}  // namespace setuptool
