#include "platform/qt/ipv4_edit.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QValidator>
#include <algorithm>

namespace platform {

namespace {
// Up to three digits with a value of at most 255; anything else is refused while typing.
class OctetValidator final : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        if (input.isEmpty()) return Acceptable;
        if (input.size() > 3) return Invalid;
        for (QChar c : input) {
            if (c < u'0' || c > u'9') return Invalid;
        }
        return input.toInt() <= 255 ? Acceptable : Invalid;
    }
};

// The octet a field's text stands for, as the field shows it: only digits count (blanks and
// leading zeros do not cut the number), a value above 255 is 255, no digits at all is empty.
QString CanonicalOctet(const QString& text) {
    int value = -1;
    for (QChar c : text) {
        if (c < u'0' || c > u'9') continue;
        value = std::min(256, (value < 0 ? 0 : value) * 10 + (c.unicode() - u'0'));
    }
    if (value < 0) return QString();
    return QString::number(std::min(value, 255));
}
}  // namespace

Ipv4Edit::Ipv4Edit(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setFocusPolicy(Qt::StrongFocus);
    auto* validator = new OctetValidator(this);
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        auto* field = new QLineEdit(this);
        field->setObjectName(QStringLiteral("field_%1").arg(i + 1));
        field->setValidator(validator);
        field->setAlignment(Qt::AlignCenter);
        field->setFrame(false);
        field->installEventFilter(this);
        connect(field, &QLineEdit::textEdited, this, [this, i](const QString& text) {
            if (text.size() == 3 && i + 1 < fields_.size()) {
                fields_[i + 1]->setFocus();
                fields_[i + 1]->selectAll();
            }
            emit AddressEdited();
        });
        // Text that did not come through the keyboard (set by a program, pasted past the
        // validator, set over accessibility) is put right at once, so the field always shows
        // the octet that is sent.
        connect(field, &QLineEdit::textChanged, this, [field](const QString& text) {
            int position = 0;
            QString copy = text;
            if (field->validator()->validate(copy, position) == QValidator::Acceptable) return;
            field->setText(CanonicalOctet(text));
        });
        fields_[i] = field;
        if (i + 1 < fields_.size()) {
            auto* dot = new QLabel(QStringLiteral("."), this);
            dot->setAlignment(Qt::AlignCenter);
            dots_[i] = dot;
        }
    }
    setFocusProxy(fields_[0]);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    LayOut();
}

std::array<uint8_t, 4> Ipv4Edit::Octets() const {
    std::array<uint8_t, 4> octets{};
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const int value = fields_[i]->text().toInt();  // empty gives 0
        octets[i] = static_cast<uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
    }
    return octets;
}

void Ipv4Edit::SetOctets(const std::array<uint8_t, 4>& octets) {
    for (std::size_t i = 0; i < fields_.size(); ++i)
        fields_[i]->setText(QString::number(octets[i]));
}

bool Ipv4Edit::SetText(const QString& dotted) {
    static const QRegularExpression form(
        QStringLiteral("^(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})$"));
    const QRegularExpressionMatch match = form.match(dotted.trimmed());
    if (!match.hasMatch()) return false;
    std::array<uint8_t, 4> octets{};
    for (int i = 0; i < 4; ++i) {
        const int value = match.captured(i + 1).toInt();
        if (value > 255) return false;
        octets[static_cast<std::size_t>(i)] = static_cast<uint8_t>(value);
    }
    SetOctets(octets);
    return true;
}

QString Ipv4Edit::Text() const {
    const auto o = Octets();
    return QStringLiteral("%1.%2.%3.%4").arg(o[0]).arg(o[1]).arg(o[2]).arg(o[3]);
}

bool Ipv4Edit::IsBlank() const {
    for (const QLineEdit* field : fields_) {
        if (!field->text().isEmpty()) return false;
    }
    return true;
}

void Ipv4Edit::Clear() {
    for (QLineEdit* field : fields_) field->clear();
}

void Ipv4Edit::SetAccessibleNames(const QString& name) {
    setAccessibleName(name);
    for (std::size_t i = 0; i < fields_.size(); ++i)
        fields_[i]->setAccessibleName(QStringLiteral("%1, field %2").arg(name).arg(i + 1));
}

bool Ipv4Edit::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QFrame::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        if (watched != fields_[i]) continue;
        QLineEdit* field = fields_[i];
        // A dot moves to the next field, as does the right arrow at the end of a field; the
        // left arrow at the start and backspace in an empty field move back.
        const bool atEnd = field->cursorPosition() == field->text().size();
        const bool atStart = field->cursorPosition() == 0 && !field->hasSelectedText();
        if ((key->text() == QStringLiteral(".") || (key->key() == Qt::Key_Right && atEnd)) &&
            i + 1 < fields_.size()) {
            if (key->text() == QStringLiteral(".") && field->text().isEmpty()) return true;
            fields_[i + 1]->setFocus();
            fields_[i + 1]->selectAll();
            return true;
        }
        if (key->text() == QStringLiteral(".")) return true;
        if ((key->key() == Qt::Key_Left && atStart) ||
            (key->key() == Qt::Key_Backspace && field->text().isEmpty())) {
            if (i > 0) {
                fields_[i - 1]->setFocus();
                fields_[i - 1]->setCursorPosition(fields_[i - 1]->text().size());
                return true;
            }
        }
        break;
    }
    return QFrame::eventFilter(watched, event);
}

void Ipv4Edit::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    LayOut();
}

void Ipv4Edit::LayOut() {
    // Four equal fields with narrow dots between them, inside the frame.
    const int frame = frameWidth();
    const int inner = width() - 2 * frame;
    const int dotWidth = qMax(3, fontMetrics().horizontalAdvance(QLatin1Char('.')) + 2);
    const int fieldWidth = qMax(1, (inner - 3 * dotWidth) / 4);
    const int h = height() - 2 * frame;
    int x = frame;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        fields_[i]->setGeometry(x, frame, fieldWidth, h);
        x += fieldWidth;
        if (i < dots_.size()) {
            dots_[i]->setGeometry(x, frame, dotWidth, h);
            x += dotWidth;
        }
    }
}

}  // namespace platform
