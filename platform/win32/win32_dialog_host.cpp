#include "platform/win32/win32_dialog_host.h"

#include <commctrl.h>

#include <algorithm>
#include <limits>
#include <mutex>
#include <vector>

#include "platform/win32/dialog_template.h"
#include "platform/win32/wide_text.h"

namespace platform {

namespace {
void InitialiseCommonControls() {
    static std::once_flag once;
    std::call_once(once, [] {
        INITCOMMONCONTROLSEX controls{
            sizeof controls, ICC_STANDARD_CLASSES | ICC_INTERNET_CLASSES | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
    });
}

// The dialogs of this thread whose keys the filter sees, innermost last.
thread_local std::vector<Win32DialogHost*> tRunning;
thread_local HHOOK tKeyFilter = nullptr;

bool IsList(ControlKind kind) {
    return kind == ControlKind::ListBox;
}

bool IsCombo(ControlKind kind) {
    return kind == ControlKind::DropDownCombo || kind == ControlKind::DropDownList;
}

bool IsButton(ControlKind kind) {
    switch (kind) {
        case ControlKind::Button:
        case ControlKind::DefaultButton:
        case ControlKind::RadioButton:
        case ControlKind::CheckBox:
            return true;
        default:
            return false;
    }
}

std::wstring WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(got, 0)));
    return text;
}

// A multi-line edit holds CR LF; the windows' logic sees "\n".
std::wstring WithCrLf(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) out += L'\r';
        out += text[i];
    }
    return out;
}

std::wstring WithoutCr(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') continue;
        out += text[i];
    }
    return out;
}
}  // namespace

// ---- Win32UiThread ----

Win32UiThread::Win32UiThread() : threadId_(GetCurrentThreadId()) {}

Win32UiThread::~Win32UiThread() {
    Shut();
}

bool Win32UiThread::IsCurrent() const {
    return GetCurrentThreadId() == threadId_;
}

bool Win32UiThread::Post(std::function<void()> call) const {
    std::function<void()> refused;  // destroyed after the lock is let go
    {
        std::lock_guard lock(mutex_);
        if (window_ == nullptr) {
            refused = std::move(call);
        } else {
            queue_.push_back(std::move(call));
            if (PostMessageW(window_, kRunCalls, 0, 0)) return true;
            refused = std::move(queue_.back());
            queue_.pop_back();
        }
    }
    return false;
}

void Win32UiThread::Open(HWND window) {
    std::lock_guard lock(mutex_);
    window_ = window;
}

void Win32UiThread::Shut() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(mutex_);
        window_ = nullptr;
        dropped.swap(queue_);
    }
}

void Win32UiThread::RunQueued() {
    // One at a time: a call may open a message box, whose loop runs the calls that follow.
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) return;
            call = std::move(queue_.front());
            queue_.pop_front();
        }
        call();
    }
}

std::size_t Win32UiThread::Queued() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

// ---- Win32MessageSink ----

void Win32MessageSink::ShowMessage(const std::string& utf8) {
    Show(utf8, 0);
}

void Win32MessageSink::ShowStopMessage(const std::string& utf8) {
    Show(utf8, MB_ICONSTOP);
}

void Win32MessageSink::Show(const std::string& utf8, UINT icon) {
    host_.Gate().Run([this, &utf8, icon] {
        const HWND owner = host_.hwnd_;
        const std::wstring title = owner ? WindowText(owner) : std::wstring();
        const std::wstring text = WideFromUtf8(utf8);
        host_.Modal([&] { return MessageBoxW(owner, text.c_str(), title.c_str(), MB_OK | icon); });
    });
}

// ---- the keyboard filter of the dialog manager's loops ----

