#pragma once
// One print job's way from bytes to paper: the stream's decoder, the paper it feeds (when the
// simulator has one), and each finished receipt saved with its data file and told in the log. The
// server runs one for each TCP connection and for its serial side, render mode one for each file,
// so a job prints the same wherever its bytes come from. Each receipt's data file also holds the
// events of its stretch of the stream; a receipt is saved once the command that ended it is told,
// so the log gives the cut before the picture.
//
//   PrintJob job(source, {drawing, &store, 576}, onEvent, onLine);
//   job.Feed(bytes);  ...  job.Finish();

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "sim/paper/drawing.h"
#include "sim/paper/paper.h"
#include "sim/paper/receipt_store.h"
#include "sim/stream_decoder.h"

namespace sim {

// Where a job's receipts go; no drawing: the job is only decoded.
struct JobPaper {
    paper::Drawing* drawing = nullptr;
    paper::ReceiptStore* store = nullptr;  // receipts are drawn but not saved without one
    int width = 576;                       // dots
};

class PrintJob {
  public:
    // Each decoded event, in stream order: the owner logs it and acts on it (settings, status).
    using EventSink = std::function<void(Event&&)>;
    // The job's own log lines: the paper's notes ("paper: ...") and its saved receipts.
    using LineSink =
        std::function<void(const std::string& text, std::optional<paper::SavedReceipt> receipt)>;

    PrintJob(paper::ReceiptSource source, JobPaper paper, EventSink events, LineSink lines);
    ~PrintJob();
    PrintJob(const PrintJob&) = delete;
    PrintJob& operator=(const PrintJob&) = delete;

    void Feed(std::span<const uint8_t> bytes);
    // The stream went quiet: held text and commands are given out.
    void Flush();
    // The stream ended: a command cut short is told, and what was printed since the last cut
    // comes out as a receipt. The job is then as new (its offsets go on).
    void Finish();
    // The serial side's job ended, its port staying open: what is held is given out and printed
    // out as a receipt; a command in progress waits for its bytes.
    void EndPart();

    // The job's name from now on, for its receipts still to come (an LPR job may name itself
    // after its data came).
    void SetJobName(std::string name) { source_.job = std::move(name); }

    bool HasPaper() const { return paper_ != nullptr; }
    uint64_t BytesFed() const { return decoder_->BytesFed(); }
    // What is printed since the last receipt (empty when nothing is, or without paper).
    paper::Bitmap PaperSoFar() const;
    const paper::ReceiptSource& Source() const { return source_; }

    // Saved receipts that failed (picture or data file), for render mode's status.
    uint64_t Failures() const { return failures_; }

    // Bytes of the stream kept for the events' first bytes, and the most given to the decoder at
    // once (so an event's bytes are still kept when it is told).
    static constexpr std::size_t kRecent = 8192;
    static constexpr std::size_t kPiece = 4096;

  private:
    void OnReceipt(paper::Receipt&& receipt);
    void Keep(const Event& event);
    // Saves the receipt the paper made, with the events of its stretch.
    void SavePending();

    paper::ReceiptSource source_;
    JobPaper setup_;
    LineSink lines_;
    uint64_t failures_ = 0;
    // With paper: the events since the last receipt, the receipt waiting for its last command's
    // event, where its stretch ends (events before it are its own or an earlier one's), and the
    // newest bytes fed (a ring of kRecent: the byte at offset o is recent_[o % kRecent]).
    std::deque<paper::StreamEvent> events_;
    uint64_t eventsLeftOut_ = 0;
    std::optional<paper::Receipt> pending_;
    uint64_t pendingEnd_ = 0;
    uint64_t savedUpTo_ = 0;
    std::vector<uint8_t> recent_;
    // The paper comes before the decoder that feeds it, so it outlives the decoder.
    std::unique_ptr<paper::Paper> paper_;
    std::unique_ptr<StreamDecoder> decoder_;
};

// The log's line about the paper at start: "paper 80 mm (576 dots): receipts go to DIR/index.html,
// the next as receipt-0001.png".
std::string PaperLine(int width, const paper::ReceiptStore& store);

}  // namespace sim
