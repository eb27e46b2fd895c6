#pragma once
// The readable values of a vendor setting frame: addresses, names, list items.

#include <cstdint>
#include <span>
#include <string>

#include "commands/setting_frames.h"

namespace sim {

// The values of a whole frame laid out as `layout` says.
std::string SettingDetail(const commands::FrameLayout& layout, std::span<const uint8_t> frame);

}  // namespace sim