LRESULT CALLBACK DialogKeyFilter(int code, WPARAM wParam, LPARAM lParam) {
    if (code == MSGF_DIALOGBOX) {
        const MSG* msg = reinterpret_cast<const MSG*>(lParam);
        const HWND root = msg->hwnd ? GetAncestor(msg->hwnd, GA_ROOT) : nullptr;
        for (Win32DialogHost* host : tRunning) {
            if (host->hwnd_ == root && root != nullptr) {
                if (host->FilterKey(*msg)) return 1;
                break;
            }
        }
    }
    return CallNextHookEx(tKeyFilter, code, wParam, lParam);
}

// ---- Win32DialogHost ----

Win32DialogHost::Win32DialogHost(const DialogSpec& layout, Win32DialogHost* owner)
    : spec_(layout), owner_(owner) {
    InitialiseCommonControls();
    if (layout.icon != nullptr) {
        iconName_ = layout.icon;
    } else if (owner != nullptr) {
        iconName_ = owner->iconName_;
    }
    for (const ControlDef& def : spec_.controls) {
        if (def.id == kNoId) continue;
        defs_[def.id] = &def;
        if (def.kind == ControlKind::DefaultButton) defaultButton_ = def.id;
    }
}

Win32DialogHost::~Win32DialogHost() {
    gate_.Close();
    thread_.Shut();
    if (bigIcon_) DestroyIcon(bigIcon_);
    if (smallIcon_) DestroyIcon(smallIcon_);
}

const ControlDef* Win32DialogHost::Def(int id) const {
    const auto found = defs_.find(id);
    return found == defs_.end() ? nullptr : found->second;
}

HWND Win32DialogHost::Control(int id) const {
    if (hwnd_ == nullptr || Def(id) == nullptr) return nullptr;
    return GetDlgItem(hwnd_, id);
}

HICON Win32DialogHost::ProgramIcon(int size) const {
    if (iconName_.empty()) return nullptr;
    const std::wstring name = WideFromUtf8(iconName_);
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), name.c_str(), IMAGE_ICON, size,
                                         size, LR_DEFAULTCOLOR));
}

int Win32DialogHost::Run(DialogPresenter& presenter, const std::function<void()>& started) {
    presenter_ = &presenter;
    started_ = &started;
    const std::vector<DWORD> dialogTemplate = DialogTemplate(spec_);
    if (tKeyFilter == nullptr)
        tKeyFilter =
            SetWindowsHookExW(WH_MSGFILTER, DialogKeyFilter, nullptr, GetCurrentThreadId());
    tRunning.push_back(this);
    const INT_PTR result = DialogBoxIndirectParamW(
        GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(dialogTemplate.data()),
        owner_ ? owner_->hwnd_ : nullptr, Procedure, reinterpret_cast<LPARAM>(this));
    tRunning.erase(std::find(tRunning.begin(), tRunning.end(), this));
    if (tRunning.empty() && tKeyFilter != nullptr) {
        UnhookWindowsHookEx(tKeyFilter);
        tKeyFilter = nullptr;
    }
    started_ = nullptr;
    return static_cast<int>(result);
}

INT_PTR CALLBACK Win32DialogHost::Procedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* host = reinterpret_cast<Win32DialogHost*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        host->hwnd_ = window;
        return host->Initialise();
    }
    auto* host = reinterpret_cast<Win32DialogHost*>(GetWindowLongPtrW(window, DWLP_USER));
    return host ? host->Handle(message, wParam, lParam) : FALSE;
}

