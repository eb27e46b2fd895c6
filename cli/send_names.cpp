#include "cli/send_names.h"

#include <algorithm>
#include <cstdio>

#include "cli/text_args.h"
#include "commands/factory_frames.h"
#include "commands/list_items.h"
#include "commands/one_click.h"
#include "commands/setting_frames.h"
#include "commands/settings_rows.h"
#include "commands/voice_frames.h"
#include "netcfg/address_set.h"
#include "netcfg/wifi_frames.h"

namespace cli {
namespace {

using Values = std::span<const std::string>;
constexpr int kEnglish = 1;  // the language flag for English texts
constexpr int kChinese = 0;

BuiltCommand Error(std::string text) {
    return {{}, std::move(text)};
}

BuiltCommand Bytes(std::vector<uint8_t> bytes) {
    return {std::move(bytes), {}};
}

// A window's list: its items in both languages (the same vector when they do not differ) and
// the positions it sends.
struct Choices {
    std::vector<std::string> english;
    std::vector<std::string> chinese;
    int low = 0;
    int high = -1;  // last position sent; -1: the last item

    int Last() const { return high >= 0 ? high : static_cast<int>(english.size()) - 1; }
};

std::vector<std::string> Strings(std::span<const char* const> items) {
    return std::vector<std::string>(items.begin(), items.end());
}

// A position as a number, or the item's text (English without regard to case, or Chinese).
std::optional<int> PickPosition(const Choices& choices, std::string_view value) {
    int position = -1;
    if (const auto n = ParseUnsigned(value, 1000)) {
        position = static_cast<int>(*n);
    } else {
        for (std::size_t i = 0; i < choices.english.size() && position < 0; ++i) {
            if (!value.empty() && (LowerAscii(choices.english[i]) == LowerAscii(value) ||
                                   (i < choices.chinese.size() && choices.chinese[i] == value)))
                position = static_cast<int>(i);
        }
    }
    if (position < choices.low || position > choices.Last() ||
        position >= static_cast<int>(choices.english.size()))
        return std::nullopt;
    return position;
}

std::vector<ValueMeaning> Meanings(const Choices& choices) {
    std::vector<ValueMeaning> out;
    for (int i = choices.low; i <= choices.Last(); ++i) {
        const auto at = static_cast<std::size_t>(i);
        std::string meaning = choices.english[at].empty() ? "(empty item)" : choices.english[at];
        if (at < choices.chinese.size() && choices.chinese[at] != choices.english[at])
            meaning += " / " + choices.chinese[at];
        out.push_back({std::to_string(i), meaning});
    }
    return out;
}

// "on|off" for a short list of single words, else "N".
std::string ArgumentsOf(const Choices& choices) {
    const int count = choices.Last() - choices.low + 1;
    if (count > 2 || choices.low != 0) return "N";
    std::string words;
    for (int i = 0; i < count; ++i) {
        const std::string& item = choices.english[static_cast<std::size_t>(i)];
        if (item.empty() || item.find(' ') != std::string::npos) return "N";
        words += (i > 0 ? "|" : "") + LowerAscii(item);
    }
    return words;
}

std::string ValueError(const std::string& name, const Choices& choices, std::string_view value) {
    return "bad value '" + std::string(value) + "' for " + name + ": use a position " +
           std::to_string(choices.low) + ".." + std::to_string(choices.Last()) +
           " or an item's text (send --list shows them)";
}

// Checks the count of values; the error names the expected form.
bool Arity(const SendName& entry, Values values, std::size_t count, std::string& error) {
    if (values.size() == count) return true;
    error = entry.name + " takes " +
            (count == 0 ? std::string("no value")
                        : std::to_string(count) + (count == 1 ? " value: " : " values: ") +
                              entry.arguments) +
            " (" + std::to_string(values.size()) + " given)";
    return false;
}

// The entries are built once; the builders find their own entry through these helpers.
class Table {
  public:
    Table() {
        AddOneClicks();
        AddSettingRows();
        AddVoice();
        AddFactory();
        AddNetwork();
    }
    const std::vector<SendName>& Names() const { return names_; }

  private:
    using Builder = std::function<BuiltCommand(const SendName&, Values, const BuildContext&)>;

