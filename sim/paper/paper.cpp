// The paper: its state after power-on and ESC @, the end of a stream, and the observer calls.
#include "sim/paper/paper_printer.h"

namespace sim::paper {

// --- state ---

void Paper::Printer::Initialise() {
    style_ = TextStyle{};
    layout_ = Layout{};
    layout_.areaWidth = width_;
    for (std::size_t i = 1; i <= kMaxTabs; ++i) {
        layout_.tabs.push_back(static_cast<int>(i) * kTabColumns * CellOf(Face::A).width);
    }
    barcode_ = BarcodeStyle{};
    symbols_.Reset();
    graphics_ = Stored{};
    download_ = Stored{};
    filling_ = nullptr;
    line_.clear();
    lineImages_.clear();
    x_ = 0;
    lineStarted_ = false;
    pageMode_ = false;
    area_ = PageArea{};
    area_.width = width_;
    window_ = Bitmap();
    page_ = Bitmap();
    pageY_ = 0;
    windowUsed_ = false;
    pageBottom_ = 0;
    windowRecord_ = ReceiptRecord{};
    pageRecord_ = ReceiptRecord{};
    symbolStored_ = {};
    compositeParts_ = {};
}

Item Paper::Printer::Made(ItemType type, std::string name) const {
    Item item;
    item.type = type;
    item.name = std::move(name);
    item.bytes = running_;
    return item;
}

void Paper::Printer::Noted(const std::string& what, const std::string& why,
                           const std::string& text) {
    Note(text);
    Item item = Made(ItemType::Note, what);
    item.text = why;
    Record().Add(std::move(item));
}

int Paper::Printer::AreaLeft() const {
    return pageMode_ ? 0 : std::min(layout_.leftMargin, width_ - 1);
}

int Paper::Printer::AreaWidth() const {
    if (pageMode_) return window_.Width();
    return std::max(1, std::min(layout_.areaWidth, width_ - AreaLeft()));
}

int Paper::Printer::AlignedX(int width) const {
    const int room = std::max(0, AreaWidth() - width);
    return AreaLeft() + (layout_.align == 1 ? room / 2 : layout_.align == 2 ? room : 0);
}

void Paper::Printer::End() {
    if (block_.kind != BlockKind::None) FinishBlock();
    characters_.clear();
    reader_.Break(characters_);
    for (const Character& c : characters_) Put(c);
    if (pageMode_) {
        PrintPage();
        pageMode_ = false;
    }
    FlushLine();
    if (printed_) EndPicture(ReceiptEnd::StreamEnd, std::max(y_, roll_.Height()));
    roll_ = Bitmap(width_, 0);
    record_ = ReceiptRecord{};
    y_ = 0;
    printed_ = false;
    lastRequest_.reset();
    lastSymbol_ = Symbol{};
    Initialise();
}

Bitmap Paper::Printer::SoFar() const {
    if (!printed_) return Bitmap();
    Bitmap picture = roll_;
    picture.Resize(std::max(y_, roll_.Height()));
    return picture;
}

// --- Paper ---

Paper::Paper(Drawing& drawing, PaperOptions options, ReceiptSink receipts, NoteSink notes)
    : printer_(std::make_unique<Printer>(drawing, options, std::move(receipts), std::move(notes))) {
}

Paper::~Paper() = default;

void Paper::End() {
    printer_->End();
}
Bitmap Paper::SoFar() const {
    return printer_->SoFar();
}
void Paper::Text(std::span<const uint8_t> bytes, const TextCoding& coding, uint64_t at) {
    printer_->Text(bytes, coding, at);
}
void Paper::LineFeeds(uint64_t count, uint64_t) {
    printer_->LineFeeds(count);  // feeds draw nothing to record
}
void Paper::Command(std::span<const uint8_t> header, uint64_t data, uint64_t at) {
    printer_->Command(header, data, at);
}
void Paper::Data(std::span<const uint8_t> chunk, uint64_t at) {
    printer_->Data(chunk, at);
}

}  // namespace sim::paper