BOOL Win32DialogHost::Initialise() {
    thread_.Open(hwnd_);
    // A program's window carries its icon; Icon controls show the program's (or the owner's).
    if (owner_ == nullptr) {
        bigIcon_ = ProgramIcon(GetSystemMetrics(SM_CXICON));
        smallIcon_ = ProgramIcon(GetSystemMetrics(SM_CXSMICON));
        if (bigIcon_) SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
        if (smallIcon_)
            SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
    }
    if (bigIcon_ == nullptr) bigIcon_ = ProgramIcon(GetSystemMetrics(SM_CXICON));
    // Every icon static shows it, also those without an id of their own.
    for (HWND child = GetWindow(hwnd_, GW_CHILD); child && bigIcon_;
         child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[16] = {};
        GetClassNameW(child, name, 16);
        const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
        if (lstrcmpiW(name, L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON)
            SendMessageW(child, STM_SETICON, reinterpret_cast<WPARAM>(bigIcon_), 0);
    }
    if (presenter_ != nullptr) presenter_->Attach(*this);
    if (started_ != nullptr && *started_) (*started_)();
    if (ended_) return FALSE;
    if (spec_.initialFocus != 0) {
        if (HWND focus = Control(spec_.initialFocus)) {
            SetFocus(focus);
            return FALSE;
        }
    }
    return TRUE;  // the dialog manager's first tab stop
}

INT_PTR Win32DialogHost::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            return TRUE;
        case WM_TIMER: {
            const auto found = ticks_.find(static_cast<int>(wParam));
            if (found == ticks_.end() || ended_) return TRUE;
            const std::function<void()> tick = found->second;  // it may replace itself
            tick();
            return TRUE;
        }
        case WM_CLOSE:
            CloseBox();
            return TRUE;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == kAboutCommand) {
                if (!busy_ && about_) {
                    const std::function<void()> about = about_;
                    about();
                }
                return TRUE;
            }
            return FALSE;
        case WM_NCDESTROY:
            thread_.Shut();
            hwnd_ = nullptr;
            return FALSE;
        default:
            if (message == Win32UiThread::kRunCalls) {
                thread_.RunQueued();
                return TRUE;
            }
            return FALSE;
    }
}

void Win32DialogHost::OnCommand(int id, int code, HWND control) {
    const ControlDef* def = Def(id);
    if (control == nullptr || def == nullptr) {
        // Esc, or Enter with no default button, from the dialog manager: Esc is the close box.
        if (id == IDCANCEL) CloseBox();
        return;
    }
    if (code == BN_CLICKED && IsButton(def->kind)) {
        Notify(id, Notification::Clicked);
    } else if ((code == CBN_SELCHANGE && IsCombo(def->kind)) ||
               (code == LBN_SELCHANGE && IsList(def->kind))) {
        Notify(id, Notification::SelectionChanged);
    }
}

void Win32DialogHost::Notify(int id, Notification what) {
    if (busy_ || ended_) return;
    // A disabled control takes no input, whatever sent the notification.
    const HWND control = Control(id);
    if (control == nullptr || !IsWindowEnabled(control)) return;
    const auto found = handlers_.find({id, what});
    if (found == handlers_.end()) return;
    const std::function<void()> handler = found->second;  // it may replace itself
    handler();
}

bool Win32DialogHost::FilterKey(const MSG& msg) {
    if (busy_) {
        return (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) ||
               (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST);
    }
    if (msg.message != WM_KEYDOWN || (msg.wParam != VK_RETURN && msg.wParam != VK_ESCAPE))
        return false;
    const HWND focus = GetFocus();
    if (msg.wParam == VK_RETURN && spec_.enterAppendsLineTo != 0) {
        // The window's own Enter rule: a line end at the end of the text in its edit, nothing
        // anywhere else.
        if (focus != nullptr && focus == Control(spec_.enterAppendsLineTo)) AppendLineAtEnd();
        return true;
    }
    // A control that wants the key itself (a dropped-down list closes on it) keeps it.
    const LRESULT code =
        focus ? SendMessageW(focus, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg)) : 0;
    if (code & DLGC_WANTMESSAGE) return false;
    if (msg.wParam == VK_ESCAPE) {
        CloseBox();
        return true;
    }
    // Enter: the dialog manager presses the focused push button, else the default button; with
    // neither, nothing happens.
    if (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) return false;
    const HWND defaultButton = defaultButton_ ? Control(defaultButton_) : nullptr;
    return defaultButton == nullptr || !IsWindowVisible(defaultButton);
}

