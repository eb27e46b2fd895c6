#include "sim/print_job.h"

#include <algorithm>

namespace sim {

PrintJob::PrintJob(paper::ReceiptSource source, JobPaper paper, EventSink events, LineSink lines)
    : source_(std::move(source)), setup_(paper), lines_(std::move(lines)) {
    if (setup_.drawing != nullptr) {
        paper_ = std::make_unique<paper::Paper>(
            *setup_.drawing, paper::PaperOptions{setup_.width},
            [this](paper::Receipt&& receipt) { OnReceipt(std::move(receipt)); },
            [this](const std::string& note) {
                if (lines_) lines_("paper: " + note, std::nullopt);
            });
    }
    if (!paper_) {
        decoder_ = std::make_unique<StreamDecoder>(std::move(events));
        return;
    }
    recent_.resize(kRecent);
    decoder_ = std::make_unique<StreamDecoder>([this, sink = std::move(events)](Event&& e) {
        Keep(e);
        if (sink) sink(std::move(e));
        SavePending();  // the receipt's last command is told: its picture follows
    });
    decoder_->SetPaper(paper_.get());
}

PrintJob::~PrintJob() = default;

void PrintJob::Feed(std::span<const uint8_t> bytes) {
    if (!paper_) return decoder_->Feed(bytes);
    while (!bytes.empty()) {
        const std::span<const uint8_t> piece = bytes.first(std::min(bytes.size(), kPiece));
        uint64_t at = decoder_->BytesFed();
        for (const uint8_t b : piece) recent_[at++ % kRecent] = b;
        decoder_->Feed(piece);
        bytes = bytes.subspan(piece.size());
    }
    // A receipt whose cut waits for an optional byte: the cut as it stands goes with it.
    if (pending_ && decoder_->Waiting() != nullptr) Keep(*decoder_->Waiting());
    SavePending();
}

void PrintJob::Flush() {
    decoder_->Flush();
    SavePending();
}

void PrintJob::Finish() {
    decoder_->Finish();
    if (paper_) paper_->End();
    SavePending();
    events_.clear();  // what followed the last receipt printed nothing
    eventsLeftOut_ = 0;
}

void PrintJob::EndPart() {
    decoder_->Flush();
    if (paper_) paper_->End();
    SavePending();
}

paper::Bitmap PrintJob::PaperSoFar() const {
    return paper_ ? paper_->SoFar() : paper::Bitmap();
}

void PrintJob::Keep(const Event& e) {
    if (e.offset < savedUpTo_) return;  // a saved receipt's
    paper::StreamEvent kept;
    kept.bytes = {e.offset, e.offset + e.length};
    kept.kind = KindName(e.kind);
    kept.text = paper::CutText(Describe(e), paper::ReceiptRecord::kMaxText);
    const std::size_t head =
        static_cast<std::size_t>(std::min<uint64_t>(e.length, paper::ReceiptRecord::kEventBytes));
    const uint64_t fed = decoder_->BytesFed();
    if (!e.frame.empty()) {  // a command's own bytes, from its first
        kept.head.assign(e.frame.begin(), e.frame.begin() + std::min(head, e.frame.size()));
    } else if (e.offset + kRecent >= fed && e.offset + head <= fed) {
        for (uint64_t at = e.offset; at < e.offset + head; ++at)
            kept.head.push_back(recent_[at % kRecent]);
    }
    if (events_.size() >= paper::ReceiptRecord::kMaxItems) {
        events_.pop_front();
        ++eventsLeftOut_;
    }
    events_.push_back(std::move(kept));
}

void PrintJob::OnReceipt(paper::Receipt&& receipt) {
    SavePending();  // a second picture before any event: the first has all it gets
    pending_ = std::move(receipt);
    pendingEnd_ = decoder_->BytesFed();
}

void PrintJob::SavePending() {
    if (!pending_) return;
    paper::Receipt receipt = std::move(*pending_);
    pending_.reset();
    receipt.record.events.assign(std::make_move_iterator(events_.begin()),
                                 std::make_move_iterator(events_.end()));
    receipt.record.eventsLeftOut = eventsLeftOut_;
    events_.clear();
    eventsLeftOut_ = 0;
    savedUpTo_ = std::max(savedUpTo_, pendingEnd_);
    if (setup_.store == nullptr || setup_.drawing == nullptr) return;
    paper::SavedReceipt saved = setup_.store->Save(*setup_.drawing, receipt, source_);
    if (!saved.error.empty() || !saved.dataError.empty()) ++failures_;
    const std::string text = "paper: " + paper::Describe(saved);
    if (lines_) lines_(text, std::move(saved));
}

std::string PaperLine(int width, const paper::ReceiptStore& store) {
    return "paper " + std::to_string(width == 384 ? 58 : 80) + " mm (" + std::to_string(width) +
           " dots): receipts go to " + (store.Folder() / "index.html").string() + ", the next as " +
           paper::ReceiptStore::FileName(store.NextNumber());
}

}  // namespace sim
