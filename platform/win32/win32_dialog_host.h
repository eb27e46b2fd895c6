#pragma once
// A window of the Windows programs: a modal dialog made from its control table as an in-memory
// template and run by the dialog manager (DialogBoxIndirectParamW), its controls addressed by
// their ids through DialogHost. Its logic is a DialogPresenter.

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "platform/dialog_host.h"
#include "platform/message_sink.h"
#include "platform/ui_thread.h"

namespace platform {

// The thread of a Win32 window: a call is queued and the window is woken by a private message it
// runs the queue on. A window that goes away drops what is still queued (its workers are woken)
// and takes no further calls.
class Win32UiThread final : public UiThread {
  public:
    Win32UiThread();  // the calling thread is the window's
    ~Win32UiThread() override;
    Win32UiThread(const Win32UiThread&) = delete;
    Win32UiThread& operator=(const Win32UiThread&) = delete;

    bool IsCurrent() const override;
    bool Post(std::function<void()> call) const override;

    // The window exists: calls go to it from now on.
    void Open(HWND window);
    // The window is going: queued calls are dropped, later ones refused.
    void Shut();
    // On the window's thread, for the private message: runs what is queued.
    void RunQueued();
    std::size_t Queued() const;

    static constexpr UINT kRunCalls = WM_APP + 0x2A1;

  private:
    DWORD threadId_;
    mutable std::mutex mutex_;
    HWND window_ = nullptr;
    mutable std::deque<std::function<void()>> queue_;
};

class Win32DialogHost;

// Message boxes over a Win32 window: MessageBoxW owned by it, titled with its title, shown on its
// thread through its gate (a worker waits until the box is dismissed; a closed window drops it).
class Win32MessageSink final : public MessageSink {
  public:
    explicit Win32MessageSink(Win32DialogHost& host) : host_(host) {}
    void ShowMessage(const std::string& utf8) override;
    void ShowStopMessage(const std::string& utf8) override;

  private:
    void Show(const std::string& utf8, UINT icon);
    Win32DialogHost& host_;
};

class Win32DialogHost final : public DialogHost {
  public:
    // The window of `layout`; `owner` is the window that opens it (a sub-dialog, which shows the
    // owner's icon when the layout names none), or null for a program's window.
    explicit Win32DialogHost(const DialogSpec& layout, Win32DialogHost* owner = nullptr);
    ~Win32DialogHost() override;
    Win32DialogHost(const Win32DialogHost&) = delete;
    Win32DialogHost& operator=(const Win32DialogHost&) = delete;

    // Makes the window and runs it modally over its owner: once its controls exist,
    // `presenter.Attach(*this)` and then `started()`, before it shows; `presenter.Closed(result)`
    // when it ends. Returns the result it ended with, or -1 when it could not be made.
    int Run(DialogPresenter& presenter, const std::function<void()>& started = {});

    HWND Window() const { return hwnd_; }
    HWND Control(int id) const;
    bool Busy() const { return busy_; }
    Win32UiThread& Thread() { return thread_; }

    // DialogHost.
    std::string Text(int id) const override;
    void SetText(int id, std::string_view utf8) override;
    bool Checked(int id) const override;
    void SetChecked(int id, bool on) override;
    int Position(int list) const override;
    void Select(int list, int position) override;
    int AddItem(int list, std::string_view utf8) override;
    void InsertItem(int list, int position, std::string_view utf8) override;
    void ResetList(int list) override;
    std::array<uint8_t, 4> Octets(int id) const override;
    void SetOctets(int id, const std::array<uint8_t, 4>& octets) override;
    void Enable(int id, bool on) override;
    void SetProgress(int bar, int position) override;
    void On(int id, Notification what, std::function<void()> handler) override;
    void SetTimer(int timer, std::chrono::milliseconds period, std::function<void()> tick) override;
    void KillTimer(int timer) override;
    int RunModal(const DialogSpec& layout, DialogPresenter& presenter) override;
    void Close(int result) override;
    void SetBusy(bool busy) override;
    void SetAboutCommand(std::string_view item, std::function<void()> command) override;
    MessageSink& Messages() override { return messages_; }
    UiCallGate& Gate() override { return gate_; }

    // The system-menu command of the About item.
    static constexpr UINT kAboutCommand = 0x0010;

  private:
    friend class Win32MessageSink;
    friend LRESULT CALLBACK DialogKeyFilter(int, WPARAM, LPARAM);

    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    BOOL Initialise();
    void OnCommand(int id, int code, HWND control);
    // Keys before the dialog manager sees them; true when taken.
    bool FilterKey(const MSG& msg);
    void Notify(int id, Notification what);
    void CloseBox();
    void End(int result);
    void AppendLineAtEnd();
    void FitDropWidth(int list, const std::wstring& item);
    // Runs a modal loop of the window's own (a message box, a sub-dialog); the window takes input
    // again afterwards only when it is not busy.
    int Modal(const std::function<int()>& run);
    void ApplyEnabled();
    const ControlDef* Def(int id) const;
    HICON ProgramIcon(int size) const;

    DialogSpec spec_;
    Win32DialogHost* owner_;
    std::string iconName_;
    std::map<int, const ControlDef*> defs_;
    int defaultButton_ = 0;
    HWND hwnd_ = nullptr;
    Win32UiThread thread_;
    UiCallGate gate_{thread_};
    Win32MessageSink messages_{*this};
    DialogPresenter* presenter_ = nullptr;
    const std::function<void()>* started_ = nullptr;
    std::map<std::pair<int, Notification>, std::function<void()>> handlers_;
    std::map<int, std::function<void()>> ticks_;
    std::function<void()> about_;
    HICON bigIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    HWND focusBeforeBusy_ = nullptr;
    int modalDepth_ = 0;
    bool busy_ = false;
    bool ended_ = false;
};

// Runs a program's main window on the dialog manager (the toolkit's part of a program's start).
void RunWin32Window(const DialogSpec& layout, DialogPresenter& presenter,
                    const std::function<void()>& started);

}  // namespace platform