void Win32DialogHost::AppendLineAtEnd() {
    const HWND edit = Control(spec_.enterAppendsLineTo);
    if (edit == nullptr) return;
    const int end = GetWindowTextLengthW(edit);
    SendMessageW(edit, EM_SETSEL, end, end);
    SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"\r\n"));
    SendMessageW(edit, EM_SCROLLCARET, 0, 0);
}

void Win32DialogHost::CloseBox() {
    // A busy window cannot be ended: closing now would leave its operation without a window.
    if (busy_) return;
    End(kDialogCancel);
}

void Win32DialogHost::Close(int result) {
    if (busy_) return;
    End(result);
}

void Win32DialogHost::End(int result) {
    if (ended_ || hwnd_ == nullptr) return;
    ended_ = true;
    for (const auto& [timer, tick] : ticks_) ::KillTimer(hwnd_, static_cast<UINT_PTR>(timer));
    if (presenter_ != nullptr) presenter_->Closed(result);
    EndDialog(hwnd_, result);
}

std::string Win32DialogHost::Text(int id) const {
    const ControlDef* def = Def(id);
    const HWND control = Control(id);
    if (def == nullptr || control == nullptr) return {};
    if (def->kind == ControlKind::Ipv4Edit) {
        const auto o = Octets(id);
        return std::to_string(o[0]) + '.' + std::to_string(o[1]) + '.' + std::to_string(o[2]) +
               '.' + std::to_string(o[3]);
    }
    if (def->kind == ControlKind::ListBox || def->kind == ControlKind::ProgressBar ||
        def->kind == ControlKind::Icon)
        return {};
    const std::wstring text = WindowText(control);
    return Utf8FromWide(def->kind == ControlKind::MultiLineEdit ? WithoutCr(text) : text);
}

void Win32DialogHost::SetText(int id, std::string_view utf8) {
    const ControlDef* def = Def(id);
    const HWND control = Control(id);
    if (def == nullptr || control == nullptr) return;
    switch (def->kind) {
        case ControlKind::Ipv4Edit:
        case ControlKind::ListBox:
        case ControlKind::DropDownList:
        case ControlKind::ProgressBar:
        case ControlKind::Icon:
            return;
        case ControlKind::MultiLineEdit:
            SetWindowTextW(control, WithCrLf(WideFromUtf8(utf8)).c_str());
            return;
        default:
            SetWindowTextW(control, WideFromUtf8(utf8).c_str());
    }
}

