#pragma once
// What a printer's status answers report wrong, in the words of the command line and the windows'
// two languages: one caption table for tessary-cli, Tessary and Brindel.

#include <span>
#include <string>
#include <vector>

#include "commands/realtime_status.h"
#include "platform/captions.h"

namespace commands {

// The faults a report can name, as the ids of the caption table, most telling first.
enum class StatusFault {
    CoverOpen = 1,
    PaperOut,
    CutterError,
    UnrecoverableError,
    AutoRecoverableError,
    Offline,  // named only when no other fault explains it
    PaperNearEnd,
};

// The faults and the prefix of a report ("printer reports: ..."), English and Chinese.
std::span<const platform::CaptionEntry> StatusFaultCaptions();

// What the decoded answers report wrong, in the order above; empty when nothing is (also when
// nothing answered).
std::vector<StatusFault> Faults(const StatusReport& report);

// "printer reports: paper out, cover open" (languageFlag 0: "打印机报告:缺纸,上盖打开"); empty for
// no faults.
std::string FaultReport(const std::vector<StatusFault>& faults, int languageFlag);

}  // namespace commands
