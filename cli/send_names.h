#pragma once
// The readable names of `tessary-cli send`: every one-click command, every settings row, the
// voice, factory, address and WiFi frames. Each name carries the setting-frame function codes it
// sends, and its description is that table's entry, so the list and the frame table stay one.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// A value a name accepts and what it means (the window's list item).
struct ValueMeaning {
    std::string value;
    std::string meaning;
};

struct BuiltCommand {
    std::vector<uint8_t> bytes;  // the command, when error is empty
    std::string error;           // a bad or missing value: nothing is sent
};

// What building may depend on besides the values.
struct BuildContext {
    int64_t nowSeconds = 0;  // the factory frames carry the local date
};

struct SendName {
    std::string name;
    std::string arguments;       // e.g. "N", "on|off", "NEW MASK GATEWAY"; empty for none
    std::vector<uint8_t> codes;  // setting-frame function codes; empty for ESC/POS commands
    std::string description;
    std::vector<ValueMeaning> values;  // listed by `send --list`
    std::function<BuiltCommand(std::span<const std::string>, const BuildContext&)> build;
};

// Every name, in the order `send --list` shows them.
const std::vector<SendName>& SendNames();
const SendName* FindSendName(std::string_view name);

// The bytes `name` sends for `values`; an unknown name or a bad value gives an error.
BuiltCommand BuildSendCommand(std::string_view name, std::span<const std::string> values,
                              const BuildContext& context);

// The text of `send --list`: one line per name with its codes and description, then its values.
std::string SendListText();

}  // namespace cli
