#pragma once
// Checks shared by the window tests: every visible caption fits its control, and screenshots.

#include <QWidget>
#include <span>

#include "platform/qt/dialog_builder.h"

namespace testsupport {

// Every visible caption of `controls` in `dialog` fits: one line within the width for buttons
// and frames, wrapped labels within the height; the statics without id as well.
void ExpectCaptionsFit(const QWidget& dialog, std::span<const platform::ControlDef> controls);

// Saves `window` as `name` in the folder TESSARY_SHOT_DIR names; nothing when it is unset.
void SaveShot(QWidget& window, const char* name);

}  // namespace testsupport
