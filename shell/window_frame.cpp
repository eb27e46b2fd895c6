#include "shell/window_frame.h"

#include "platform/qt/dialog_builder.h"
#include "platform/qt/dialog_message_sink.h"
#include "shell/start_up.h"

namespace shell {

void SetUpDialogFrame(QDialog* dialog, const char* titleUtf8, const QIcon& icon, double pointSize) {
    dialog->setWindowTitle(QString::fromUtf8(titleUtf8));
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    dialog->setWindowIcon(icon);
    dialog->setFont(platform::DialogFont(pointSize));
}

platform::MessageSink* ChooseMessageSink(platform::MessageSink* injected, QWidget* window,
                                         const platform::UiCallGate& gate,
                                         std::unique_ptr<platform::MessageSink>& owned) {
    if (injected != nullptr) return injected;
    owned = std::make_unique<platform::DialogMessageSink>(window, gate);
    return owned.get();
}

void ExitProgram(const std::function<void(int)>& exitProgram, int status) {
    if (exitProgram) {
        exitProgram(status);
        return;
    }
    EndProcess(status);
}

}  // namespace shell
