#include "platform/qt/dialog_builder.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

#include "platform/qt/dialog_keys.h"
#include "platform/qt/ipv4_edit.h"

namespace platform {

namespace {
constexpr const char* kIdProperty = "controlId";
constexpr const char* kBuddyProperty = "buddyId";
constexpr const char* kSortedProperty = "sortedList";
constexpr const char* kFitDropProperty = "fitDropWidth";
constexpr const char* kLiveNameProperty = "liveTextName";  // base accessible name of a live label

QString Utf8(const char* text) {
    return text ? QString::fromUtf8(text) : QString();
}

// Keeps the selected position of an editable combo in step with its typed text: text that
// names an item (case-insensitive, as the list's exact search) selects it, any other text
// leaves no item selected. The text and caret stay as typed.
void TrackTypedText(QComboBox* combo) {
    QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, combo,
                     [combo](const QString& text) {
                         QLineEdit* edit = combo->lineEdit();
                         const int match = combo->findText(text, Qt::MatchFixedString);
                         if (match == combo->currentIndex()) return;
                         const int caret = edit->cursorPosition();
                         combo->setCurrentIndex(match);
                         if (edit->text() != text) edit->setText(text);
                         edit->setCursorPosition(caret);
                     });
}

QWidget* MakeControl(QWidget* dialog, const ControlDef& def) {
    const QString caption = Utf8(def.caption);
    switch (def.kind) {
        case ControlKind::Button:
        case ControlKind::DefaultButton: {
            // The dialog's keyboard rule decides what Enter presses; Qt's auto-default buttons
            // would move the default to whichever button had the focus last.
            auto* button = new QPushButton(caption, dialog);
            button->setAutoDefault(false);
            button->setDefault(def.kind == ControlKind::DefaultButton);
            return button;
        }
        case ControlKind::RadioButton:
            return new QRadioButton(caption, dialog);
        case ControlKind::CheckBox:
            return new QCheckBox(caption, dialog);
        case ControlKind::GroupBox: {
            // The caption sits on the top line of the frame, as in the original dialogs.
            auto* group = new QGroupBox(caption, dialog);
            group->setStyleSheet(QStringLiteral(
                "QGroupBox { border: 1px solid palette(mid); border-radius: 2px;"
                " margin-top: 0.55em; }"
                "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
                " left: 6px; padding: 0px 2px; background-color: palette(window); }"));
            return group;
        }
        case ControlKind::Label: {
            auto* label = new QLabel(caption, dialog);
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(true);
            label->setAlignment((def.flags & kCentered) ? Qt::AlignHCenter | Qt::AlignTop
                                                        : Qt::AlignLeft | Qt::AlignTop);
            return label;
        }
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(caption, dialog);
            edit->setReadOnly(def.flags & kReadOnly);
            return edit;
        }
        case ControlKind::MultiLineEdit: {
            auto* edit = new QPlainTextEdit(caption, dialog);
            edit->setReadOnly(def.flags & kReadOnly);
            edit->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
            edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            edit->setTabChangesFocus(true);
            return edit;
        }
        case ControlKind::DropDownCombo:
        case ControlKind::DropDownList: {
            auto* combo = new QComboBox(dialog);
            if (def.kind == ControlKind::DropDownCombo) {
                combo->setEditable(true);
                combo->setInsertPolicy(QComboBox::NoInsert);
                combo->setCompleter(nullptr);  // the typed text stays as typed
                TrackTypedText(combo);
            }
            combo->setProperty(kSortedProperty, (def.flags & kSorted) != 0);
            combo->setProperty(kFitDropProperty, (def.flags & kFitDropWidth) != 0);
            return combo;
        }
        case ControlKind::ListBox: {
            // Items are put at their sorted place when added (never re-sorted, so lines
            // inserted at a position stay there).
            auto* list = new QListWidget(dialog);
            list->setSelectionMode(QAbstractItemView::SingleSelection);
            list->setProperty(kSortedProperty, (def.flags & kSorted) != 0);
            return list;
        }
        case ControlKind::Ipv4Edit:
            return new Ipv4Edit(dialog);
        case ControlKind::ProgressBar: {
            auto* bar = new QProgressBar(dialog);
            bar->setRange(0, 100);
            bar->setValue(0);
            bar->setTextVisible(false);
            return bar;
        }
        case ControlKind::Icon: {
            auto* icon = new QLabel(dialog);
            icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            return icon;
        }
    }
    return new QWidget(dialog);
}

QRect Geometry(const ControlDef& def, const DialogUnits& units, const QFontMetrics& fm) {
    QRect rect = units.ToPixels(def.x, def.y, def.w, def.h);
    switch (def.kind) {
        case ControlKind::DropDownCombo:
        case ControlKind::DropDownList:
            // The template height is that of the dropped list; the closed box is one line.
            rect.setHeight(qMax(units.ToPixels(def.x, def.y, def.w, 12).height(), fm.height() + 6));
            break;
        case ControlKind::Icon:
            rect.setSize(QSize(32, 32));  // icons keep their pixel size
            break;
        default:
            break;
    }
    return rect;
}

