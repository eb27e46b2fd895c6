#pragma once
// The paper of a virtual printer: the printer state that decides where text, images and symbols
// go, dot for dot as an ESC/POS printer at 203 dpi, on a roll `width` dots wide. The stream
// decoder feeds it (it is the decoder's PrintObserver); each finished receipt comes out as a
// picture with the record of what is on it (receipt_record.h) through one callback, and what the
// log should know (a symbol that cannot be drawn, a picture ended at the length limit) as note
// lines through another.
//
// Standard mode as a printer has it; page mode drawn in its page area. Nothing is allocated from a
// length field: images and symbols are drawn within the paper's width as their data arrives, a
// picture is never longer than kLengthLimit (and its cut line), stored graphics and symbol data
// have fixed caps.
//
//   auto paper = std::make_unique<paper::Paper>(drawing, options, onReceipt, onNote);
//   decoder->SetPaper(paper.get());
//   ...
//   decoder->Finish();
//   paper->End();

#include <functional>
#include <memory>
#include <string>

#include "sim/paper/bitmap.h"
#include "sim/paper/drawing.h"
#include "sim/paper/receipt_record.h"
#include "sim/stream_decoder.h"

namespace sim::paper {

struct Receipt {
    Bitmap picture;  // exactly the paper's width; as long as the paper used, and a cut's line
    ReceiptEnd end = ReceiptEnd::StreamEnd;
    ReceiptRecord record;  // what is on it, boxes within the picture
};

struct PaperOptions {
    int width = 576;  // dots across: 576 on 80 mm paper, 384 on 58 mm (at least 8, at most 4096)
};

class Paper final : public PrintObserver {
  public:
    using ReceiptSink = std::function<void(Receipt&&)>;
    using NoteSink = std::function<void(const std::string&)>;

    static constexpr int kLengthLimit = 31968;  // 4 m at 203 dpi
    static constexpr int kCutLineRows = 8;      // a cut's dashed line, below the paper used

    // `drawing` must outlive the paper. Either sink may be empty.
    Paper(Drawing& drawing, PaperOptions options, ReceiptSink receipts, NoteSink notes);
    ~Paper() override;
    Paper(const Paper&) = delete;
    Paper& operator=(const Paper&) = delete;

    // The stream ended (call after the decoder's Finish()): an image cut short is kept as far as
    // it came, text waiting for its line feed is printed, and what was printed since the last cut
    // comes out as a receipt. The paper is then as after power-on.
    void End();

    // What is printed since the last cut, as a picture (the paper used so far; empty when
    // nothing is): a receipt still being printed, for a console that shows it growing.
    Bitmap SoFar() const;

    void Text(std::span<const uint8_t> bytes, const TextCoding& coding, uint64_t at) override;
    void LineFeeds(uint64_t count, uint64_t at) override;
    void Command(std::span<const uint8_t> header, uint64_t data, uint64_t at) override;
    void Data(std::span<const uint8_t> chunk, uint64_t at) override;

  private:
    class Printer;
    std::unique_ptr<Printer> printer_;
};

}  // namespace sim::paper