bool Win32DialogHost::Checked(int id) const {
    const ControlDef* def = Def(id);
    const HWND control = Control(id);
    if (def == nullptr || control == nullptr || !IsButton(def->kind)) return false;
    return SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32DialogHost::SetChecked(int id, bool on) {
    const ControlDef* def = Def(id);
    const HWND control = Control(id);
    if (def == nullptr || control == nullptr || !IsButton(def->kind)) return;
    if (on && def->kind == ControlKind::RadioButton) {
        // The radios of a window form one group.
        for (const ControlDef& other : spec_.controls) {
            if (other.kind == ControlKind::RadioButton && other.id != id)
                SendMessageW(GetDlgItem(hwnd_, other.id), BM_SETCHECK, BST_UNCHECKED, 0);
        }
    }
    SendMessageW(control, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

int Win32DialogHost::Position(int list) const {
    const ControlDef* def = Def(list);
    const HWND control = Control(list);
    if (def == nullptr || control == nullptr) return -1;
    LRESULT position = -1;
    if (IsCombo(def->kind)) position = SendMessageW(control, CB_GETCURSEL, 0, 0);
    if (IsList(def->kind)) position = SendMessageW(control, LB_GETCURSEL, 0, 0);
    return position < 0 ? -1 : static_cast<int>(position);
}

void Win32DialogHost::Select(int list, int position) {
    const ControlDef* def = Def(list);
    const HWND control = Control(list);
    if (def == nullptr || control == nullptr) return;
    if (IsCombo(def->kind)) SendMessageW(control, CB_SETCURSEL, position, 0);
    if (IsList(def->kind)) SendMessageW(control, LB_SETCURSEL, position, 0);
}

int Win32DialogHost::AddItem(int list, std::string_view utf8) {
    const ControlDef* def = Def(list);
    const HWND control = Control(list);
    if (def == nullptr || control == nullptr) return -1;
    const std::wstring item = WideFromUtf8(utf8);
    LRESULT position = -1;
    if (IsCombo(def->kind)) {
        position = SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        FitDropWidth(list, item);
    } else if (IsList(def->kind)) {
        position = SendMessageW(control, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
    return position < 0 ? -1 : static_cast<int>(position);
}

void Win32DialogHost::InsertItem(int list, int position, std::string_view utf8) {
    const ControlDef* def = Def(list);
    const HWND control = Control(list);
    if (def == nullptr || control == nullptr) return;
    const std::wstring item = WideFromUtf8(utf8);
    const auto text = reinterpret_cast<LPARAM>(item.c_str());
    if (IsCombo(def->kind)) {
        const LRESULT count = SendMessageW(control, CB_GETCOUNT, 0, 0);
        const WPARAM at = position < 0 || position > count ? static_cast<WPARAM>(-1) : position;
        SendMessageW(control, CB_INSERTSTRING, at, text);
        FitDropWidth(list, item);
    } else if (IsList(def->kind)) {
        const LRESULT count = SendMessageW(control, LB_GETCOUNT, 0, 0);
        const WPARAM at = position < 0 || position > count ? static_cast<WPARAM>(-1) : position;
        SendMessageW(control, LB_INSERTSTRING, at, text);
    }
}

void Win32DialogHost::FitDropWidth(int list, const std::wstring& item) {
    const ControlDef* def = Def(list);
    const HWND combo = Control(list);
    if (def == nullptr || combo == nullptr || !(def->flags & kFitDropWidth)) return;
    // The dropped list grows to its longest entry and 20 pixels more; an entry as high as its text.
    const HDC dc = GetDC(combo);
    if (dc == nullptr) return;
    const auto font = reinterpret_cast<HFONT>(SendMessageW(combo, WM_GETFONT, 0, 0));
    const HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    SIZE size{};
    const bool measured =
        GetTextExtentPoint32W(dc, item.c_str(), static_cast<int>(item.size()), &size) != 0;
    if (old) SelectObject(dc, old);
    ReleaseDC(combo, dc);
    if (!measured) return;
    if (SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0) < size.cy)
        SendMessageW(combo, CB_SETITEMHEIGHT, 0, size.cy);
    if (SendMessageW(combo, CB_GETDROPPEDWIDTH, 0, 0) < size.cx)
        SendMessageW(combo, CB_SETDROPPEDWIDTH, size.cx + 20, 0);
}

void Win32DialogHost::ResetList(int list) {
    const ControlDef* def = Def(list);
    const HWND control = Control(list);
    if (def == nullptr || control == nullptr) return;
    if (IsCombo(def->kind)) SendMessageW(control, CB_RESETCONTENT, 0, 0);
    if (IsList(def->kind)) SendMessageW(control, LB_RESETCONTENT, 0, 0);
}

std::array<uint8_t, 4> Win32DialogHost::Octets(int id) const {
    const ControlDef* def = Def(id);
    const HWND control = Control(id);
    if (def == nullptr || control == nullptr || def->kind != ControlKind::Ipv4Edit) return {};
    DWORD address = 0;
    SendMessageW(control, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address));
    return {static_cast<uint8_t>(FIRST_IPADDRESS(address)),
            static_cast<uint8_t>(SECOND_IPADDRESS(address)),
            static_cast<uint8_t>(THIRD_IPADDRESS(address)),
            static_cast<uint8_t>(FOURTH_IPADDRESS(address))};
}

void Win32DialogHost::SetOctets(int id, const std::array<uint8_t, 4>& o) {
    const ControlDef* def = Def(id);
    const HWND control = Control(id);
    if (def == nullptr || control == nullptr || def->kind != ControlKind::Ipv4Edit) return;
    SendMessageW(control, IPM_SETADDRESS, 0, MAKEIPADDRESS(o[0], o[1], o[2], o[3]));
}

void Win32DialogHost::Enable(int id, bool on) {
    if (const HWND control = Control(id)) EnableWindow(control, on ? TRUE : FALSE);
}

void Win32DialogHost::SetProgress(int bar, int position) {
    const ControlDef* def = Def(bar);
    const HWND control = Control(bar);
    if (def != nullptr && control != nullptr && def->kind == ControlKind::ProgressBar)
        SendMessageW(control, PBM_SETPOS, position, 0);
}

void Win32DialogHost::On(int id, Notification what, std::function<void()> handler) {
    handlers_[{id, what}] = std::move(handler);
}

void Win32DialogHost::SetTimer(int timer, std::chrono::milliseconds period,
                               std::function<void()> tick) {
    if (hwnd_ == nullptr || ended_) return;
    ticks_[timer] = std::move(tick);
    const auto ms = std::clamp<std::chrono::milliseconds::rep>(
        period.count(), kTimerMinimumMs, static_cast<long long>(USER_TIMER_MAXIMUM));
    ::SetTimer(hwnd_, static_cast<UINT_PTR>(timer), static_cast<UINT>(ms), nullptr);
}

void Win32DialogHost::KillTimer(int timer) {
    if (hwnd_ != nullptr) ::KillTimer(hwnd_, static_cast<UINT_PTR>(timer));
}

int Win32DialogHost::Modal(const std::function<int()>& run) {
    ++modalDepth_;
    const int result = run();
    --modalDepth_;
    ApplyEnabled();
    return result;
}

int Win32DialogHost::RunModal(const DialogSpec& layout, DialogPresenter& presenter) {
    return Modal([&] {
        Win32DialogHost dialog(layout, this);
        return dialog.Run(presenter);
    });
}

void Win32DialogHost::ApplyEnabled() {
    // A message box or sub-dialog over the window disables it itself until it closes.
    if (hwnd_ == nullptr || modalDepth_ > 0) return;
    const bool enabled = IsWindowEnabled(hwnd_) != 0;
    if (enabled == !busy_) return;
    if (busy_) {
        const HWND focus = GetFocus();
        focusBeforeBusy_ = focus && IsChild(hwnd_, focus) ? focus : nullptr;
        EnableWindow(hwnd_, FALSE);
        return;
    }
    EnableWindow(hwnd_, TRUE);
    if (GetActiveWindow() != hwnd_) return;
    // The focus goes back where it was, else to the next control that takes it.
    if (focusBeforeBusy_ && IsWindowEnabled(focusBeforeBusy_) && IsWindowVisible(focusBeforeBusy_))
        SetFocus(focusBeforeBusy_);
    else if (GetFocus() == nullptr)
        SendMessageW(hwnd_, WM_NEXTDLGCTL, 0, FALSE);
    focusBeforeBusy_ = nullptr;
}

void Win32DialogHost::SetBusy(bool busy) {
    // No input and no closing, while the window keeps painting and its workers' calls run.
    busy_ = busy;
    ApplyEnabled();
}

void Win32DialogHost::SetAboutCommand(std::string_view item, std::function<void()> command) {
    about_ = std::move(command);
    const HMENU menu = hwnd_ ? GetSystemMenu(hwnd_, FALSE) : nullptr;
    if (menu == nullptr) return;
    const std::wstring text = WideFromUtf8(item);
    if (GetMenuState(menu, kAboutCommand, MF_BYCOMMAND) != static_cast<UINT>(-1)) {
        ModifyMenuW(menu, kAboutCommand, MF_BYCOMMAND | MF_STRING, kAboutCommand, text.c_str());
        return;
    }
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kAboutCommand, text.c_str());
}

void RunWin32Window(const DialogSpec& layout, DialogPresenter& presenter,
                    const std::function<void()>& started) {
    Win32DialogHost host(layout);
    host.Run(presenter, started);
}

}  // namespace platform
