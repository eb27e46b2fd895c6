#include "platform/message_sink.h"

#include <QMessageBox>
#include <QWidget>

#include "platform/ui_thread.h"

namespace platform {

DialogMessageSink::DialogMessageSink(QWidget* parent, const UiCallGate& gate)
    : parent_(parent), gate_(gate) {}

void DialogMessageSink::ShowMessage(const std::string& utf8) {
    gate_.Run([this, &utf8] {
        QWidget* parent = parent_.data();
        QMessageBox box(QMessageBox::NoIcon, parent ? parent->windowTitle() : QString(),
                        QString::fromStdString(utf8), QMessageBox::Ok, parent);
        box.exec();
    });
}

void RecordingMessageSink::ShowMessage(const std::string& utf8) {
    {
        std::lock_guard lock(mutex_);
        messages_.push_back(utf8);
    }
    changed_.notify_all();
}

std::vector<std::string> RecordingMessageSink::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

bool RecordingMessageSink::WaitForCount(std::size_t count,
                                        std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return messages_.size() >= count; });
}

}  // namespace platform
