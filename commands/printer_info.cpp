#include "commands/printer_info.h"

#include <algorithm>

namespace commands {
namespace {

constexpr uint8_t kTextHeader = 0x5F;
constexpr uint8_t kProcessHeader = 0x37;
constexpr uint8_t kProcessIdentifier = 0x22;

bool Printable(uint8_t b) {
    return b >= 0x20 && b <= 0x7E;
}

struct InfoItem {
    uint8_t n;
    const char* name;
    uint8_t PrinterIdentity::*id;        // a one-byte answer, or
    std::string PrinterIdentity::*text;  // a text answer
};

constexpr InfoItem kItems[] = {
    {1, "model ID", &PrinterIdentity::modelId, nullptr},
    {2, "type ID", &PrinterIdentity::typeId, nullptr},
    {3, "version ID", &PrinterIdentity::versionId, nullptr},
    {65, "firmware version", nullptr, &PrinterIdentity::firmware},
    {66, "maker", nullptr, &PrinterIdentity::maker},
    {67, "model", nullptr, &PrinterIdentity::model},
    {68, "serial number", nullptr, &PrinterIdentity::serialNumber},
    {69, "language", nullptr, &PrinterIdentity::language},
};

const InfoItem* FindItem(uint8_t n) {
    if (n >= 49 && n <= 51) n = static_cast<uint8_t>(n - 48);  // the IDs also as "1" to "3"
    for (const InfoItem& item : kItems) {
        if (item.n == n) return &item;
    }
    return nullptr;
}

}  // namespace

bool IsInfoText(std::string_view text) {
    return text.size() <= kMaxInfoText && std::all_of(text.begin(), text.end(), [](char c) {
               return Printable(static_cast<uint8_t>(c));
           });
}

const char* PrinterInfoName(uint8_t n) {
    const InfoItem* item = FindItem(n);
    return item != nullptr ? item->name : nullptr;
}

std::optional<std::vector<uint8_t>> PrinterInfoAnswer(const PrinterIdentity& identity, uint8_t n) {
    const InfoItem* item = FindItem(n);
    if (item == nullptr) return std::nullopt;
    if (item->id != nullptr) return std::vector<uint8_t>{identity.*(item->id)};
    std::vector<uint8_t> answer{kTextHeader};
    for (const char c : identity.*(item->text)) {
        // Never a NUL or control byte inside: the answer would end early.
        if (answer.size() > kMaxInfoText || !Printable(static_cast<uint8_t>(c))) break;
        answer.push_back(static_cast<uint8_t>(c));
    }
    answer.push_back(0x00);
    return answer;
}

std::optional<std::array<uint8_t, 4>> ProcessIdOf(std::span<const uint8_t> c) {
    if (c.size() != 11 || c[0] != 0x1D || c[1] != '(' || c[2] != 'H' || c[3] != 6 || c[4] != 0 ||
        c[5] != 48 || c[6] != 48)
        return std::nullopt;
    std::array<uint8_t, 4> id{};
    std::copy(c.begin() + 7, c.end(), id.begin());
    if (!std::all_of(id.begin(), id.end(), Printable)) return std::nullopt;
    return id;
}

std::array<uint8_t, 7> ProcessIdResponse(const std::array<uint8_t, 4>& id) {
    return {kProcessHeader, kProcessIdentifier, id[0], id[1], id[2], id[3], 0x00};
}

}  // namespace commands