    void Add(std::string name, std::string arguments, std::vector<uint8_t> codes,
             std::vector<ValueMeaning> values, Builder build, std::string description = {}) {
        if (description.empty()) {
            for (const uint8_t code : codes) {
                const commands::FrameLayout* frame = commands::FindFrameLayout(code);
                if (!description.empty()) description += "; ";
                description += frame != nullptr ? frame->setting : "?";
            }
        }
        SendName entry{std::move(name),        std::move(arguments), std::move(codes),
                       std::move(description), std::move(values),    nullptr};
        const std::size_t index = names_.size();
        names_.push_back(std::move(entry));
        // The builder gets its entry for the error texts; the table never moves after set-up.
        names_[index].build = [this, index, build](Values values, const BuildContext& context) {
            return build(names_[index], values, context);
        };
    }

    // A button without parameter.
    void AddFixed(std::string name, std::vector<uint8_t> codes, int button,
                  std::string description = {}) {
        Add(
            std::move(name), "", std::move(codes), {},
            [button](const SendName& entry, Values values, const BuildContext&) {
                std::string error;
                if (!Arity(entry, values, 0, error)) return Error(error);
                return Bytes(commands::FindOneClick(button)->Build());
            },
            std::move(description));
    }

    // Two buttons: one for "on", one for "off".
    void AddOnOff(std::string name, uint8_t code, int onButton, int offButton) {
        const auto value = [](int button) {
            char text[16];
            std::snprintf(text, sizeof text, "value %02X",
                          commands::FindOneClick(button)->Build()[4]);
            return std::string(text);
        };
        Add(std::move(name), "on|off", {code}, {{"on", value(onButton)}, {"off", value(offButton)}},
            [onButton, offButton](const SendName& entry, Values values, const BuildContext&) {
                std::string error;
                if (!Arity(entry, values, 1, error)) return Error(error);
                const std::string value = LowerAscii(values[0]);
                if (value != "on" && value != "off")
                    return Error("bad value '" + values[0] + "' for " + entry.name +
                                 ": use on or off");
                return Bytes(commands::FindOneClick(value == "on" ? onButton : offButton)->Build());
            });
    }

    // A list-driven command: `frame` builds the bytes from the picked position.
    void AddChoice(std::string name, std::vector<uint8_t> codes, Choices choices,
                   std::function<BuiltCommand(int)> frame) {
        const std::string arguments = ArgumentsOf(choices);
        std::vector<ValueMeaning> values = Meanings(choices);
        Add(std::move(name), arguments, std::move(codes), std::move(values),
            [choices, frame](const SendName& entry, Values values, const BuildContext&) {
                std::string error;
                if (!Arity(entry, values, 1, error)) return Error(error);
                const auto position = PickPosition(choices, values[0]);
                if (!position) return Error(ValueError(entry.name, choices, values[0]));
                return frame(*position);
            });
    }

    void AddOneClicks() {
        AddFixed("cut", {}, 1004, "paper cut (ESC/POS: LF LF, GS V 1)");
        AddFixed("drawer", {}, 1005, "cash drawer kick (ESC/POS: ESC p 1 1 0)");
        AddChoice("beep", {0x6A}, {Strings(commands::BeeperModeItems()), {}}, [](int position) {
            return Bytes(commands::FindOneClick(1048)->Build(position));
        });
        const auto feed = Strings(commands::BlankFeedItems());
        AddChoice("feed", {0x6B}, {feed, feed}, [](int position) {
            return Bytes(commands::FindOneClick(1050)->Build(position));
        });
        AddFixed("factory-restore", {0x6E}, 1079);
        AddFixed("width-58", {0x70}, 1080);
        AddOnOff("light", 0x71, 1081, 1082);
        AddOnOff("sound", 0x72, 1083, 1084);
        AddOnOff("feed-after-cut", 0x73, 1086, 1087);
        AddOnOff("router-auto", 0x7E, 1099, 1100);
        AddFixed("self-test", {0x80}, 1103);
    }

