#include "platform/qt/qt_dialog_host.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>
#include <limits>

#include "platform/qt/dialog_builder.h"
#include "platform/qt/ipv4_edit.h"

namespace platform {

namespace {
QString Utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool IsInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
            return true;
        default:
            return false;
    }
}

bool IsEnter(const QKeyEvent* key) {
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

// Changes the window makes to its own controls send no notifications.
class Quiet {
  public:
    explicit Quiet(int& depth) : depth_(depth) { ++depth_; }
    ~Quiet() { --depth_; }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

  private:
    int& depth_;
};
}  // namespace

QtDialogHost::QtDialogHost(const DialogSpec& layout, QWidget* parent)
    : QDialog(parent), enterLineEdit_(layout.enterAppendsLineTo) {
    if (layout.icon != nullptr) {
        iconName_ = QString::fromUtf8(layout.icon);
        icon_ = ProgramIcon(iconName_);
        setWindowIcon(icon_);
    } else if (auto* owner = qobject_cast<QtDialogHost*>(parent)) {
        iconName_ = owner->iconName_;
        icon_ = owner->icon_;
    }
    const std::vector<QWidget*> controls =
        BuildDialog(this, QString::fromUtf8(layout.title), layout.pointSize, layout.controls,
                    layout.width, layout.height);
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const ControlDef& def = layout.controls[i];
        if (def.kind == ControlKind::Icon) {
            if (auto* picture = qobject_cast<QLabel*>(controls[i]))
                picture->setPixmap(icon_.pixmap(32, 32));
        }
        if (def.id != kNoId) Connect(controls[i], def.id);
    }
    // Taken before the controls, the dialogs' keyboard rule or the dialog itself see them: input
    // while busy, F1, and Enter in a window with its own Enter rule.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
    if (layout.initialFocus != 0) {
        if (QWidget* focus = Control(layout.initialFocus)) focus->setFocus();
    }
}

QtDialogHost::~QtDialogHost() {
    gate_.Close();
    // The controls go after this object's members: nothing they send may reach a handler.
    for (QObject* child : findChildren<QObject*>())
        QObject::disconnect(child, nullptr, this, nullptr);
    for (auto& [id, timer] : timers_) timer->stop();
}

void QtDialogHost::Attach(DialogPresenter& presenter) {
    presenter_ = &presenter;
    presenter.Attach(*this);
}

void QtDialogHost::Connect(QWidget* control, int id) {
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        connect(button, &QAbstractButton::clicked, this,
                [this, id] { Notify(id, Notification::Clicked); });
    } else if (auto* list = qobject_cast<QListWidget*>(control)) {
        connect(list, &QListWidget::itemSelectionChanged, this,
                [this, id] { Notify(id, Notification::SelectionChanged); });
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        connect(combo, &QComboBox::activated, this,
                [this, id] { Notify(id, Notification::SelectionChanged); });
    }
}

void QtDialogHost::Notify(int id, Notification what) {
    if (busy_ || quiet_ > 0) return;
    const auto found = handlers_.find({id, what});
    if (found == handlers_.end()) return;
    const std::function<void()> handler = found->second;  // it may replace itself
    handler();
}

QWidget* QtDialogHost::Control(int id) const {
    return FindControl(this, id);
}

std::string QtDialogHost::Text(int id) const {
    return ControlText(Control(id)).toStdString();
}

void QtDialogHost::SetText(int id, std::string_view utf8) {
    QWidget* control = Control(id);
    if (control == nullptr) return;
    const Quiet quiet(quiet_);
    SetControlText(control, Utf8(utf8));
    RefreshAccessibleNames(this, id);
}

bool QtDialogHost::Checked(int id) const {
    auto* button = qobject_cast<QAbstractButton*>(Control(id));
    return button != nullptr && button->isChecked();
}

void QtDialogHost::SetChecked(int id, bool on) {
    auto* button = qobject_cast<QAbstractButton*>(Control(id));
    if (button == nullptr) return;
    const Quiet quiet(quiet_);
    button->setChecked(on);
}

int QtDialogHost::Position(int list) const {
    const QWidget* control = Control(list);
    return control ? ListPosition(control) : -1;
}

void QtDialogHost::Select(int list, int position) {
    QWidget* control = Control(list);
    if (control == nullptr) return;
    const Quiet quiet(quiet_);
    SelectListPosition(control, position);
}

int QtDialogHost::AddItem(int list, std::string_view utf8) {
    QWidget* control = Control(list);
    if (control == nullptr) return -1;
    const Quiet quiet(quiet_);
    return AddListItem(control, Utf8(utf8));
}

void QtDialogHost::InsertItem(int list, int position, std::string_view utf8) {
    QWidget* control = Control(list);
    if (control == nullptr) return;
    const Quiet quiet(quiet_);
    InsertListItem(control, position, Utf8(utf8));
}

void QtDialogHost::ResetList(int list) {
    QWidget* control = Control(list);
    if (control == nullptr) return;
    const Quiet quiet(quiet_);
    platform::ResetList(control);
}

std::array<uint8_t, 4> QtDialogHost::Octets(int id) const {
    const auto* ip = FindControlAs<Ipv4Edit>(this, id);
    return ip ? ip->Octets() : std::array<uint8_t, 4>{};
}

