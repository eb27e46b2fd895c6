#pragma once
// The text of a line printer daemon exchange: the control file a client sends with a job (who
// sends it, its name, which data files to print and how), and the queue listing a printer sends
// back when asked for its queue's state.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim::lpd {

// A control file read line by line: one letter, then its operand. Texts are kept as one short
// printable line each (for the log and the receipt's data file).
struct ControlFile {
    // The print lines kept at most; more are counted.
    static constexpr std::size_t kMaxPrints = 64;

    struct Print {
        char format = 'l';  // the line's letter: l raw, f text, o PostScript, p pr, ...
        std::string file;   // the data file it prints
    };

    std::string name;    // as the subcommand named it, e.g. cfA644host
    std::string host;    // H
    std::string user;    // P
    std::string job;     // J, the job name for the banner page
    std::string source;  // N, the file the (first) data file was made from
    std::string title;   // T
    std::string banner;  // L, a banner page for this user
    std::vector<Print> prints;
    std::size_t printsLeftOut = 0;
    std::size_t otherLines = 0;  // lines with a letter this reading does not use

    // J, else N, else empty.
    std::string JobName() const;
};

// The job number in a control or data file's name (cfA or dfA, three digits, the host); -1
// without one.
int JobNumber(std::string_view fileName);

// Reads a control file's text. Lines end with LF (a CR before it is dropped); the last may lack
// it; empty lines are skipped.
ControlFile ParseControlFile(std::string_view name, std::string_view text);

// "job 'Receipt 42', user 'anna', host 'till-2', prints dfA042till-2 (l)": what the log says
// of a control file.
std::string Describe(const ControlFile& control);

// A job on a printer, for a queue listing.
struct QueueEntry {
    bool held = false;   // the printer cannot print: its bytes wait in the receive buffer
    std::string owner;   // the control file's user; empty when unknown
    int number = -1;     // the job number; -1 when unknown
    std::string file;    // its data file (or source file) name
    uint64_t bytes = 0;  // received so far
};

struct QueueView {
    static constexpr std::size_t kMaxListed = 50;  // jobs listed at most; more are counted

    std::string printer;  // e.g. "printer 1"
    std::string state;    // e.g. "ready and printing", "cannot print: paper out"
    std::vector<QueueEntry> jobs;
};

// The answer to a queue-state command: a line with the printer and its state, then "no entries"
// or one line a job (`longForm`: two lines a job), at most kMaxListed of them. `filter` (user
// names or job numbers, as the command listed them) keeps only the jobs it names; empty keeps
// all.
std::string QueueText(const QueueView& view, bool longForm, const std::vector<std::string>& filter);

// Splits a command's operands at white space (space, horizontal and vertical tab, form feed).
std::vector<std::string> Operands(std::string_view text);

}  // namespace sim::lpd
