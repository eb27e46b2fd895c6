#pragma once
// One open window as its logic sees it, in the terms the windows were designed in: controls
// addressed by their numeric ids, texts in UTF-8, handlers per control notification, timers by
// id, modal sub-dialogs, message boxes and blocking calls from worker threads. Each toolkit
// backend implements DialogHost; a dialog's presenter (its logic) sees nothing else of it.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "platform/dialog_layout.h"

namespace platform {

class MessageSink;
class UiCallGate;
class DialogHost;

// Results a window ends with.
inline constexpr int kDialogOk = 1;
inline constexpr int kDialogCancel = 2;  // the close box and Esc

// The font a window was designed with. The Win32 backend builds the window with it (the system
// substitutes a face it does not have); the Qt backend uses its own CJK sans at pointSize.
struct DesignFont {
    const char* face = "MS Shell Dlg";  // UTF-8
    int points = 8;
};

// What a window is built from.
struct DialogSpec {
    const char* title = "";  // UTF-8
    std::span<const ControlDef> controls;
    int width = 0, height = 0;  // client area in dialog units
    double pointSize = 10.0;
    DesignFont font;
    // The program's icon by name: the window's icon and the picture of its Icon controls. Null:
    // the icon of the window that opens it.
    const char* icon = nullptr;
    // The control with the focus when the window opens; 0 leaves it to the toolkit.
    int initialFocus = 0;
    // Non-zero: the keyboard's Enter appends a line end to this multi-line edit when it has the
    // focus, wherever the caret was, and does nothing anywhere else (no button is pressed, the
    // window does not close). Zero: Enter presses the focused push button, else the default one.
    int enterAppendsLineTo = 0;
};

// What a control tells its window.
enum class Notification {
    Clicked,           // a push button was pressed; a check box or radio button changed state
    SelectionChanged,  // the user picked another line of a list box or drop-down list
};

// A window's logic: fills the lists, sets the captions, binds a handler to each control id and
// builds the bytes.
class DialogPresenter {
  public:
    virtual ~DialogPresenter() = default;
    // The window's controls exist: fill, caption and bind them.
    virtual void Attach(DialogHost& host) = 0;
    // The window has ended with `result` (its own Close, the close box or Esc); its controls
    // still exist, its timers are stopped. Called once.
    virtual void Closed(int /*result*/) {}
};

class DialogHost {
  public:
    virtual ~DialogHost() = default;

    // Caption of a button, check box, group box or label; text of an edit or of a combo box's
    // field (the selected item of a drop-down list); "a.b.c.d" of an IPv4 control. Multi-line
    // text ends lines with "\n". "" for an unknown id.
    virtual std::string Text(int id) const = 0;
    // Sets it; a label named after its text (kLiveText) and the controls named after this one
    // (buddyId) follow.
    virtual void SetText(int id, std::string_view utf8) = 0;

    virtual bool Checked(int id) const = 0;
    // Checking a radio button unchecks the others. No notification follows.
    virtual void SetChecked(int id, bool on) = 0;

    // Lists (list boxes, drop-down lists, combo boxes). Positions count from 0; -1 is "none",
    // also for a combo box whose typed text names no item.
    virtual int Position(int list) const = 0;
    // Selects `position` (-1: none). No notification follows.
    virtual void Select(int list, int position) = 0;
    // Adds an item at its sorted place in a kSorted list, else at the end; returns its position.
    // The selection stays as it was ("none" in a list that had no items).
    virtual int AddItem(int list, std::string_view utf8) = 0;
    // Inserts an item at `position` (the end when out of range), whatever the list's sorting.
    virtual void InsertItem(int list, int position, std::string_view utf8) = 0;
    // Removes every item (and a combo box's text).
    virtual void ResetList(int list) = 0;

    // The four fields of an IPv4 control, first octet first; an empty field reads as 0.
    virtual std::array<uint8_t, 4> Octets(int id) const = 0;
    virtual void SetOctets(int id, const std::array<uint8_t, 4>& octets) = 0;

    virtual void Enable(int id, bool on) = 0;
    // Progress bar position, 0..100.
    virtual void SetProgress(int bar, int position) = 0;

    // Calls `handler` on the window's thread whenever control `id` sends `what`; one handler per
    // control and notification, a later one replaces it.
    virtual void On(int id, Notification what, std::function<void()> handler) = 0;
    // The shortest period a timer runs at (the system's own floor for window timers).
    static constexpr int kTimerMinimumMs = 10;
    // Starts (or restarts with a new period) timer `timer` of this window; `tick` runs on the
    // window's thread every `period` (at least kTimerMinimumMs) until KillTimer or the window's
    // end.
    virtual void SetTimer(int timer, std::chrono::milliseconds period,
                          std::function<void()> tick) = 0;
    virtual void KillTimer(int timer) = 0;

    // Opens a modal sub-dialog built from `layout` with `presenter` attached; returns its result
    // once it has ended.
    virtual int RunModal(const DialogSpec& layout, DialogPresenter& presenter) = 0;
    // Ends this window with `result`.
    virtual void Close(int result) = 0;
    // While busy the window keeps painting but takes no input: no notifications reach the
    // handlers, the close box, Esc and the window menu do nothing.
    virtual void SetBusy(bool busy) = 0;
    // The window menu's extra item: `item` (UTF-8, "&" marks the mnemonic) runs `command`.
    virtual void SetAboutCommand(std::string_view item, std::function<void()> command) = 0;

    // Message boxes over this window; callable from any thread, through Gate().
    virtual MessageSink& Messages() = 0;
    // Workers' blocking calls onto this window's thread. Close it before ending the workers
    // that use it.
    virtual UiCallGate& Gate() = 0;
};

}  // namespace platform
