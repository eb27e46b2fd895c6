#include "tests/windows/gui_robot_win32.h"

#include <vector>

#include "tests/fakes/wait.h"

namespace robot {

std::wstring WindowsPath(const std::string& path) {
    std::wstring out = path.rfind('/', 0) == 0 ? L"Z:" : L"";
    for (const char c : path) out += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    return out;
}

Program::Program(const std::wstring& exe, const std::wstring& arguments,
                 const std::filesystem::path& folder, const std::filesystem::path& output) {
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    HANDLE out = INVALID_HANDLE_VALUE;
    if (!output.empty()) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        out = CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out;
        startup.hStdError = out;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    }
    PROCESS_INFORMATION info{};
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, out != INVALID_HANDLE_VALUE,
                       0, nullptr, folder.c_str(), &startup, &info)) {
        process_ = info.hProcess;
        id_ = info.dwProcessId;
        CloseHandle(info.hThread);
    }
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
}

Program::~Program() {
    if (process_ == nullptr) return;
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_, 99);
        WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
}

std::optional<DWORD> Program::WaitForExit(std::chrono::milliseconds timeout) {
    if (process_ == nullptr) return std::nullopt;
    if (WaitForSingleObject(process_, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD status = 0;
    GetExitCodeProcess(process_, &status);
    return status;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    // Looking into another program costs it a message each time: every 20 ms.
    return fakes::WaitUntil(condition, timeout, std::chrono::milliseconds(20));
}

namespace {
bool IsDialog(HWND window) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    return std::wstring(name) == L"#32770" && IsWindowVisible(window);
}

// The first top-level window that `match` accepts.
HWND FindTopLevel(const std::function<bool(HWND)>& match) {
    struct Search {
        const std::function<bool(HWND)>* match;
        HWND found;
    } search{&match, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) {
            auto* s = reinterpret_cast<Search*>(data);
            if (!(*s->match)(window)) return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}
}  // namespace

HWND WaitForDialog(DWORD pid, const std::wstring& title, std::chrono::milliseconds timeout) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            found = FindTopLevel([&](HWND window) {
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                return owner == pid && IsDialog(window) && Text(window) == title;
            });
            return found != nullptr;
        },
        timeout);
    return found;
}

HWND WaitForDialogOver(HWND owner, std::chrono::milliseconds timeout) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            found = FindTopLevel([&](HWND window) {
                return GetWindow(window, GW_OWNER) == owner && IsDialog(window);
            });
            return found != nullptr;
        },
        timeout);
    return found;
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result);
    return static_cast<LRESULT>(result);
}

std::wstring Text(HWND window) {
    const LRESULT length = Send(window, WM_GETTEXTLENGTH);
    std::vector<wchar_t> text(static_cast<std::size_t>(length) + 1, L'\0');
    Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    return text.data();
}

std::wstring StaticTexts(HWND dialog) {
    std::wstring texts;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[16] = {};
        GetClassNameW(child, name, 16);
        if (_wcsicmp(name, L"Static") == 0) texts += Text(child);
    }
    return texts;
}

void Click(HWND dialog, int id) {
    Send(GetDlgItem(dialog, id), BM_CLICK);
}

void ClickAndGoOn(HWND dialog, int id) {
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

}  // namespace robot
