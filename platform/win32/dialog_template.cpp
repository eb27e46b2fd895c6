#include "platform/win32/dialog_template.h"

#include <commctrl.h>

#include <cstring>
#include <string>

#include "platform/win32/wide_text.h"

namespace platform {

namespace {
constexpr WORD kButton = 0x0080, kEdit = 0x0081, kStatic = 0x0082, kListBox = 0x0083,
               kComboBox = 0x0085;

// The template grows as 16-bit words; DWORDs go in low word first.
class Words {
  public:
    void Word(WORD w) { words_.push_back(w); }
    void Dword(DWORD d) {
        Word(LOWORD(d));
        Word(HIWORD(d));
    }
    void Short(int v) { Word(static_cast<WORD>(static_cast<short>(v))); }
    void Text(const std::wstring& text) {
        for (const wchar_t c : text) Word(static_cast<WORD>(c));
        Word(0);
    }
    void AlignDword() {
        if (words_.size() % 2 != 0) Word(0);
    }
    std::size_t Size() const { return words_.size(); }
    std::vector<DWORD> Take() {
        AlignDword();
        std::vector<DWORD> out(words_.size() / 2);
        std::memcpy(out.data(), words_.data(), words_.size() * sizeof(WORD));
        return out;
    }

  private:
    std::vector<WORD> words_;
};

std::wstring Wide(const char* utf8) {
    return utf8 ? WideFromUtf8(utf8) : std::wstring();
}
}  // namespace

ControlClass ClassOf(const ControlDef& def) {
    const bool sorted = (def.flags & kSorted) != 0;
    const bool readOnly = (def.flags & kReadOnly) != 0;
    switch (def.kind) {
        case ControlKind::Button:
            return {nullptr, kButton, BS_PUSHBUTTON | WS_TABSTOP, 0};
        case ControlKind::DefaultButton:
            return {nullptr, kButton, BS_DEFPUSHBUTTON | WS_TABSTOP, 0};
        case ControlKind::RadioButton:
            return {nullptr, kButton, BS_AUTORADIOBUTTON, 0};
        case ControlKind::CheckBox:
            return {nullptr, kButton, BS_AUTOCHECKBOX | WS_TABSTOP, 0};
        case ControlKind::GroupBox:
            return {nullptr, kButton, BS_GROUPBOX, 0};
        case ControlKind::Label:
            // Texts set at run time show '&' as it is.
            return {
                nullptr, kStatic,
                static_cast<DWORD>(((def.flags & kCentered) ? SS_CENTER : SS_LEFT) | SS_NOPREFIX),
                0};
        case ControlKind::Edit:
            return {nullptr, kEdit,
                    static_cast<DWORD>(ES_AUTOHSCROLL | WS_TABSTOP | (readOnly ? ES_READONLY : 0)),
                    WS_EX_CLIENTEDGE};
        case ControlKind::MultiLineEdit:
            return {nullptr, kEdit,
                    static_cast<DWORD>(ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP |
                                       (readOnly ? ES_READONLY : 0)),
                    WS_EX_CLIENTEDGE};
        case ControlKind::DropDownCombo:
            return {nullptr, kComboBox,
                    static_cast<DWORD>(CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP |
                                       (sorted ? CBS_SORT : 0)),
                    0};
        case ControlKind::DropDownList:
            return {nullptr, kComboBox,
                    static_cast<DWORD>(CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP |
                                       (sorted ? CBS_SORT : 0)),
                    0};
        case ControlKind::ListBox:
            return {nullptr, kListBox,
                    static_cast<DWORD>(LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP |
                                       (sorted ? LBS_SORT : 0)),
                    WS_EX_CLIENTEDGE};
        case ControlKind::Ipv4Edit:
            return {WC_IPADDRESSW, 0, WS_TABSTOP, 0};
        case ControlKind::ProgressBar:
            return {PROGRESS_CLASSW, 0, PBS_SMOOTH | WS_BORDER, 0};
        case ControlKind::Icon:
            return {nullptr, kStatic, SS_ICON, 0};
    }
    return {nullptr, kStatic, SS_LEFT, 0};
}

std::vector<DWORD> DialogTemplate(const DialogSpec& layout) {
    Words t;
    t.Word(1);       // dlgVer
    t.Word(0xFFFF);  // signature: DLGTEMPLATEEX
    t.Dword(0);      // helpID
    t.Dword(0);      // exStyle
    t.Dword(kDialogStyle);
    t.Word(static_cast<WORD>(layout.controls.size()));
    t.Short(0);
    t.Short(0);
    t.Short(layout.width);
    t.Short(layout.height);
    t.Word(0);  // no menu
    t.Word(0);  // the dialog class
    t.Text(Wide(layout.title));
    t.Word(static_cast<WORD>(layout.font.points));
    t.Word(FW_NORMAL);
    t.Word(MAKEWORD(FALSE, DEFAULT_CHARSET));  // italic, charset
    t.Text(Wide(layout.font.face));

    bool inRadioRun = false;
    for (const ControlDef& def : layout.controls) {
        const ControlClass cls = ClassOf(def);
        DWORD style = WS_CHILD | cls.style;
        if (!(def.flags & kHidden)) style |= WS_VISIBLE;
        if (def.flags & kDisabled) style |= WS_DISABLED;
        // One group per run of radio buttons, reached with Tab at its first button; the control
        // after the run starts a group of its own, which ends the run's.
        const bool radio = def.kind == ControlKind::RadioButton;
        if (radio != inRadioRun) style |= WS_GROUP;
        if (radio && !inRadioRun) style |= WS_TABSTOP;
        inRadioRun = radio;

        t.AlignDword();
        t.Dword(0);  // helpID
        t.Dword(cls.exStyle);
        t.Dword(style);
        t.Short(def.x);
        t.Short(def.y);
        t.Short(def.w);
        t.Short(def.h);
        t.Dword(static_cast<DWORD>(def.id));
        if (cls.name != nullptr) {
            t.Text(cls.name);
        } else {
            t.Word(0xFFFF);
            t.Word(cls.atom);
        }
        t.Text(def.kind == ControlKind::Icon ? std::wstring() : Wide(def.caption));
        t.Word(0);  // no creation data
    }
    return t.Take();
}

}  // namespace platform
