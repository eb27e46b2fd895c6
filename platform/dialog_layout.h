#pragma once
// Dialogs laid out from a table of controls in dialog units, the way the windows were designed:
// every control has its numeric id, kind, caption and rectangle (x, y, w, h). Each toolkit
// backend builds its windows from these tables.

namespace platform {

enum class ControlKind {
    Button,
    DefaultButton,
    RadioButton,    // auto radio button; radios of one dialog form one exclusive group
    CheckBox,       // auto check box
    GroupBox,       // frame, drawn below every other control
    Label,          // static text, wraps like a left-aligned static
    Edit,           // single-line
    MultiLineEdit,  // multi-line with border, vertical scroll bar
    DropDownCombo,  // drop-down combo box with an editable text field
    DropDownList,   // drop-down list, not editable
    ListBox,
    Ipv4Edit,
    ProgressBar,  // range 0..100
    Icon,         // a picture (the program icon)
};

enum ControlFlag : unsigned {
    kNoFlags = 0,
    kHidden = 1u << 0,
    kSorted = 1u << 1,  // combo / list box puts added items at their sorted place
    kDisabled = 1u << 2,
    kReadOnly = 1u << 3,  // edits
    kCentered = 1u << 4,  // labels: centred text
    // Labels whose text changes at run time (status lines, device paths): the accessible name
    // carries the current text ("<accessibleName>: <text>"), so a screen reader reads it.
    kLiveText = 1u << 5,
    // Combo boxes: the dropped list is as wide as its longest item and 20 pixels more.
    kFitDropWidth = 1u << 6,
};

// Id of a static text without an id of its own.
inline constexpr int kNoId = -1;

struct ControlDef {
    int id;
    ControlKind kind;
    const char* caption;  // UTF-8 template text; may be null
    int x, y, w, h;       // dialog units; for combo boxes h is the height of the dropped list
    unsigned flags = kNoFlags;
    // Accessible name of a control without a caption of its own (edits, combos, lists, IPv4
    // fields): taken from the text of control `buddyId` when set, else `accessibleName`.
    int buddyId = 0;
    const char* accessibleName = nullptr;
};

}  // namespace platform
