#pragma once
// One print job's way from bytes to paper: the stream's decoder, the paper it feeds (when the
// simulator has one), and each finished receipt saved with its data file and told in the log. The
// server runs one for each TCP connection and for its serial side, render mode one for each file,
// so a job prints the same wherever its bytes come from.
//
//   PrintJob job(source, {drawing, &store, 576}, onEvent, onLine);
//   job.Feed(bytes);  ...  job.Finish();

#include <cstdint>
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
    const paper::ReceiptSource& Source() const { return source_; }

    // Saved receipts that failed (picture or data file), for render mode's status.
    uint64_t Failures() const { return failures_; }

  private:
    void OnReceipt(paper::Receipt&& receipt);

    paper::ReceiptSource source_;
    JobPaper setup_;
    LineSink lines_;
    uint64_t failures_ = 0;
    // The paper comes before the decoder that feeds it, so it outlives the decoder.
    std::unique_ptr<paper::Paper> paper_;
    std::unique_ptr<StreamDecoder> decoder_;
};

// The log's line about the paper at start: "paper 80 mm (576 dots): receipts go to DIR/index.html,
// the next as receipt-0001.png".
std::string PaperLine(int width, const paper::ReceiptStore& store);

}  // namespace sim
