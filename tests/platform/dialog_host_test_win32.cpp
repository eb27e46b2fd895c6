// The Win32 window host on a real dialog under the dialog manager: the template made from a
// control table, controls by id, notifications from input only, the keyboard rules, timers,
// busy windows, the system menu, message boxes, sub-dialogs, and workers' blocking calls through
// the private message, also when the window goes away under them.

#include <windows.h>
// After windows.h:
#include <commctrl.h>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/dialog_template.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_dialog_host.h"
#include "tests/fakes/wait.h"
#include "tests/platform/host_contract.h"

namespace {

using namespace std::chrono_literals;
using platform::ControlDef;
using platform::Notification;
using platform::Win32DialogHost;
using K = platform::ControlKind;

using hosttest::kTable;

platform::DialogSpec Layout(int enterLine = 0, bool withDefault = true) {
    static constexpr std::array<ControlDef, 3> kNoDefault{{
        {3, K::Button, "Quit", 50, 5, 40, 12},
        {21, K::Edit, nullptr, 40, 35, 60, 12},
        {26, K::MultiLineEdit, nullptr, 5, 125, 120, 30},
    }};
    platform::DialogSpec layout = hosttest::Layout("宿主 Host", enterLine);
    if (!withDefault) layout.controls = kNoDefault;
    layout.font = {"Tahoma", 8};
    return layout;
}

// `started` of Run runs once the window is up, inside its modal loop.
using hosttest::Probe;

// Runs `step` once the window's queue is empty (posted keys handled): from a one-shot timer,
// whose tick comes only when nothing else waits.
void Then(Win32DialogHost& host, std::function<void()> step) {
    static int next = 1000;
    const int timer = ++next;
    host.SetTimer(timer, 10ms, [&host, timer, step = std::move(step)] {
        host.KillTimer(timer);
        step();
    });
}

// Runs `host` with `body` called once it is up and shown; a window the test leaves open is ended
// after 10 s with -2 and counts as a failure.
int RunWindow(Win32DialogHost& host, Probe& probe, const std::function<void()>& body) {
    return host.Run(probe, [&] {
        host.SetTimer(99, 10s, [&host] {
            ADD_FAILURE() << "the test left its window open";
            host.SetBusy(false);
            host.Close(-2);
        });
        Then(host, body);
    });
}

// The texts of the statics in `window`.
std::wstring StaticTexts(HWND window) {
    std::wstring texts;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[16] = {}, text[256] = {};
        GetClassNameW(child, name, 16);
        if (_wcsicmp(name, L"Static") == 0 && GetWindowTextW(child, text, 256) > 0) texts += text;
    }
    return texts;
}

