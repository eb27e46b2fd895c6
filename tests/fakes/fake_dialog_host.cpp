#include "tests/fakes/fake_dialog_host.h"

#include <algorithm>
#include <cctype>

namespace fakes {

using platform::ControlKind;
using platform::Notification;

// ---- FakeUiThread ------------------------------------------------------------------------

FakeUiThread::FakeUiThread() : owner_(std::this_thread::get_id()) {}

FakeUiThread::~FakeUiThread() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(queue_);
    }
    // Destroyed outside the lock: a dropped call releases the worker waiting for it.
}

bool FakeUiThread::IsCurrent() const {
    return std::this_thread::get_id() == owner_;
}

bool FakeUiThread::Post(std::function<void()> call) const {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(call));
    }
    posted_.notify_all();
    return true;
}

std::size_t FakeUiThread::Queued() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

std::size_t FakeUiThread::RunPending() {
    std::size_t ran = 0;
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) return ran;
            call = std::move(queue_.front());
            queue_.pop_front();
        }
        call();
        ++ran;
    }
}

bool FakeUiThread::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        RunPending();
        if (done()) return true;
        std::unique_lock lock(mutex_);
        if (std::chrono::steady_clock::now() >= deadline) break;
        posted_.wait_for(lock, std::chrono::milliseconds(2), [this] { return !queue_.empty(); });
    }
    RunPending();
    return done();
}

void FakeUiThread::PumpFor(std::chrono::milliseconds duration) {
    PumpUntil([] { return false; }, duration);
}

// ---- FakeDialogHost ----------------------------------------------------------------------

namespace {
std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

bool IsList(ControlKind kind) {
    return kind == ControlKind::DropDownCombo || kind == ControlKind::DropDownList ||
           kind == ControlKind::ListBox;
}

bool IsCombo(ControlKind kind) {
    return kind == ControlKind::DropDownCombo || kind == ControlKind::DropDownList;
}
}  // namespace

FakeDialogHost::FakeDialogHost(const platform::DialogSpec& layout)
    : spec_(layout),
      ownThread_(std::make_unique<FakeUiThread>()),
      ownMessages_(std::make_unique<RecordingMessageSink>()),
      thread_(ownThread_.get()),
      messages_(ownMessages_.get()),
      gate_(std::make_unique<platform::UiCallGate>(*thread_)) {
    for (const platform::ControlDef& def : layout.controls) {
        if (def.id == platform::kNoId) continue;
        Control& control = controls_[def.id];
        control.def = def;
        if (def.kind != ControlKind::Ipv4Edit && def.caption != nullptr) control.text = def.caption;
        control.enabled = (def.flags & platform::kDisabled) == 0;
    }
}

FakeDialogHost::FakeDialogHost(const platform::DialogSpec& layout, FakeDialogHost& owner)
    : FakeDialogHost(layout) {
    // A sub-dialog runs on its owner's thread and shows its boxes in the same log.
    gate_.reset();
    thread_ = owner.thread_;
    messages_ = owner.messages_;
    gate_ = std::make_unique<platform::UiCallGate>(*thread_);
    ownThread_.reset();
    ownMessages_.reset();
}

FakeDialogHost::~FakeDialogHost() {
    gate_->Close();
}

void FakeDialogHost::Attach(platform::DialogPresenter& presenter) {
    presenter_ = &presenter;
    presenter.Attach(*this);
}

FakeDialogHost::Control* FakeDialogHost::Find(int id) {
    const auto found = controls_.find(id);
    if (found != controls_.end()) return &found->second;
    unknownIds_.push_back(id);
    return nullptr;
}

const FakeDialogHost::Control* FakeDialogHost::Find(int id) const {
    const auto found = controls_.find(id);
    if (found != controls_.end()) return &found->second;
    unknownIds_.push_back(id);
    return nullptr;
}

std::vector<std::string> FakeDialogHost::Items(int list) const {
    const Control* control = Find(list);
    return control ? control->items : std::vector<std::string>{};
}

bool FakeDialogHost::Enabled(int id) const {
    const Control* control = Find(id);
    return control != nullptr && control->enabled;
}

