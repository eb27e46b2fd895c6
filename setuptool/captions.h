#pragma once
// The bilingual captions of Tessary's main window (dialog 102), in the order they are applied.

#include <span>

#include "platform/captions.h"

namespace setuptool {

std::span<const platform::CaptionEntry> MainWindowCaptions();

}  // namespace setuptool
