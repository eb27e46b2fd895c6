#pragma once
// Bilingual caption tables of Tessary's translated windows, in the order captions are applied.

#include <span>

#include "platform/captions.h"

namespace setuptool {

using CaptionEntry = platform::CaptionEntry;

inline constexpr int kMainWindowDialog = 102;

// The table of dialog 102 (main window); empty for any other dialog.
std::span<const CaptionEntry> CaptionTable(int dialogId);

}  // namespace setuptool
