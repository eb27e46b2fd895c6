#pragma once
// What a Windows GUI robot does to another program: start it in a folder of its own, find its
// dialogs, and work their controls by id with window messages (the way a user's clicks and keys
// reach them), reading texts back across the process boundary. Every wait is bounded.

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace robot {

// A Windows path for a file of the build tree (Wine shows the Linux root as Z:).
std::wstring WindowsPath(const std::string& path);

// A program started with `arguments` in `folder`; its standard output and error go to `output`
// when given. Ended (if still running) when this goes.
class Program {
  public:
    Program(const std::wstring& exe, const std::wstring& arguments,
            const std::filesystem::path& folder, const std::filesystem::path& output = {});
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool ok() const { return process_ != nullptr; }
    DWORD Id() const { return id_; }
    // Its exit status once it has ended within `timeout`.
    std::optional<DWORD> WaitForExit(std::chrono::milliseconds timeout);

  private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

// The visible dialog of process `pid` titled `title`, once it is there (null after `timeout`).
HWND WaitForDialog(DWORD pid, const std::wstring& title, std::chrono::milliseconds timeout);
// The visible dialog (a sub-dialog or message box) over `owner`, once it is there.
HWND WaitForDialogOver(HWND owner, std::chrono::milliseconds timeout);

// A control's text (WM_GETTEXT, which Windows carries across processes).
std::wstring Text(HWND window);
// The texts of a dialog's statics, in their order (a message box's message among them).
std::wstring StaticTexts(HWND dialog);
// Sends `message` and waits for its answer (up to 5 s).
LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
// A click on the push button, check box or radio button `id` of `dialog`: sent, or posted when
// the click opens a modal dialog (whose loop would hold the answer up).
void Click(HWND dialog, int id);
void ClickAndGoOn(HWND dialog, int id);

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

}  // namespace robot
