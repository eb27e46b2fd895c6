#include "platform/captions.h"

#include "platform/dialog_host.h"

namespace platform {

namespace {
const char* TextOf(const CaptionEntry& entry, int languageFlag) {
    return languageFlag != 0 ? entry.english : entry.chinese;
}
}  // namespace

std::string Caption(std::span<const CaptionEntry> table, int id, int languageFlag) {
    for (const CaptionEntry& entry : table) {
        if (entry.id == id) return TextOf(entry, languageFlag);
    }
    return {};
}

void ApplyCaptions(DialogHost& host, std::span<const CaptionEntry> table, int languageFlag) {
    for (const CaptionEntry& entry : table) host.SetText(entry.id, TextOf(entry, languageFlag));
}

}  // namespace platform
