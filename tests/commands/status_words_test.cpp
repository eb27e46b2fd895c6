// What a printer's status answers report wrong, in both languages: the answers a printer in each
// condition gives, decoded as a reader of them does.
#include "commands/status_words.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace commandstest {
namespace {

using commands::PaperLevel;
using commands::PrinterCondition;
using commands::StatusKind;

// The answers of a printer in `condition` to the first `asked` questions.
commands::StatusAnswers AnswersOf(const PrinterCondition& condition, std::size_t asked = 4) {
    commands::StatusAnswers answers;
    for (std::size_t i = 0; i < asked; ++i)
        answers[i] = commands::StatusAnswer(condition, commands::kStatusKinds[i]);
    return answers;
}

TEST(StatusWords, FaultsInTheWindowsLanguages) {
    const auto with = [](auto change) {
        PrinterCondition c;
        change(c);
        return c;
    };
    struct Case {
        const char* name;
        PrinterCondition condition;
        std::size_t asked;
        const char* english;
        const char* chinese;
    };
    const Case cases[] = {
        {"ready", {}, 4, "", ""},
        {"paper out",
         with([](PrinterCondition& c) { c.paper = PaperLevel::Out, c.online = false; }), 4,
         "printer reports: paper out", "打印机报告:缺纸"},
        {"paper near its end", with([](PrinterCondition& c) { c.paper = PaperLevel::NearEnd; }), 4,
         "printer reports: paper near its end", "打印机报告:纸将尽"},
        // Offline is named only where nothing else says why.
        {"cover open", with([](PrinterCondition& c) { c.coverOpen = true, c.online = false; }), 4,
         "printer reports: cover open", "打印机报告:上盖打开"},
        {"offline", with([](PrinterCondition& c) { c.online = false; }), 4,
         "printer reports: offline", "打印机报告:脱机"},
        {"cutter error, near end", with([](PrinterCondition& c) {
             c.cutterError = true, c.online = false, c.paper = PaperLevel::NearEnd;
         }),
         4, "printer reports: cutter error, paper near its end", "打印机报告:切刀错误,纸将尽"},
        {"head too hot",
         with([](PrinterCondition& c) { c.autoRecoverableError = true, c.online = false; }), 4,
         "printer reports: auto-recoverable error", "打印机报告:可自动恢复错误"},
        // The paper sensor's question went unanswered: nothing is known of the paper.
        {"paper unknown", with([](PrinterCondition& c) { c.paper = PaperLevel::Out; }), 3, "", ""},
        {"nothing answered", with([](PrinterCondition& c) { c.coverOpen = true; }), 0, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto faults =
            commands::Faults(commands::DecodeStatus(AnswersOf(c.condition, c.asked)));
        EXPECT_EQ(commands::FaultReport(faults, 1), c.english);
        EXPECT_EQ(commands::FaultReport(faults, 0), c.chinese);
    }
}

// The command line's status lines use the windows' English words for the same faults.
TEST(StatusWords, CommandLineLinesUseTheSameWords) {
    PrinterCondition c;
    c.coverOpen = true, c.online = false, c.paper = PaperLevel::NearEnd, c.cutterError = true;
    const auto lines = commands::StatusLines(commands::DecodeStatus(AnswersOf(c)));
    for (const auto fault : commands::Faults(commands::DecodeStatus(AnswersOf(c)))) {
        const std::string word =
            platform::Caption(commands::StatusFaultCaptions(), static_cast<int>(fault), 1);
        EXPECT_NE(std::find(lines.begin(), lines.end(), word), lines.end()) << word;
    }
}

}  // namespace
}  // namespace commandstest