bool HasOwnCaption(ControlKind kind) {
    switch (kind) {
        case ControlKind::Button:
        case ControlKind::DefaultButton:
        case ControlKind::RadioButton:
        case ControlKind::CheckBox:
        case ControlKind::GroupBox:
        case ControlKind::Label:
            return true;
        default:
            return false;
    }
}

void SetNameOf(QWidget* control, const QString& name) {
    if (auto* ip = qobject_cast<Ipv4Edit*>(control)) {
        ip->SetAccessibleNames(name);
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        combo->setAccessibleName(name);
        if (combo->lineEdit()) combo->lineEdit()->setAccessibleName(name);
    } else {
        control->setAccessibleName(name);
    }
}
}  // namespace

DialogUnits DialogUnits::FromFont(const QFont& font) {
    const QFontMetrics fm(font);
    const int width = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    DialogUnits units;
    units.bx = qMax(1, (width / 26 + 1) / 2);
    units.by = qMax(1, fm.height());
    return units;
}

QRect DialogUnits::ToPixels(int x, int y, int w, int h) const {
    const int left = X(x);
    const int top = Y(y);
    return QRect(left, top, X(x + w) - left, Y(y + h) - top);
}

QFont DialogFont(double pointSize) {
    QFont font;
    font.setFamilies({QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("Droid Sans Fallback"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    return font;
}

std::vector<QWidget*> BuildControls(QWidget* dialog, std::span<const ControlDef> table,
                                    const DialogUnits& units) {
    std::vector<QWidget*> built;
    built.reserve(table.size());
    const QFontMetrics fm(dialog->font());
    for (const ControlDef& def : table) {
        QWidget* control = MakeControl(dialog, def);
        control->setObjectName(def.id == kNoId ? QStringLiteral("static")
                                               : QStringLiteral("id_%1").arg(def.id));
        control->setProperty(kIdProperty, def.id);
        control->setGeometry(Geometry(def, units, fm));
        if (def.id != kNoId) control->setAccessibleDescription(QString::number(def.id));
        if (def.buddyId != 0) control->setProperty(kBuddyProperty, def.buddyId);
        if (def.accessibleName != nullptr) {
            SetNameOf(control, Utf8(def.accessibleName));
        } else if (def.buddyId == 0 && !HasOwnCaption(def.kind)) {
            SetNameOf(control, Utf8(def.caption));
        }
        if (def.flags & kLiveText) {
            control->setProperty(kLiveNameProperty, Utf8(def.accessibleName));
            SetControlText(control, ControlText(control));
        }
        if (def.flags & kDisabled) control->setEnabled(false);
        if (def.flags & kHidden) control->setHidden(true);
        built.push_back(control);
    }
    // Frames go below the controls they surround, so they neither cover nor catch clicks.
    for (std::size_t i = built.size(); i-- > 0;) {
        if (table[i].kind == ControlKind::GroupBox) built[i]->lower();
    }
    RefreshAccessibleNames(dialog);
    if (auto* asDialog = qobject_cast<QDialog*>(dialog)) DialogKeyboard::Install(asDialog);
    return built;
}

std::vector<QWidget*> BuildDialog(QDialog* dialog, const QString& title, double pointSize,
                                  std::span<const ControlDef> table, int width, int height) {
    dialog->setWindowTitle(title);
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    dialog->setFont(DialogFont(pointSize));
    const auto units = DialogUnits::FromFont(dialog->font());
    std::vector<QWidget*> built = BuildControls(dialog, table, units);
    dialog->setFixedSize(units.ToPixels(0, 0, width, height).size());
    return built;
}

QWidget* FindControl(const QWidget* dialog, int id) {
    if (dialog == nullptr || id == kNoId) return nullptr;
    return dialog->findChild<QWidget*>(QStringLiteral("id_%1").arg(id));
}

int ControlId(const QWidget* control) {
    if (control == nullptr) return 0;
    return control->property(kIdProperty).toInt();
}

QString ControlText(const QWidget* control) {
    if (auto* button = qobject_cast<const QAbstractButton*>(control)) return button->text();
    if (auto* group = qobject_cast<const QGroupBox*>(control)) return group->title();
    if (auto* label = qobject_cast<const QLabel*>(control)) return label->text();
    if (auto* edit = qobject_cast<const QLineEdit*>(control)) return edit->text();
    if (auto* text = qobject_cast<const QPlainTextEdit*>(control)) return text->toPlainText();
    if (auto* combo = qobject_cast<const QComboBox*>(control)) return combo->currentText();
    if (auto* ip = qobject_cast<const Ipv4Edit*>(control)) return ip->Text();
    return QString();
}

bool SetControlText(QWidget* control, const QString& text) {
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
        group->setTitle(text);
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(text);
        const QVariant live = label->property(kLiveNameProperty);
        if (live.isValid()) {
            const QString base = live.toString();
            if (text.isEmpty()) {
                label->setAccessibleName(base);
            } else {
                label->setAccessibleName(base.isEmpty() ? text
                                                        : base + QStringLiteral(": ") + text);
            }
        }
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(text);
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(control)) {
        plain->setPlainText(text);
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        if (!combo->isEditable()) return false;
        combo->setEditText(text);
    } else {
        return false;
    }
    return true;
}

void RefreshAccessibleNames(QWidget* dialog, int buddyId) {
    const auto children = dialog->findChildren<QWidget*>();
    for (QWidget* control : children) {
        const int buddy = control->property(kBuddyProperty).toInt();
        if (buddy == 0 || (buddyId != 0 && buddy != buddyId)) continue;
        QString name = ControlText(FindControl(dialog, buddy));
        name.remove(QLatin1Char('&'));
        SetNameOf(control, name);
    }
}

namespace {
QString ItemText(const QWidget* list, int position) {
    if (auto* combo = qobject_cast<const QComboBox*>(list)) return combo->itemText(position);
    if (auto* box = qobject_cast<const QListWidget*>(list)) return box->item(position)->text();
    return QString();
}

int ItemCount(const QWidget* list) {
    if (auto* combo = qobject_cast<const QComboBox*>(list)) return combo->count();
    if (auto* box = qobject_cast<const QListWidget*>(list)) return box->count();
    return 0;
}

// The dropped list of a kFitDropWidth combo: as wide as its longest item and 20 pixels more.
void FitDropWidth(QComboBox* combo) {
    if (!combo->property(kFitDropProperty).toBool()) return;
    const QFontMetrics metrics(combo->font());
    int width = combo->view()->minimumWidth();
    for (int i = 0; i < combo->count(); ++i)
        width = qMax(width, metrics.horizontalAdvance(combo->itemText(i)) + 20);
    combo->view()->setMinimumWidth(width);
}
}  // namespace

int InsertListItem(QWidget* list, int position, const QString& text) {
    const int count = ItemCount(list);
    if (position < 0 || position > count) position = count;
    if (auto* box = qobject_cast<QListWidget*>(list)) {
        box->insertItem(position, text);
        return position;
    }
    auto* combo = qobject_cast<QComboBox*>(list);
    if (combo == nullptr) return -1;
    const int before = combo->currentIndex();
    const QString typed = combo->isEditable() ? combo->currentText() : QString();
    combo->insertItem(position, text);
    // Qt selects the first item put into an empty box; the list keeps "nothing selected".
    if (before < 0 && combo->currentIndex() >= 0) {
        combo->setCurrentIndex(-1);
        if (combo->isEditable()) combo->setEditText(typed);
    }
    FitDropWidth(combo);
    return position;
}

int AddListItem(QWidget* list, const QString& text) {
    int position = ItemCount(list);
    if (list->property(kSortedProperty).toBool()) {
        position = 0;
        while (position < ItemCount(list) &&
               QString::compare(ItemText(list, position), text, Qt::CaseInsensitive) <= 0) {
            ++position;
        }
    }
    return InsertListItem(list, position, text);
}

void ResetList(QWidget* list) {
    if (auto* box = qobject_cast<QListWidget*>(list)) {
        box->clear();
    } else if (auto* combo = qobject_cast<QComboBox*>(list)) {
        combo->clear();
        combo->setCurrentIndex(-1);
        if (combo->isEditable()) combo->clearEditText();
    }
}

int ListPosition(const QWidget* list) {
    if (auto* combo = qobject_cast<const QComboBox*>(list)) return combo->currentIndex();
    if (auto* box = qobject_cast<const QListWidget*>(list)) {
        const QList<QListWidgetItem*> selected = box->selectedItems();
        return selected.isEmpty() ? -1 : box->row(selected.front());
    }
    return -1;
}

void SelectListPosition(QWidget* list, int position) {
    if (auto* combo = qobject_cast<QComboBox*>(list)) {
        combo->setCurrentIndex(position < combo->count() ? position : -1);
    } else if (auto* box = qobject_cast<QListWidget*>(list)) {
        if (position < 0 || position >= box->count()) {
            box->clearSelection();
            box->setCurrentRow(-1);
        } else {
            box->setCurrentRow(position);
        }
    }
}

int AddListString(QComboBox* combo, const QString& text) {
    return AddListItem(combo, text);
}

void ResetListContent(QComboBox* combo) {
    ResetList(combo);
}

}  // namespace platform
