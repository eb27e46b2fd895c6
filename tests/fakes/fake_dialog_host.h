#pragma once
// A window without a toolkit for presenter tests: it keeps the state of every control of its
// table, records what the presenter did, and lets the test act as the user (press a control by
// id, pick a list line, type, let a timer tick, close the window). The test's thread is the
// window's thread; calls that workers make through the gate wait until the test pumps them.

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/dialog_host.h"
#include "platform/ui_thread.h"
#include "tests/fakes/recording_message_sink.h"

namespace fakes {

// The window's thread of a presenter test: the thread that made it.
class FakeUiThread final : public platform::UiThread {
  public:
    FakeUiThread();
    ~FakeUiThread() override;  // drops what is still queued: its workers are released
    FakeUiThread(const FakeUiThread&) = delete;
    FakeUiThread& operator=(const FakeUiThread&) = delete;

    bool IsCurrent() const override;
    bool Post(std::function<void()> call) const override;

    // Calls waiting for the window's thread.
    std::size_t Queued() const;
    // Runs the queued calls on this thread; returns how many ran.
    std::size_t RunPending();
    // Runs queued calls as they come until `done()` holds or `timeout` passed; returns done().
    bool PumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Runs queued calls as they come for `duration`.
    void PumpFor(std::chrono::milliseconds duration);

  private:
    std::thread::id owner_;
    mutable std::mutex mutex_;
    mutable std::condition_variable posted_;
    mutable std::deque<std::function<void()>> queue_;
};

class FakeDialogHost final : public platform::DialogHost {
  public:
    // A program's main window: its own window thread and message log.
    explicit FakeDialogHost(const platform::DialogSpec& layout);
    // A sub-dialog of `owner`, on its thread and showing its boxes in its log; RunModal makes
    // these, tests that keep one open across pumps make their own.
    FakeDialogHost(const platform::DialogSpec& layout, FakeDialogHost& owner);
    ~FakeDialogHost() override;
    FakeDialogHost(const FakeDialogHost&) = delete;
    FakeDialogHost& operator=(const FakeDialogHost&) = delete;

    // Hands the window to its logic, as a backend does: Attach now, Closed when it ends.
    void Attach(platform::DialogPresenter& presenter);

    // ---- What the window shows ----
    const platform::DialogSpec& Layout() const { return spec_; }
    bool Has(int id) const { return controls_.count(id) != 0; }
    std::vector<std::string> Items(int list) const;
    bool Enabled(int id) const;
    int Progress(int bar) const;
    // True once SetOctets reached the control.
    bool OctetsSet(int id) const;
    bool TimerRunning(int timer) const;
    std::chrono::milliseconds TimerPeriod(int timer) const;
    bool Ended() const { return ended_; }
    int Result() const { return result_; }
    bool Busy() const { return busy_; }
    const std::string& AboutItem() const { return aboutItem_; }
    // Ids the presenter used that the table does not have (a fault in the presenter).
    const std::vector<int>& UnknownIds() const { return unknownIds_; }
    // Titles of the sub-dialogs opened, in order.
    const std::vector<std::string>& ModalTitles() const { return modalTitles_; }

    // ---- What the user does; false when the window would not take it ----
    // A push button is pressed, a check box toggles, a radio button is checked; then Clicked.
    bool Click(int id);
    // A list line (or a drop-down item) is picked; then SelectionChanged.
    bool Choose(int list, int position);
    // Typing replaces the text of an edit or combo box; a combo box's typed text selects the
    // item it names (case-insensitive), else none.
    bool Type(int id, std::string_view utf8);
    // Timer `timer` fires once.
    bool Tick(int timer);
    // The close box (or Esc): ends the window with kDialogCancel unless busy.
    bool CloseBox();
    // The window menu's extra item.
    bool ChooseAbout();
    // The next sub-dialog opened runs `drive` on itself; one that `drive` leaves open is then
    // ended with the close box. Sub-dialogs without a driver end at once that way.
    void OnModal(std::function<void(FakeDialogHost&)> drive);

    FakeUiThread& Thread() { return *thread_; }
    RecordingMessageSink& MessageLog() { return *messages_; }

    // ---- DialogHost ----
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
    void On(int id, platform::Notification what, std::function<void()> handler) override;
    void SetTimer(int timer, std::chrono::milliseconds period, std::function<void()> tick) override;
    void KillTimer(int timer) override;
    int RunModal(const platform::DialogSpec& layout, platform::DialogPresenter& presenter) override;
    void Close(int result) override;
    void SetBusy(bool busy) override { busy_ = busy; }
    void SetAboutCommand(std::string_view item, std::function<void()> command) override;
    platform::MessageSink& Messages() override { return *messages_; }
    platform::UiCallGate& Gate() override { return *gate_; }

  private:
    struct Control {
        platform::ControlDef def;
        std::string text;
        bool checked = false;
        std::vector<std::string> items;
        int position = -1;
        std::array<uint8_t, 4> octets{};
        bool octetsSet = false;
        bool enabled = true;
        int progress = 0;
    };
    struct Timer {
        std::chrono::milliseconds period{0};
        std::function<void()> tick;
        bool running = false;
    };

    Control* Find(int id);
    const Control* Find(int id) const;
    void Notify(int id, platform::Notification what);
    void End(int result);

    platform::DialogSpec spec_;
    std::unique_ptr<FakeUiThread> ownThread_;
    std::unique_ptr<RecordingMessageSink> ownMessages_;
    FakeUiThread* thread_;
    RecordingMessageSink* messages_;
    std::unique_ptr<platform::UiCallGate> gate_;
    std::map<int, Control> controls_;
    std::map<std::pair<int, platform::Notification>, std::function<void()>> handlers_;
    std::map<int, Timer> timers_;
    std::deque<std::function<void(FakeDialogHost&)>> drivers_;
    std::vector<std::string> modalTitles_;
    mutable std::vector<int> unknownIds_;
    platform::DialogPresenter* presenter_ = nullptr;
    std::string aboutItem_;
    std::function<void()> about_;
    bool busy_ = false;
    bool ended_ = false;
    int result_ = 0;
};

}  // namespace fakes
