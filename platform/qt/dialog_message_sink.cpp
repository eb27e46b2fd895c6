#include "platform/qt/dialog_message_sink.h"

#include <QMessageBox>
#include <QWidget>

#include "platform/ui_thread.h"

namespace platform {

DialogMessageSink::DialogMessageSink(QWidget* parent, const UiCallGate& gate)
    : parent_(parent), gate_(gate) {}

void DialogMessageSink::ShowMessage(const std::string& utf8) {
    Show(utf8, QMessageBox::NoIcon);
}

void DialogMessageSink::ShowStopMessage(const std::string& utf8) {
    Show(utf8, QMessageBox::Critical);
}

void DialogMessageSink::Show(const std::string& utf8, int icon) {
    gate_.Run([this, &utf8, icon] {
        QWidget* parent = parent_.data();
        QMessageBox box(static_cast<QMessageBox::Icon>(icon),
                        parent ? parent->windowTitle() : QString(), QString::fromStdString(utf8),
                        QMessageBox::Ok, parent);
        box.exec();
    });
}

}  // namespace platform
