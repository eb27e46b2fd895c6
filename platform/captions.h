#pragma once
// Bilingual caption tables: a window's translated controls with their English and Chinese texts,
// in the order the captions are applied.

#include <span>
#include <string>

namespace platform {

class DialogHost;

struct CaptionEntry {
    int id;
    const char* english;  // UTF-8
    const char* chinese;  // UTF-8
};

// The text of `id` in `table` for the language flag (0 Chinese, any other value English); ""
// when the id is not in the table.
std::string Caption(std::span<const CaptionEntry> table, int id, int languageFlag);

// Sets the caption of every entry's control in the language of `languageFlag`, in table order.
void ApplyCaptions(DialogHost& host, std::span<const CaptionEntry> table, int languageFlag);

}  // namespace platform
