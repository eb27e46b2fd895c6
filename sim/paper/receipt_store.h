#pragma once
// The folder the virtual printers' receipts go to: each picture saved as receipt-NNNN.png with its
// data file receipt-NNNN.json beside it (what is on it: receipt_record.h), numbered in print order
// and never over a file already there; index.html, a page that shows the newest receipts at one
// pixel a dot and reloads itself every 2 s, so a browser left open on it follows the printing; and
// an index of the receipts in the folder, small and bounded, that a console asks: a printer's
// receipts newest first, and its latest. Save() and WriteIndex() are called from one thread; the
// queries from any.

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/paper/bitmap.h"
#include "sim/paper/drawing.h"
#include "sim/paper/files.h"
#include "sim/paper/paper.h"
#include "sim/paper/receipt_record.h"

namespace sim::paper {

struct SavedReceipt {
    unsigned number = 0;
    std::string file;       // "receipt-0007.png", also when it could not be saved
    std::string dataFile;   // "receipt-0007.json"
    int width = 0;          // dots
    int height = 0;         // dots
    std::string error;      // not empty: the picture was not saved (nor its data), and why
    std::string dataError;  // not empty: the picture was saved, its data file not, and why
};

// "receipt-0007.png, 576 × 1184 dots (14.8 cm)", "receipt-0008.png not saved: <why>", or the
// first with "; receipt-0007.json not saved: <why>".
std::string Describe(const SavedReceipt& receipt);

// How a receipt came, in the index: a link the simulator knows, or not known.
enum class ReceiptLink : uint8_t { Unknown, Tcp, Serial, File, Api, Lpd };
ReceiptLink LinkOf(const std::string& name);  // "tcp" ... "lpd"; Unknown for any other
const char* LinkName(ReceiptLink link);       // "" for Unknown

// One receipt in the index.
struct ReceiptEntry {
    uint32_t number = 0;
    uint32_t connection = 0;  // as in the log ("tcp#3"); 0 when none or not known
    int64_t time = 0;         // when it was saved (for an earlier run: its picture's file time),
                              // seconds since 1970-01-01 UTC
    uint16_t width = 0;       // dots; 0 when the picture's size could not be read
    uint16_t height = 0;
    uint8_t printer = 0;  // 1-based; 0: not known (a picture of an earlier run without its data)
    ReceiptEnd end = ReceiptEnd::StreamEnd;
    ReceiptLink link = ReceiptLink::Unknown;
    bool data = false;  // its data file was written (or, for an earlier run, is there)
};
static_assert(sizeof(ReceiptEntry) <= 24);

class ReceiptStore {
  public:
    // The index is written again at most this often while receipts come in.
    static constexpr std::chrono::milliseconds kIndexInterval{1000};
    // Receipts index.html shows, the newest; it says how many older ones the folder holds.
    static constexpr std::size_t kPageShown = 300;
    // Receipts the index keeps, the newest (24 bytes each); older ones stay in the folder.
    static constexpr std::size_t kIndexed = 65536;

    // The folder is made absolute at once: the log names it whole, and it stays the same folder
    // whatever the working folder becomes.
    explicit ReceiptStore(const std::filesystem::path& folder);
    // The folder as UTF-8 text, as the options give it (on Windows std::filesystem would read
    // narrow text in the PC's code page).
    explicit ReceiptStore(const std::string& folder) : ReceiptStore(PathFromUtf8(folder)) {}

    // Makes the folder if missing and reads which receipts it already holds, so numbering goes
    // on after the highest. A receipt of an earlier run takes its printer, link, connection and
    // end from the first lines of its data file where there is one (else they are not known),
    // its size from the picture's header and its time from the picture's file. Returns why it
    // could not (empty when it could); the store still works, and each picture that cannot be
    // saved says so.
    std::string Open();

    // Saves the picture and its data file under the next number. A picture that could not be
    // saved keeps its number for the next one, so the files stay in print order without gaps.
    SavedReceipt Save(Drawing& drawing, const Receipt& receipt, const ReceiptSource& source);

    // Writes index.html when receipts came since it was last written and `now` is at least
    // kIndexInterval after that (or at once with `force`). Returns an error text when the
    // page could not be written (empty otherwise).
    std::string WriteIndex(std::chrono::steady_clock::time_point now, bool force = false);
    // When WriteIndex() has something to do; nullopt when the page is up to date.
    std::optional<std::chrono::steady_clock::time_point> IndexDue() const;

    const std::filesystem::path& Folder() const { return folder_; }
    // The number the next receipt gets.
    unsigned NextNumber() const { return next_; }

    // Queries, from any thread. `printer` 0 asks for the receipts whose printer is not known.
    struct Query {
        std::optional<int> printer;  // nullopt: every printer's
        unsigned after = 0;          // only receipts numbered higher
        std::size_t limit = 100;
        unsigned before = 0;  // only receipts numbered lower (0: no bound)
    };
    // Newest first.
    std::vector<ReceiptEntry> List(const Query& query) const;
    std::optional<ReceiptEntry> Latest(int printer) const;
    std::optional<ReceiptEntry> Find(unsigned number) const;
    // Receipts in the folder (as found at Open() and saved since), also those the index no
    // longer keeps.
    std::size_t Count() const;

    static std::string FileName(unsigned number);      // "receipt-0007.png"
    static std::string DataFileName(unsigned number);  // "receipt-0007.json"

  private:
    void Keep(const ReceiptEntry& entry);  // with mutex_ held

    std::filesystem::path folder_;
    unsigned next_ = 1;
    mutable std::mutex mutex_;
    std::deque<ReceiptEntry> entries_;  // oldest first, by number
    std::size_t forgotten_ = 0;         // older receipts no longer kept
    bool indexStale_ = true;            // the first call writes the page, also for an empty folder
    std::chrono::steady_clock::time_point indexWritten_{};
};

}  // namespace sim::paper
