#pragma once
// The in-memory dialog template (DLGTEMPLATEEX) of a window's control table. The dialog manager
// converts dialog units with the dialog's font itself, so the table's rectangles go in as they
// stand (a combo box's height is that of its dropped list, as in a resource script).

#include <windows.h>

#include <vector>

#include "platform/dialog_host.h"

namespace platform {

// The platform's control class and styles of a control kind.
struct ControlClass {
    const wchar_t* name;  // a class name, or null for a predefined class given by `atom`
    WORD atom;    // 0x0080 Button, 0x0081 Edit, 0x0082 Static, 0x0083 ListBox, 0x0085 ComboBox
    DWORD style;  // without WS_CHILD, WS_VISIBLE, WS_DISABLED, WS_GROUP
    DWORD exStyle;
};
ControlClass ClassOf(const ControlDef& def);

// Styles of the programs' modal dialogs: caption, system menu and close box, modal frame, no
// minimise or maximise box; the font of the layout; centred.
inline constexpr DWORD kDialogStyle =
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER;

// The template, DWORD-aligned as DialogBoxIndirectParamW wants it. Controls in table order (the
// tab order); a run of radio buttons forms one group; hidden and disabled ones start that way.
std::vector<DWORD> DialogTemplate(const DialogSpec& layout);

}  // namespace platform
