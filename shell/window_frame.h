#pragma once
// How both programs' main windows are framed and wired to the outside: the dialog frame, where
// message boxes go, how the program ends.

#include <QDialog>
#include <QIcon>
#include <functional>
#include <memory>

#include "platform/message_sink.h"
#include "platform/ui_thread.h"

namespace shell {

// Caption with system menu and close box (no minimise or maximise box), the program icon and the
// dialog font.
void SetUpDialogFrame(QDialog* dialog, const char* titleUtf8, const QIcon& icon, double pointSize);

// The sink for a window's message boxes: `injected` when set (tests), else modal boxes over
// `window`, kept in `owned`.
platform::MessageSink* ChooseMessageSink(platform::MessageSink* injected, QWidget* window,
                                         const platform::UiCallGate& gate,
                                         std::unique_ptr<platform::MessageSink>& owned);

// Calls `exitProgram` when set (tests), else flushes and ends the process with `status`.
void ExitProgram(const std::function<void(int)>& exitProgram, int status);

}  // namespace shell
