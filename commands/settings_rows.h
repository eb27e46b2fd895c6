#pragma once
// The rows of the printer settings dialog (dialog 129), keyed by a stable setting name: label,
// input, button, function code, how the value is taken and when it is sent. The dialog builds
// and serves every row from this table; scripted front ends look rows up by name.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace commands {

enum class RowValue {
    ListPosition,  // the list position at the frame's value byte
    CodePage,      // the list position, except position 25, which is sent as FF
    Density,       // the list position at byte 6, after three zero bytes
    Names,         // the two Bluetooth name fields, GBK, 00 between them
    Fixed,         // fixed parameter bytes, no input
    Inert,         // a list that is never filled and a button without action
};

struct SettingRow {
    const char* name;  // stable key, e.g. "code-page"
    int labelId;       // 0 when the row has no label of its own
    int inputId;       // the drop-down list (the SPP name field for Names), 0 when none
    int buttonId;      // the row's "Confirm" button
    uint8_t code;      // setting-frame function code (0 for inert rows)
    RowValue value;    // how the parameter bytes are taken
    bool bounded;      // sent only when the position lies in [low, high]
    int low, high;     // the range of positions that are sent, when bounded
    std::span<const char* const> english;  // list items, UTF-8; the same span when the list
    std::span<const char* const> chinese;  // does not depend on the language
    int initial;                           // initially selected position, -1 for none
    bool hidden = false;                   // present in the layout, never shown
    std::array<uint8_t, 4> fixed{};        // parameters of Fixed rows
};

inline constexpr int kBluetoothLeNameId = 1030;  // second name field of the Names row
inline constexpr const char* kDefaultSppName = "Ostarin";
inline constexpr const char* kDefaultLeName = "Ostarin_BLE";
// Bytes 4..63 of the names frame hold both names and the separator.
inline constexpr std::size_t kBluetoothNamesRoom = 60;

// Every row, in the dialog's order.
std::span<const SettingRow> SettingRows();
// The row named `name`, or null.
const SettingRow* FindSettingRow(std::string_view name);
// The row whose button is `buttonId`, or null.
const SettingRow* FindSettingRowByButton(int buttonId);

// The items of the row's list for the language flag (0 Chinese, other English), UTF-8.
std::vector<std::string> SettingItems(const SettingRow& row, int languageFlag);
// The code-page list: 24 named pages, then 82 items "%d:%s" numbered 100 to 181.
const std::vector<std::string>& CodePageItems();

enum class RowOutcome {
    Send,          // `bytes` holds the frame
    OutOfRange,    // the position lies outside the row's range: nothing is sent
    NamesTooLong,  // the two names and the separator exceed the frame: nothing is sent
    NoAction,      // an inert row
};

struct RowFrame {
    RowOutcome outcome;
    std::vector<uint8_t> bytes;
};

// What the row's button sends for the list position `position` (-1: nothing selected). For the
// Names row, `sppName` and `leName` are the two fields' texts (UTF-8), sent as GBK.
[[nodiscard]] RowFrame BuildRowFrame(const SettingRow& row, int position,
                                     std::string_view sppName = {}, std::string_view leName = {});

// The message shown when the Bluetooth names do not fit, in the interface language.
const char* BluetoothNamesTooLongMessage(int languageFlag);

}  // namespace commands