int FakeDialogHost::Progress(int bar) const {
    const Control* control = Find(bar);
    return control ? control->progress : -1;
}

bool FakeDialogHost::OctetsSet(int id) const {
    const Control* control = Find(id);
    return control != nullptr && control->octetsSet;
}

bool FakeDialogHost::TimerRunning(int timer) const {
    const auto found = timers_.find(timer);
    return found != timers_.end() && found->second.running;
}

std::chrono::milliseconds FakeDialogHost::TimerPeriod(int timer) const {
    const auto found = timers_.find(timer);
    return found != timers_.end() ? found->second.period : std::chrono::milliseconds(-1);
}

void FakeDialogHost::Notify(int id, Notification what) {
    const auto found = handlers_.find({id, what});
    if (found == handlers_.end()) return;
    const std::function<void()> handler = found->second;  // it may replace itself
    handler();
}

bool FakeDialogHost::Click(int id) {
    Control* control = Find(id);
    if (control == nullptr || !control->enabled || busy_ || ended_) return false;
    switch (control->def.kind) {
        case ControlKind::CheckBox:
            control->checked = !control->checked;
            break;
        case ControlKind::RadioButton:
            SetChecked(id, true);
            break;
        case ControlKind::Button:
        case ControlKind::DefaultButton:
            break;
        default:
            return false;
    }
    Notify(id, Notification::Clicked);
    return true;
}

bool FakeDialogHost::Choose(int list, int position) {
    Control* control = Find(list);
    if (control == nullptr || !IsList(control->def.kind) || !control->enabled || busy_ || ended_)
        return false;
    if (position < 0 || position >= static_cast<int>(control->items.size())) return false;
    Select(list, position);
    Notify(list, Notification::SelectionChanged);
    return true;
}

bool FakeDialogHost::Type(int id, std::string_view utf8) {
    Control* control = Find(id);
    if (control == nullptr || !control->enabled || busy_ || ended_) return false;
    switch (control->def.kind) {
        case ControlKind::Edit:
        case ControlKind::MultiLineEdit:
            if (control->def.flags & platform::kReadOnly) return false;
            control->text = utf8;
            return true;
        case ControlKind::DropDownCombo: {
            control->text = utf8;
            control->position = -1;
            const std::string typed = Lower(utf8);
            for (std::size_t i = 0; i < control->items.size(); ++i) {
                if (Lower(control->items[i]) == typed) {
                    control->position = static_cast<int>(i);
                    break;
                }
            }
            return true;
        }
        default:
            return false;
    }
}

bool FakeDialogHost::Tick(int timer) {
    const auto found = timers_.find(timer);
    if (found == timers_.end() || !found->second.running || ended_) return false;
    const std::function<void()> tick = found->second.tick;
    tick();
    return true;
}

bool FakeDialogHost::CloseBox() {
    if (busy_ || ended_) return false;
    End(platform::kDialogCancel);
    return true;
}

bool FakeDialogHost::ChooseAbout() {
    if (busy_ || ended_ || !about_) return false;
    const std::function<void()> about = about_;
    about();
    return true;
}

void FakeDialogHost::OnModal(std::function<void(FakeDialogHost&)> drive) {
    drivers_.push_back(std::move(drive));
}

std::string FakeDialogHost::Text(int id) const {
    const Control* control = Find(id);
    if (control == nullptr) return {};
    if (control->def.kind == ControlKind::Ipv4Edit) {
        const auto& o = control->octets;
        return std::to_string(o[0]) + "." + std::to_string(o[1]) + "." + std::to_string(o[2]) +
               "." + std::to_string(o[3]);
    }
    return control->text;
}

void FakeDialogHost::SetText(int id, std::string_view utf8) {
    if (Control* control = Find(id)) {
        // A drop-down list has no text of its own.
        if (control->def.kind == ControlKind::DropDownList) return;
        control->text = utf8;
    }
}

bool FakeDialogHost::Checked(int id) const {
    const Control* control = Find(id);
    return control != nullptr && control->checked;
}

