#pragma once
// The folder the virtual printers' receipts go to: each picture saved as receipt-NNNN.png,
// numbered in print order and never over a file already there, and index.html, a page that shows
// every receipt in the folder, newest first, at one pixel a dot, and reloads itself every 2 s so
// a browser left open on it follows the printing.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "sim/paper/bitmap.h"
#include "sim/paper/drawing.h"
#include "sim/paper/files.h"

namespace sim::paper {

// Where a receipt came from.
struct ReceiptSource {
    int printer = 0;          // 1-based
    std::string link;         // "tcp", "serial"
    uint64_t connection = 0;  // TCP connection number; 0 for the serial side
};

struct SavedReceipt {
    std::string file;   // "receipt-0007.png", also when it could not be saved
    int width = 0;      // dots
    int height = 0;     // dots
    std::string error;  // not empty: the picture was not saved, and why
};

// "receipt-0007.png, 576 × 1184 dots (14.8 cm)" or "receipt-0008.png not saved: <why>".
std::string Describe(const SavedReceipt& receipt);

class ReceiptStore {
  public:
    // The index is written again at most this often while receipts come in.
    static constexpr std::chrono::milliseconds kIndexInterval{1000};

    // The folder is made absolute at once: the log names it whole, and it stays the same folder
    // whatever the working folder becomes.
    explicit ReceiptStore(const std::filesystem::path& folder);
    // The folder as UTF-8 text, as the options give it (on Windows std::filesystem would read
    // narrow text in the PC's code page).
    explicit ReceiptStore(const std::string& folder) : ReceiptStore(PathFromUtf8(folder)) {}

    // Makes the folder if missing and reads which receipts it already holds, so numbering goes
    // on after the highest. Returns why it could not (empty when it could); the store still
    // works, and each picture that cannot be saved says so.
    std::string Open();

    // Saves the picture under the next number. A picture that could not be saved keeps its
    // number for the next one, so the files stay in print order without gaps.
    SavedReceipt Save(Drawing& drawing, const Bitmap& picture, const ReceiptSource& source);

    // Writes index.html when receipts came since it was last written and `now` is at least
    // kIndexInterval after that (or at once with `force`). Returns an error text when the
    // page could not be written (empty otherwise).
    std::string WriteIndex(std::chrono::steady_clock::time_point now, bool force = false);
    // When WriteIndex() has something to do; nullopt when the page is up to date.
    std::optional<std::chrono::steady_clock::time_point> IndexDue() const;

    const std::filesystem::path& Folder() const { return folder_; }
    // The number the next receipt gets.
    unsigned NextNumber() const { return next_; }

    static std::string FileName(unsigned number);  // "receipt-0007.png"

  private:
    struct Entry {
        std::string file;
        int width = 0;
        int height = 0;
        std::string source;  // "printer 1 tcp#3", empty for a picture of an earlier run
        std::string time;    // local time it was printed or, for an earlier run, the file's
    };

    std::filesystem::path folder_;
    unsigned next_ = 1;
    std::vector<Entry> entries_;  // oldest first
    bool indexStale_ = true;      // the first call writes the page, also for an empty folder
    std::chrono::steady_clock::time_point indexWritten_{};
};

}  // namespace sim::paper