    void AddSettingRows() {
        for (const commands::SettingRow& row : commands::SettingRows()) {
            const commands::SettingRow* r = &row;
            switch (row.value) {
                case commands::RowValue::Inert:
                    break;
                case commands::RowValue::Fixed:
                    Add(row.name, "", {row.code}, {},
                        [r](const SendName& entry, Values values, const BuildContext&) {
                            std::string error;
                            if (!Arity(entry, values, 0, error)) return Error(error);
                            return Bytes(commands::BuildRowFrame(*r, -1).bytes);
                        });
                    break;
                case commands::RowValue::Names:
                    Add(row.name, "SPP-NAME LE-NAME", {row.code},
                        {{"SPP-NAME",
                          std::string("classic name, e.g. ") + commands::kDefaultSppName},
                         {"LE-NAME", std::string("BLE name, e.g. ") + commands::kDefaultLeName}},
                        [r](const SendName& entry, Values values, const BuildContext&) {
                            std::string error;
                            if (!Arity(entry, values, 2, error)) return Error(error);
                            commands::RowFrame frame =
                                commands::BuildRowFrame(*r, -1, values[0], values[1]);
                            if (frame.outcome != commands::RowOutcome::Send)
                                return Error(commands::BluetoothNamesTooLongMessage(kEnglish));
                            return Bytes(std::move(frame.bytes));
                        });
                    break;
                case commands::RowValue::ListPosition:
                case commands::RowValue::CodePage:
                case commands::RowValue::Density: {
                    Choices choices{commands::SettingItems(row, kEnglish),
                                    commands::SettingItems(row, kChinese)};
                    if (row.bounded) {
                        choices.low = row.low;
                        choices.high =
                            std::min(row.high, static_cast<int>(choices.english.size()) - 1);
                    }
                    AddChoice(row.name, {row.code}, std::move(choices), [r](int position) {
                        commands::RowFrame frame = commands::BuildRowFrame(*r, position);
                        if (frame.outcome != commands::RowOutcome::Send)
                            return Error(std::string(r->name) + ": position out of range");
                        return Bytes(std::move(frame.bytes));
                    });
                    break;
                }
            }
        }
    }

    void AddVoice() {
        Add("volume", "up|down", {0x79, 0x7A},
            {{"up", "one step louder"}, {"down", "one step softer"}},
            [](const SendName& entry, Values values, const BuildContext&) {
                std::string error;
                if (!Arity(entry, values, 1, error)) return Error(error);
                const std::string value = LowerAscii(values[0]);
                if (value == "up") return Bytes(commands::VolumeUpFrame());
                if (value == "down") return Bytes(commands::VolumeDownFrame());
                return Error("bad value '" + values[0] + "' for volume: use up or down");
            });
        AddChoice("alarm-voice", {0x7B}, {Strings(commands::AlarmVoiceItems()), {}},
                  [](int position) { return Bytes(commands::AlarmVoiceFrame(position)); });
        AddChoice("alarm-interval", {0x7D},
                  {Strings(commands::AlarmIntervalItems(kEnglish)),
                   Strings(commands::AlarmIntervalItems(kChinese))},
                  [](int position) { return Bytes(commands::AlarmIntervalFrame(position)); });
    }

    void AddFactory() {
        Add("factory", "quiet|signals", {0x76, 0x77},
            {{"quiet", "factory settings, sound and light signals off"},
             {"signals", "factory settings, sound and light signals on"}},
            [](const SendName& entry, Values values, const BuildContext& context) {
                std::string error;
                if (!Arity(entry, values, 1, error)) return Error(error);
                const std::string value = LowerAscii(values[0]);
                if (value != "quiet" && value != "signals")
                    return Error("bad value '" + values[0] + "' for factory: use quiet or signals");
                const auto set = value == "quiet" ? commands::FactorySet::Quiet
                                                  : commands::FactorySet::SoundAndLight;
                return Bytes(
                    commands::FactoryFrame(set, commands::LocalDateOf(context.nowSeconds)));
            });
    }

    // Reads the dotted addresses among `values`; the error names the bad one.
    static std::optional<std::vector<Ipv4>> Addresses(Values values, std::string& error) {
        std::vector<Ipv4> out;
        for (const std::string& value : values) {
            const auto ip = ParseIpv4(value);
            if (!ip) {
                error = "bad IPv4 address '" + value + "': write it as 192.168.0.199";
                return std::nullopt;
            }
            out.push_back(*ip);
        }
        return out;
    }

    static BuiltCommand Wifi(netcfg::WifiFrame frame) {
        if (frame.tooLong != netcfg::WifiTooLong::None)
            return Error(netcfg::WifiTooLongMessage(frame.tooLong, kEnglish));
        return Bytes(std::move(frame.bytes));
    }