void FakeDialogHost::SetChecked(int id, bool on) {
    Control* control = Find(id);
    if (control == nullptr) return;
    // The radio buttons of a window form one group.
    if (on && control->def.kind == ControlKind::RadioButton) {
        for (auto& [otherId, other] : controls_) {
            if (other.def.kind == ControlKind::RadioButton) other.checked = false;
        }
    }
    control->checked = on;
}

int FakeDialogHost::Position(int list) const {
    const Control* control = Find(list);
    return control ? control->position : -1;
}

void FakeDialogHost::Select(int list, int position) {
    Control* control = Find(list);
    if (control == nullptr) return;
    if (position < 0 || position >= static_cast<int>(control->items.size())) position = -1;
    control->position = position;
    if (IsCombo(control->def.kind))
        control->text = position < 0 ? std::string() : control->items[position];
}

int FakeDialogHost::AddItem(int list, std::string_view utf8) {
    Control* control = Find(list);
    if (control == nullptr) return -1;
    auto position = static_cast<int>(control->items.size());
    if (control->def.flags & platform::kSorted) {
        const std::string key = Lower(utf8);
        position = 0;
        while (position < static_cast<int>(control->items.size()) &&
               Lower(control->items[position]) <= key) {
            ++position;
        }
    }
    InsertItem(list, position, utf8);
    return position;
}

void FakeDialogHost::InsertItem(int list, int position, std::string_view utf8) {
    Control* control = Find(list);
    if (control == nullptr) return;
    const auto count = static_cast<int>(control->items.size());
    if (position < 0 || position > count) position = count;
    control->items.insert(control->items.begin() + position, std::string(utf8));
    if (control->position >= position) ++control->position;
}

void FakeDialogHost::ResetList(int list) {
    Control* control = Find(list);
    if (control == nullptr) return;
    control->items.clear();
    control->position = -1;
    if (IsCombo(control->def.kind)) control->text.clear();
}

std::array<uint8_t, 4> FakeDialogHost::Octets(int id) const {
    const Control* control = Find(id);
    return control ? control->octets : std::array<uint8_t, 4>{};
}

void FakeDialogHost::SetOctets(int id, const std::array<uint8_t, 4>& octets) {
    if (Control* control = Find(id)) {
        control->octets = octets;
        control->octetsSet = true;
    }
}

void FakeDialogHost::Enable(int id, bool on) {
    if (Control* control = Find(id)) control->enabled = on;
}

void FakeDialogHost::SetProgress(int bar, int position) {
    if (Control* control = Find(bar)) control->progress = position;
}

void FakeDialogHost::On(int id, Notification what, std::function<void()> handler) {
    if (Find(id) == nullptr) return;
    handlers_[{id, what}] = std::move(handler);
}

void FakeDialogHost::SetTimer(int timer, std::chrono::milliseconds period,
                              std::function<void()> tick) {
    Timer& entry = timers_[timer];
    entry.period = period;
    entry.tick = std::move(tick);
    entry.running = true;
}

void FakeDialogHost::KillTimer(int timer) {
    const auto found = timers_.find(timer);
    if (found != timers_.end()) found->second.running = false;
}

int FakeDialogHost::RunModal(const platform::DialogSpec& layout,
                             platform::DialogPresenter& presenter) {
    FakeDialogHost dialog(layout, *this);
    modalTitles_.emplace_back(layout.title ? layout.title : "");
    dialog.Attach(presenter);
    if (!drivers_.empty()) {
        const auto drive = std::move(drivers_.front());
        drivers_.pop_front();
        drive(dialog);
    }
    if (!dialog.ended_) {
        dialog.busy_ = false;
        dialog.End(platform::kDialogCancel);
    }
    return dialog.result_;
}

void FakeDialogHost::Close(int result) {
    // A busy window cannot be ended.
    if (busy_ || ended_) return;
    End(result);
}

void FakeDialogHost::End(int result) {
    ended_ = true;
    result_ = result;
    for (auto& [id, timer] : timers_) timer.running = false;
    if (presenter_ != nullptr) presenter_->Closed(result);
}

void FakeDialogHost::SetAboutCommand(std::string_view item, std::function<void()> command) {
    aboutItem_ = item;
    about_ = std::move(command);
}

}  // namespace fakes