void QtDialogHost::SetOctets(int id, const std::array<uint8_t, 4>& octets) {
    if (auto* ip = FindControlAs<Ipv4Edit>(this, id)) ip->SetOctets(octets);
}

void QtDialogHost::Enable(int id, bool on) {
    if (QWidget* control = Control(id)) control->setEnabled(on);
}

void QtDialogHost::SetProgress(int bar, int position) {
    if (auto* progress = FindControlAs<QProgressBar>(this, bar)) progress->setValue(position);
}

void QtDialogHost::On(int id, Notification what, std::function<void()> handler) {
    handlers_[{id, what}] = std::move(handler);
}

void QtDialogHost::SetTimer(int timer, std::chrono::milliseconds period,
                            std::function<void()> tick) {
    ticks_[timer] = std::move(tick);
    std::unique_ptr<QTimer>& slot = timers_[timer];
    if (!slot) {
        slot = std::make_unique<QTimer>();
        connect(slot.get(), &QTimer::timeout, this, [this, timer] {
            const auto found = ticks_.find(timer);
            if (found == ticks_.end()) return;
            const std::function<void()> tick = found->second;
            tick();
        });
    }
    const auto ms = std::clamp<std::chrono::milliseconds::rep>(period.count(), kTimerMinimumMs,
                                                               std::numeric_limits<int>::max());
    slot->start(static_cast<int>(ms));
}

void QtDialogHost::KillTimer(int timer) {
    const auto found = timers_.find(timer);
    if (found != timers_.end()) found->second->stop();
}

bool QtDialogHost::TimerActive(int timer) const {
    const auto found = timers_.find(timer);
    return found != timers_.end() && found->second->isActive();
}

int QtDialogHost::TimerInterval(int timer) const {
    const auto found = timers_.find(timer);
    return found != timers_.end() ? found->second->interval() : -1;
}

int QtDialogHost::RunModal(const DialogSpec& layout, DialogPresenter& presenter) {
    QtDialogHost dialog(layout, this);
    dialog.Attach(presenter);
    return dialog.exec();
}

void QtDialogHost::Close(int result) {
    done(result);
}

void QtDialogHost::SetBusy(bool busy) {
    busy_ = busy;
}

void QtDialogHost::SetAboutCommand(std::string_view item, std::function<void()> command) {
    aboutItem_ = Utf8(item);
    about_ = std::move(command);
}

void QtDialogHost::done(int result) {
    // A busy window cannot be ended: closing now would leave its operation without a window.
    if (busy_) return;
    if (!ended_) {
        ended_ = true;
        for (auto& [id, timer] : timers_) timer->stop();
        if (presenter_ != nullptr) presenter_->Closed(result);
    }
    QDialog::done(result);
}

void QtDialogHost::reject() {
    done(kDialogCancel);
}

void QtDialogHost::AppendLineAtEnd() {
    auto* edit = FindControlAs<QPlainTextEdit>(this, enterLineEdit_);
    if (edit == nullptr) return;
    QTextCursor cursor = edit->textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QStringLiteral("\n"));
    edit->setTextCursor(cursor);
    edit->ensureCursorVisible();
}

bool QtDialogHost::eventFilter(QObject* watched, QEvent* event) {
    // Keys of another window (a message box or sub-dialog over this one) are its own.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != this) return QDialog::eventFilter(watched, event);
    if (busy_ && IsInput(event->type())) return true;
    if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_F1 && about_) {
        const std::function<void()> about = about_;
        about();
        return true;
    }
    if (enterLineEdit_ == 0 || !IsEnter(key)) return QDialog::eventFilter(watched, event);
    // Enter in the edit starts a new line at the end of its text, wherever the caret was;
    // anywhere else it does nothing.
    auto* edit = FindControlAs<QPlainTextEdit>(this, enterLineEdit_);
    if (edit != nullptr && (watched == edit || watched == edit->viewport())) AppendLineAtEnd();
    return true;
}

void QtDialogHost::contextMenuEvent(QContextMenuEvent* event) {
    if (busy_ || !about_) return;
    ShowWindowMenu(this, event->globalPos(), aboutItem_, about_);
}

void RunQtWindow(const DialogSpec& layout, DialogPresenter& presenter,
                 const std::function<void()>& started) {
    QtDialogHost host(layout);
    host.Attach(presenter);
    if (started) started();
    host.exec();
}

std::vector<std::string> Utf8Arguments() {
    std::vector<std::string> arguments;
    for (const QString& argument : QCoreApplication::arguments())
        arguments.push_back(argument.toStdString());
    return arguments;
}

QIcon ProgramIcon(const QString& name) {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128})
        icon.addFile(QStringLiteral(":/%1/%1-%2.png").arg(name).arg(size), QSize(size, size));
    return icon;
}

void ShowWindowMenu(QWidget* window, const QPoint& globalPos, const QString& item,
                    const std::function<void()>& command) {
    QMenu menu(window);
    QAction* action = menu.addAction(item);
    QObject::connect(action, &QAction::triggered, window, [&command] { command(); });
    menu.exec(globalPos);
}

}  // namespace platform
