#pragma once
// Asking a printer its real-time status: the four DLE EOT questions over a port held open for
// them, as tessary-cli status asks, and as Tessary and Brindel ask after a job that failed (or
// Tessary's test page) to say what the printer reports.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "commands/realtime_status.h"
#include "link/printer_query.h"

namespace printerstatus {

// How long each question waits for its answer.
inline constexpr std::chrono::milliseconds kAnswerTimeout{1000};

struct Reading {
    enum class Outcome {
        Answered,  // at least one question got an answer
        NoAnswer,  // the printer answered nothing (one without real-time status)
        Failed,    // the port failed; `error` says why
    } outcome = Outcome::NoAnswer;
    commands::StatusAnswers answers;  // nullopt where none came
    std::string error;
};

// Asks DLE EOT 1 to 4 in turn, each waiting up to `answerTimeout` for its one-byte answer. A
// question left unanswered ends the asking: a late answer would be taken for the next one's.
Reading Ask(printerlink::PrinterQuery& query, std::chrono::milliseconds answerTimeout);

// A printer's TCP port or a serial port, where the windows' jobs go.
struct Where {
    enum class Kind { Tcp, Serial } kind = Kind::Tcp;
    printerlink::Ipv4Address ip{};
    uint16_t port = 9100;
    std::string serial;  // device name
    unsigned baud = 9600;
};

struct AskLimits {
    std::chrono::milliseconds answer = kAnswerTimeout;
    std::chrono::milliseconds connect{1000};
    std::function<bool()> cancelled;  // true ends the asking early (Failed)
};

// Opens the port, asks, and closes it again.
Reading AskAt(const Where& where, const AskLimits& limits);

// What the answers report wrong in the window's language ("printer reports: paper out"); empty
// when nothing is wrong or nothing answered.
std::string FaultReport(const Reading& reading, int languageFlag);

}  // namespace printerstatus
