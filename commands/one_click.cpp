#include "commands/one_click.h"

#include <algorithm>
#include <array>

#include "commands/list_items.h"
#include "commands/setting_frames.h"

namespace commands {
namespace {

constexpr std::array<OneClickCommand, 15> kCommands{{
    {1004, 0},                  // cut test
    {1005, 0},                  // cash drawer
    {1048, kBeeperModeListId},  // beeper mode
    {1050, kBlankFeedListId},   // blank feed lines
    {1079, 0},                  // factory restore
    {1080, 0},                  // 80 mm printer prints 58 mm width
    {1081, 0},                  // light on
    {1082, 0},                  // light off
    {1083, 0},                  // sound on
    {1084, 0},                  // sound off
    {1086, 0},                  // feed after cut
    {1087, 0},                  // no feed after cut
    {1099, 0},                  // router auto-adaptation on
    {1100, 0},                  // router auto-adaptation off
    {1103, 0},                  // print self-test page
}};

}  // namespace

std::vector<uint8_t> OneClickCommand::Build(int listPosition) const {
    // Light, sound and feed after cut take 00 for on; router auto-adaptation takes 01 for on.
    switch (controlId) {
        case 1004:  // LF LF, GS V 1 (partial cut), 01
            return {0x0A, 0x0A, 0x1D, 0x56, 0x01, 0x01};
        case 1005:  // ESC p 1 1 0 (kick connector pin 5), 00
            return {0x1B, 0x70, 0x01, 0x01, 0x00, 0x00};
        case 1048:
            return BuildSettingFrame(0x6A, {ListValue(listPosition)});
        case 1050:
            return BuildSettingFrame(0x6B, {ListValue(listPosition)});
        case 1079:
            return BuildSettingFrame(0x6E);
        case 1080:
            return BuildSettingFrame(0x70, {0x01});
        case 1081:
            return BuildSettingFrame(0x71, {0x00});
        case 1082:
            return BuildSettingFrame(0x71, {0x01});
        case 1083:
            return BuildSettingFrame(0x72, {0x00});
        case 1084:
            return BuildSettingFrame(0x72, {0x01});
        case 1086:
            return BuildSettingFrame(0x73, {0x00});
        case 1087:
            return BuildSettingFrame(0x73, {0x01});
        case 1099:
            return BuildSettingFrame(0x7E, {0x01});
        case 1100:
            return BuildSettingFrame(0x7E, {0x00});
        case 1103:
            return BuildSettingFrame(0x80, {0x00});
        default:
            return {};
    }
}

std::span<const OneClickCommand> OneClickCommands() {
    return kCommands;
}

const OneClickCommand* FindOneClick(int controlId) {
    const auto it = std::find_if(kCommands.begin(), kCommands.end(), [&](const OneClickCommand& c) {
        return c.controlId == controlId;
    });
    return it != kCommands.end() ? &*it : nullptr;
}

}  // namespace commands
