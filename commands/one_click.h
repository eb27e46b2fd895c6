#pragma once
// The main window's one-click printer commands: fixed six-byte strings, two with a value byte
// taken from a drop-down list.

#include <cstdint>
#include <span>
#include <vector>

namespace commands {

struct OneClickCommand {
    int controlId;  // the button
    int listId;     // drop-down list supplying the value byte, 0 when none
    // The bytes to send; `listPosition` is the list's selected position (-1 = none), ignored
    // when listId is 0.
    std::vector<uint8_t> Build(int listPosition = -1) const;
};

// The fifteen buttons, in control-id order.
std::span<const OneClickCommand> OneClickCommands();
// The entry for a button id, or null.
const OneClickCommand* FindOneClick(int controlId);

}  // namespace commands
