#include "sim/print_job.h"

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
    decoder_ = std::make_unique<StreamDecoder>(std::move(events));
    decoder_->SetPaper(paper_.get());
}

PrintJob::~PrintJob() = default;

void PrintJob::Feed(std::span<const uint8_t> bytes) {
    decoder_->Feed(bytes);
}

void PrintJob::Flush() {
    decoder_->Flush();
}

void PrintJob::Finish() {
    decoder_->Finish();
    if (paper_) paper_->End();
}

void PrintJob::EndPart() {
    decoder_->Flush();
    if (paper_) paper_->End();
}

void PrintJob::OnReceipt(paper::Receipt&& receipt) {
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