void PostKey(HWND target, WPARAM key) {
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

std::wstring ClassName(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring TextOf(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

// The modal window of this thread over `owner` (a message box or sub-dialog), or null.
HWND ModalOver(HWND owner) {
    struct Search {
        HWND owner, found;
    } search{owner, nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM data) {
            auto* s = reinterpret_cast<Search*>(data);
            if (GetWindow(window, GW_OWNER) != s->owner || !IsWindowVisible(window)) return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

TEST(Win32Host, TheTemplateMakesEveryControlOfTheTable) {
    Win32DialogHost host(Layout());
    Probe probe;
    RunWindow(host, probe, [&] {
        const HWND dialog = host.Window();
        EXPECT_EQ(TextOf(dialog), L"宿主 Host");
        const LONG_PTR style = GetWindowLongPtrW(dialog, GWL_STYLE);
        EXPECT_TRUE(style & WS_SYSMENU);
        EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof font,
                   &font);
        EXPECT_STREQ(font.lfFaceName, L"Tahoma");

        const std::vector<std::pair<int, std::wstring>> classes{
            {1, L"Button"},        {10, L"Button"},   {12, L"Button"},  {20, L"Static"},
            {21, L"Edit"},         {22, L"ComboBox"}, {23, L"ListBox"}, {24, WC_IPADDRESSW},
            {25, PROGRESS_CLASSW}, {26, L"Edit"},     {27, L"Static"},  {28, L"Button"}};
        for (const auto& [id, name] : classes) {
            const HWND control = host.Control(id);
            ASSERT_NE(control, nullptr) << id;
            EXPECT_EQ(_wcsicmp(ClassName(control).c_str(), name.c_str()), 0) << id;
        }
        // Rectangles in dialog units as they stand, converted by the dialog manager.
        for (const int id : {1, 21, 23, 24, 26}) {
            const ControlDef* def = nullptr;
            for (const ControlDef& d : kTable)
                if (d.id == id) def = &d;
            RECT expected{def->x, def->y, def->x + def->w, def->y + def->h};
            MapDialogRect(dialog, &expected);
            RECT actual{};
            GetWindowRect(host.Control(id), &actual);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
            EXPECT_EQ(actual.left, expected.left) << id;
            EXPECT_EQ(actual.top, expected.top) << id;
            EXPECT_EQ(actual.right - actual.left, expected.right - expected.left) << id;
        }
        const auto styleOf = [&](int id) { return GetWindowLongPtrW(host.Control(id), GWL_STYLE); };
        EXPECT_EQ(styleOf(1) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
        EXPECT_EQ(styleOf(10) & BS_TYPEMASK, BS_AUTORADIOBUTTON);
        EXPECT_TRUE(styleOf(10) & WS_GROUP);   // the radios' group starts here
        EXPECT_FALSE(styleOf(11) & WS_GROUP);  // and holds both
        EXPECT_TRUE(styleOf(12) & WS_GROUP);
        EXPECT_TRUE(styleOf(22) & CBS_SORT);
        EXPECT_EQ(styleOf(22) & 3, CBS_DROPDOWN);
        EXPECT_TRUE(styleOf(23) & LBS_SORT);
        EXPECT_TRUE(styleOf(26) & ES_MULTILINE);
        EXPECT_FALSE(IsWindowVisible(host.Control(28)));
        EXPECT_EQ(host.Control(999), nullptr);
        host.Close(platform::kDialogOk);
    });
    EXPECT_EQ(probe.closed, std::vector<int>{platform::kDialogOk});
    EXPECT_EQ(host.Window(), nullptr);  // destroyed with the end of its modal loop
}

TEST(Win32Host, ControlsByIdKeepTheWindowsTerms) {
    Win32DialogHost host(Layout());
    Probe probe;
    RunWindow(host, probe, [&] {
        hosttest::WindowView view;
        view.items = [&](int id) {
            const HWND list = host.Control(id);
            const bool combo = id == 22;
            const LRESULT count = SendMessageW(list, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
            std::vector<std::string> items;
            for (LRESULT i = 0; i < count; ++i) {
                wchar_t text[64] = {};
                SendMessageW(list, combo ? CB_GETLBTEXT : LB_GETTEXT, i,
                             reinterpret_cast<LPARAM>(text));
                items.push_back(platform::Utf8FromWide(text));
            }
            return items;
        };
        view.progress = [&](int id) {
            return static_cast<int>(SendMessageW(host.Control(id), PBM_GETPOS, 0, 0));
        };
        view.enabled = [&](int id) { return IsWindowEnabled(host.Control(id)) != 0; };
        hosttest::ExpectControlsByIdKeepTheWindowsTerms(host, view);
        // A multi-line edit holds CR LF; the windows' logic sees "\n".
        host.SetText(26, "one\ntwo\n");
        EXPECT_EQ(TextOf(host.Control(26)), L"one\r\ntwo\r\n");
        host.Close(platform::kDialogOk);
    });
}

TEST(Win32Host, OnlyTheUsersInputNotifies) {
    Win32DialogHost host(Layout());
    Probe probe;
    std::vector<std::pair<int, Notification>> heard;
    probe.attach = [&](platform::DialogHost& h) {
        for (const ControlDef& def : kTable) {
            for (Notification what : {Notification::Clicked, Notification::SelectionChanged})
                h.On(def.id, what, [&heard, id = def.id, what] { heard.emplace_back(id, what); });
        }
    };
    RunWindow(host, probe, [&] {
        // The window's own changes notify nothing.
        host.SetChecked(12, true);
        host.AddItem(23, "a");
        host.AddItem(23, "b");
        host.Select(23, 0);
        host.AddItem(22, "x");
        host.AddItem(22, "y");
        host.Select(22, 0);
        host.SetText(21, "typed by the program");
        EXPECT_TRUE(heard.empty());

        SendMessageW(host.Control(1), BM_CLICK, 0, 0);
        SendMessageW(host.Control(12), BM_CLICK, 0, 0);
        EXPECT_FALSE(host.Checked(12));  // toggled by the click
        SendMessageW(host.Control(10), BM_CLICK, 0, 0);
        SendMessageW(host.Control(23), WM_KEYDOWN, VK_DOWN, 0);  // the next line
        EXPECT_EQ(host.Position(23), 1);
        SendMessageW(host.Control(22), WM_KEYDOWN, VK_DOWN, 0);
        EXPECT_EQ(host.Position(22), 1);
        host.Enable(3, false);
        SendMessageW(host.Control(3), BM_CLICK, 0, 0);  // a disabled button stays silent
        const std::vector<std::pair<int, Notification>> expected{
            {1, Notification::Clicked},
            {12, Notification::Clicked},
            {10, Notification::Clicked},
            {23, Notification::SelectionChanged},
            {22, Notification::SelectionChanged}};
        EXPECT_EQ(heard, expected);

        // A later handler replaces the earlier one.
        int replaced = 0;
        host.On(1, Notification::Clicked, [&] { ++replaced; });
        SendMessageW(host.Control(1), BM_CLICK, 0, 0);
        EXPECT_EQ(replaced, 1);
        EXPECT_EQ(heard.size(), expected.size());
        host.Close(platform::kDialogOk);
    });
}

// The dialog manager's keys: Enter presses the focused push button, else the default one, else
// nothing; Esc is the close box. A window with its own Enter rule adds a line end to its edit.
TEST(Win32Host, KeysFollowTheDialogManagerAndTheWindowsOwnEnterRule) {
    struct Case {
        int enterLine;
        bool withDefault;
        int focus;
        std::vector<int> clicked;  // after Enter
        const wchar_t* text26;     // the edit's text after Enter
    };
    const std::vector<Case> cases{
        {0, true, 3, {3}, L"ab"},       // the focused push button
        {0, true, 21, {1}, L"ab"},      // the default button
        {0, false, 21, {}, L"ab"},      // no default button: nothing
        {26, true, 26, {}, L"ab\r\n"},  // the rule's edit: a line end at its end
        {26, true, 3, {}, L"ab"},       // the rule: nowhere else
    };
    for (const Case& c : cases) {
        Win32DialogHost host(Layout(c.enterLine, c.withDefault));
        Probe probe;
        std::vector<int> clicked;
        probe.attach = [&](platform::DialogHost& h) {
            for (const int id : {1, 3})
                h.On(id, Notification::Clicked, [&clicked, id] { clicked.push_back(id); });
        };
        const int result = RunWindow(host, probe, [&] {
            host.SetText(26, "ab");
            const HWND edit = host.Control(26);
            SendMessageW(edit, EM_SETSEL, 1, 1);  // the caret mid-text
            // As the dialog manager moves the focus (a push button then shows as the default).
            const HWND focus = host.Control(c.focus);
            SendMessageW(host.Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(focus), TRUE);
            PostKey(focus, VK_RETURN);
            Then(host, [&, focus, edit] {
                EXPECT_EQ(clicked, c.clicked) << c.focus;
                EXPECT_EQ(TextOf(edit), c.text26) << c.focus;
                EXPECT_TRUE(probe.closed.empty());
                PostKey(focus, VK_ESCAPE);
            });
        });
        EXPECT_EQ(result, platform::kDialogCancel);
        EXPECT_EQ(probe.closed, std::vector<int>{platform::kDialogCancel});
    }
}

TEST(Win32Host, TimersRunByIdUntilKilledOrTheWindowEnds) {
    Win32DialogHost host(Layout());
    Probe probe;
    int fast = 0, slow = 0;
    RunWindow(host, probe, [&] {
        host.SetTimer(1, 0ms, [&] {  // raised to 10 ms
            if (++fast == 3) {
                host.KillTimer(1);
                host.SetTimer(2, 20ms, [&] {  // replaces the slower tick
                    if (++slow == 2) host.Close(platform::kDialogOk);
                });
            }
        });
        host.SetTimer(2, 1h, [&] { ADD_FAILURE() << "the first period of timer 2 ran"; });
    });
    EXPECT_EQ(fast, 3);
    EXPECT_EQ(slow, 2);
    EXPECT_EQ(probe.closed, std::vector<int>{platform::kDialogOk});
}

TEST(Win32Host, ABusyWindowTakesNoInputAndCannotEnd) {
    Win32DialogHost host(Layout());
    Probe probe;
    int abouts = 0, quits = 0;
    probe.attach = [&](platform::DialogHost& h) {
        h.SetAboutCommand("关于 Host(&A)...", [&] { ++abouts; });
        h.On(3, Notification::Clicked, [&] { ++quits; });
    };
    RunWindow(host, probe, [&] {
        const HWND dialog = host.Window();
        // The system menu carries the item after a separator, command 16.
        const HMENU menu = GetSystemMenu(dialog, FALSE);
        const int items = GetMenuItemCount(menu);
        ASSERT_GE(items, 2);
        EXPECT_EQ(GetMenuItemID(menu, items - 1), Win32DialogHost::kAboutCommand);
        wchar_t text[64] = {};
        GetMenuStringW(menu, items - 1, text, 64, MF_BYPOSITION);
        EXPECT_STREQ(text, L"关于 Host(&A)...");
        MENUITEMINFOW separator{};
        separator.cbSize = sizeof separator;
        separator.fMask = MIIM_FTYPE;
        GetMenuItemInfoW(menu, items - 2, TRUE, &separator);
        EXPECT_TRUE(separator.fType & MFT_SEPARATOR);

        host.SetBusy(true);
        EXPECT_FALSE(IsWindowEnabled(dialog));
        SendMessageW(dialog, WM_SYSCOMMAND, Win32DialogHost::kAboutCommand, 0);
        SendMessageW(host.Control(3), BM_CLICK, 0, 0);
        SendMessageW(dialog, WM_CLOSE, 0, 0);
        SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        host.Close(platform::kDialogOk);
        PostKey(host.Control(3), VK_ESCAPE);
        Then(host, [&, dialog] {
            EXPECT_EQ(abouts, 0);
            EXPECT_EQ(quits, 0);
            EXPECT_TRUE(probe.closed.empty());
            host.SetBusy(false);
            EXPECT_TRUE(IsWindowEnabled(dialog));
            SendMessageW(dialog, WM_SYSCOMMAND, Win32DialogHost::kAboutCommand, 0);
            EXPECT_EQ(abouts, 1);
            SendMessageW(dialog, WM_CLOSE, 0, 0);  // the close box
        });
    });
    EXPECT_EQ(probe.closed, std::vector<int>{platform::kDialogCancel});
}

// Message boxes are owned by the window and titled with its title; one shown while the window is
// busy leaves it busy. Sub-dialogs run modally over it and return their result.
TEST(Win32Host, MessageBoxesAndSubDialogsRunOverTheWindow) {
    Win32DialogHost host(Layout());
    Probe probe;
    std::wstring boxTitle, boxText;
    bool ownerDisabled = false;
    int subResult = 0;
    RunWindow(host, probe, [&] {
        const HWND dialog = host.Window();
        host.SetBusy(true);
        host.SetTimer(5, 20ms, [&] {  // ticks inside the box's loop
            const HWND box = ModalOver(dialog);
            if (box == nullptr) return;
            host.KillTimer(5);
            boxTitle = TextOf(box);
            boxText = StaticTexts(box);
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        });
        host.Messages().ShowStopMessage("没有找到 FWIMAGE_80.bin。");
        EXPECT_FALSE(IsWindowEnabled(dialog));  // still busy
        host.SetBusy(false);

        constexpr std::array<ControlDef, 1> kSub{{{1, K::DefaultButton, "确定", 10, 10, 40, 12}}};
        platform::DialogSpec layout;
        layout.title = "Sub";
        layout.controls = kSub;
        layout.width = 60;
        layout.height = 30;
        layout.initialFocus = 1;
        Probe sub;
        sub.attach = [&](platform::DialogHost& s) {
            s.On(1, Notification::Clicked, [&s] { s.Close(platform::kDialogOk); });
            auto& subHost = static_cast<Win32DialogHost&>(s);
            Then(subHost, [&] {
                ownerDisabled = !IsWindowEnabled(dialog);
                PostKey(GetFocus(), VK_RETURN);  // the sub-dialog's default button
            });
        };
        subResult = host.RunModal(layout, sub);
        EXPECT_EQ(sub.closed, std::vector<int>{platform::kDialogOk});
        EXPECT_TRUE(IsWindowEnabled(dialog));
        host.Close(platform::kDialogOk);
    });
    EXPECT_EQ(boxTitle, L"宿主 Host");
    EXPECT_EQ(boxText, L"没有找到 FWIMAGE_80.bin。");
    EXPECT_TRUE(ownerDisabled);
    EXPECT_EQ(subResult, platform::kDialogOk);
    EXPECT_EQ(probe.closed, std::vector<int>{platform::kDialogOk});  // the owner stays open
}

// A worker's call runs on the window's thread while the worker waits; a window that ends drops
// a call still queued (its worker wakes with false) and refuses later ones.
TEST(Win32Host, WorkersCallThroughTheWindowUntilItGoes) {
    Win32DialogHost host(Layout());
    Probe probe;
    std::thread worker, late;
    std::atomic<int> ranOnWindowThread{0};
    std::atomic<bool> firstDone{false}, go{false}, secondResult{true}, droppedRan{false};
    RunWindow(host, probe, [&] {
        const DWORD windowThread = GetCurrentThreadId();
        platform::UiCallGate& gate = host.Gate();
        worker = std::thread([&, windowThread] {
            const bool ran = gate.Run([&] {
                if (GetCurrentThreadId() == windowThread) ++ranOnWindowThread;
                host.SetText(21, "from a worker");
            });
            EXPECT_TRUE(ran);
            firstDone = true;
            // The window's thread ends the window while this call waits in its queue.
            EXPECT_TRUE(fakes::WaitUntil([&] { return go.load(); }, 5s));
            secondResult = gate.Run([&] { droppedRan = true; });
        });
        host.SetTimer(7, 10ms, [&] {
            if (!firstDone) return;
            host.KillTimer(7);
            // The window's thread does not run the call while it waits here.
            go = true;
            EXPECT_TRUE(fakes::WaitUntil([&] { return host.Thread().Queued() == 1; }, 5s));
            host.Close(platform::kDialogOk);
        });
    });
    worker.join();
    EXPECT_EQ(ranOnWindowThread.load(), 1);
    EXPECT_FALSE(secondResult.load());
    EXPECT_FALSE(droppedRan.load());
    // After the window: refused at once.
    bool lateResult = true;
    late = std::thread([&] { lateResult = host.Gate().Run([] {}); });
    late.join();
    EXPECT_FALSE(lateResult);
}

}  // namespace
