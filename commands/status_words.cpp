#include "commands/status_words.h"

#include <array>

namespace commands {
namespace {

constexpr int kReportPrefix = 100;

constexpr std::array<platform::CaptionEntry, 8> kCaptions{{
    {static_cast<int>(StatusFault::CoverOpen), "cover open", "上盖打开"},
    {static_cast<int>(StatusFault::PaperOut), "paper out", "缺纸"},
    {static_cast<int>(StatusFault::CutterError), "cutter error", "切刀错误"},
    {static_cast<int>(StatusFault::UnrecoverableError), "unrecoverable error", "不可恢复错误"},
    {static_cast<int>(StatusFault::AutoRecoverableError), "auto-recoverable error",
     "可自动恢复错误"},
    {static_cast<int>(StatusFault::Offline), "offline", "脱机"},
    {static_cast<int>(StatusFault::PaperNearEnd), "paper near its end", "纸将尽"},
    {kReportPrefix, "printer reports: ", "打印机报告:"},
}};

bool Has(const std::vector<StatusKind>& kinds, StatusKind kind) {
    for (const StatusKind k : kinds)
        if (k == kind) return true;
    return false;
}

}  // namespace

std::span<const platform::CaptionEntry> StatusFaultCaptions() {
    return kCaptions;
}

std::vector<StatusFault> Faults(const StatusReport& report) {
    // Only facts of a request with a valid answer count.
    const auto valid = [&report](StatusKind kind) {
        return !Has(report.missing, kind) && !Has(report.notStatus, kind);
    };
    const PrinterCondition& c = report.condition;
    std::vector<StatusFault> faults;
    if (valid(StatusKind::OfflineCause) && c.coverOpen) faults.push_back(StatusFault::CoverOpen);
    if (valid(StatusKind::PaperSensor) && c.paper == PaperLevel::Out)
        faults.push_back(StatusFault::PaperOut);
    if (valid(StatusKind::ErrorCause)) {
        if (c.cutterError) faults.push_back(StatusFault::CutterError);
        if (c.unrecoverableError) faults.push_back(StatusFault::UnrecoverableError);
        if (c.autoRecoverableError) faults.push_back(StatusFault::AutoRecoverableError);
    }
    if (valid(StatusKind::Printer) && !c.online && faults.empty())
        faults.push_back(StatusFault::Offline);
    if (valid(StatusKind::PaperSensor) && c.paper == PaperLevel::NearEnd)
        faults.push_back(StatusFault::PaperNearEnd);
    return faults;
}

std::string FaultReport(const std::vector<StatusFault>& faults, int languageFlag) {
    if (faults.empty()) return {};
    std::string text = platform::Caption(kCaptions, kReportPrefix, languageFlag);
    const char* separator = languageFlag != 0 ? ", " : ",";
    for (std::size_t i = 0; i < faults.size(); ++i) {
        if (i > 0) text += separator;
        text += platform::Caption(kCaptions, static_cast<int>(faults[i]), languageFlag);
    }
    return text;
}

}  // namespace commands
