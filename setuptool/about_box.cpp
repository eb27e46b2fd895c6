#include "setuptool/about_box.h"

#include <array>

namespace setuptool {

namespace {
using platform::ControlKind;

constexpr std::array<platform::ControlDef, 4> kAboutControls{{
    {1200, ControlKind::Icon, nullptr, 14, 14, 21, 20, 0, 0, "Tessary"},
    {1201, ControlKind::Label, "Tessary V2.1", 42, 14, 114, 8},
    {1202, ControlKind::Label, "POS printer test and setup tool", 42, 26, 114, 8},
    {1, ControlKind::DefaultButton, "确定", 113, 41, 50, 14},
}};
}  // namespace

shell::AboutContent AboutContent() {
    return {kAboutTitle, kAboutControls, 170, 62, 9.0, {"宋体", 9}};
}

}  // namespace setuptool
