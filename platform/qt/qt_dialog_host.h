#pragma once
// A window of the Qt programs: a QDialog built from a control table, its controls addressed by
// their ids through DialogHost. Its logic is a DialogPresenter.

#include <QDialog>
#include <QIcon>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/dialog_host.h"
#include "platform/qt/dialog_message_sink.h"
#include "platform/qt/qt_ui_thread.h"
#include "platform/ui_thread.h"

class QPoint;
class QTimer;

namespace platform {

class QtDialogHost final : public QDialog, public DialogHost {
    Q_OBJECT
  public:
    // Builds the window of `layout`: the frame of the programs' modal dialogs (title, system menu
    // and close box, no minimise or maximise box), the dialog font, the controls, the fixed
    // size, the icon, the keyboard rule. Over another QtDialogHost it takes that one's icon.
    explicit QtDialogHost(const DialogSpec& layout, QWidget* parent = nullptr);
    ~QtDialogHost() override;

    // Hands the window to its logic: `presenter.Attach(*this)`, and `presenter.Closed(result)`
    // when the window ends. The presenter must outlive the window's last event.
    void Attach(DialogPresenter& presenter);

    // The control with `id`, or null.
    QWidget* Control(int id) const;
    bool Busy() const { return busy_; }
    bool TimerActive(int timer) const;
    int TimerInterval(int timer) const;

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

  public slots:
    // Ends the window unless it is busy; the presenter hears of it first.
    void done(int result) override;
    // The close box and Esc: kDialogCancel.
    void reject() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void Notify(int id, Notification what);
    void Connect(QWidget* control, int id);
    void AppendLineAtEnd();

    QtUiThread thread_{this};
    UiCallGate gate_{thread_};
    DialogMessageSink messages_{this, gate_};
    QString iconName_;
    QIcon icon_;
    int enterLineEdit_ = 0;
    DialogPresenter* presenter_ = nullptr;
    std::map<std::pair<int, Notification>, std::function<void()>> handlers_;
    std::map<int, std::unique_ptr<QTimer>> timers_;
    std::map<int, std::function<void()>> ticks_;
    QString aboutItem_;
    std::function<void()> about_;
    bool busy_ = false;
    int quiet_ = 0;  // > 0 while the window changes its own controls: no notifications
    bool ended_ = false;
};

// Runs a program's main window on Qt (the toolkit's part of a program's start): the window of
// `layout` with `presenter` attached, `started` before it shows, then its modal run.
void RunQtWindow(const DialogSpec& layout, DialogPresenter& presenter,
                 const std::function<void()>& started);

// The program's arguments as QApplication leaves them (its own options taken out), in UTF-8.
std::vector<std::string> Utf8Arguments();

// A program icon in all its sizes from the resources ":/<name>/<name>-<size>.png".
QIcon ProgramIcon(const QString& name);

// The window menu of a dialog (its context menu here) with the one extra item `item`, which
// calls `command`. Returns when the menu has closed.
void ShowWindowMenu(QWidget* window, const QPoint& globalPos, const QString& item,
                    const std::function<void()>& command);

}  // namespace platform