    void AddNetwork() {
        Add("set-ip", "NEW MASK GATEWAY", {0x64}, {},
            [](const SendName& entry, Values values, const BuildContext&) {
                std::string error;
                if (!Arity(entry, values, 3, error)) return Error(error);
                const auto ips = Addresses(values, error);
                if (!ips) return Error(error);
                return Bytes(netcfg::IpSettingFrame((*ips)[0], (*ips)[1], (*ips)[2]));
            });
        Add("dhcp", "on|off", {0x65}, {{"on", ""}, {"off", ""}},
            [](const SendName& entry, Values values, const BuildContext&) {
                std::string error;
                if (!Arity(entry, values, 1, error)) return Error(error);
                const std::string value = LowerAscii(values[0]);
                if (value != "on" && value != "off")
                    return Error("bad value '" + values[0] + "' for dhcp: use on or off");
                return Bytes(netcfg::DhcpFrame(value == "on"));
            });
        Add("mac", "XX:XX:XX:XX:XX:XX", {0x67}, {},
            [](const SendName& entry, Values values, const BuildContext&) {
                std::string error;
                if (!Arity(entry, values, 1, error)) return Error(error);
                const auto mac = ParseMac(values[0]);
                if (!mac)
                    return Error("bad MAC address '" + values[0] +
                                 "': write it as XX:XX:XX:XX:XX:XX in hexadecimal");
                return Bytes(netcfg::MacSettingFrame(*mac));
            });
        Add("wifi", "SSID PASSWORD", {0x68}, {},
            [](const SendName& entry, Values values, const BuildContext&) {
                std::string error;
                if (!Arity(entry, values, 2, error)) return Error(error);
                return Wifi(netcfg::CredentialsFrame(values[0], values[1]));
            });
        Add("wifi-static", "IP MASK GATEWAY", {0x69}, {},
            [](const SendName& entry, Values values, const BuildContext&) {
                std::string error;
                if (!Arity(entry, values, 3, error)) return Error(error);
                const auto ips = Addresses(values, error);
                if (!ips) return Error(error);
                return Bytes(netcfg::StaticAddressFrame((*ips)[0], (*ips)[1], (*ips)[2]));
            });
        Add("wifi-restore", "SSID PASSWORD", {0x6F}, {},
            [](const SendName& entry, Values values, const BuildContext&) {
                std::string error;
                if (!Arity(entry, values, 2, error)) return Error(error);
                return Wifi(netcfg::WifiRestoreFrame(values[0], values[1]));
            });
    }

    std::vector<SendName> names_;
};

const Table& TheTable() {
    static const Table table;
    return table;
}

}  // namespace

const std::vector<SendName>& SendNames() {
    return TheTable().Names();
}

const SendName* FindSendName(std::string_view name) {
    const auto& names = SendNames();
    const auto it = std::find_if(names.begin(), names.end(),
                                 [name](const SendName& entry) { return entry.name == name; });
    return it != names.end() ? &*it : nullptr;
}

BuiltCommand BuildSendCommand(std::string_view name, std::span<const std::string> values,
                              const BuildContext& context) {
    const SendName* entry = FindSendName(name);
    if (entry == nullptr)
        return Error("unknown name '" + std::string(name) + "' (send --list shows the names)");
    return entry->build(values, context);
}

std::string SendListText() {
    std::string text;
    for (const SendName& entry : SendNames()) {
        std::string head = entry.name + (entry.arguments.empty() ? "" : " " + entry.arguments);
        std::string codes;
        for (const uint8_t code : entry.codes) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02X", code);
            codes += (codes.empty() ? "" : "/") + std::string(hex);
        }
        if (codes.empty()) codes = "--";
        head.resize(std::max<std::size_t>(head.size() + 1, 36), ' ');
        codes.resize(std::max<std::size_t>(codes.size() + 1, 7), ' ');
        text += head + codes + entry.description + "\n";
        for (const ValueMeaning& value : entry.values) {
            std::string line = "    " + value.value;
            if (!value.meaning.empty()) {
                line.resize(std::max<std::size_t>(line.size() + 2, 12), ' ');
                line += value.meaning;
            }
            text += line + "\n";
        }
    }
    return text;
}

}  // namespace cli
