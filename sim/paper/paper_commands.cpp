// The paper's commands: the ESC, GS and FS commands it obeys, and the data blocks that follow
// image, barcode and symbol commands.
#include "sim/paper/paper_printer.h"

namespace sim::paper {

// --- commands ---

void Paper::Printer::Command(std::span<const uint8_t> c, uint64_t data, uint64_t at) {
    if (block_.kind != BlockKind::None) FinishBlock();  // the stream skipped the rest
    // Only whole commands as the command table measures them (the decoder sends no others).
    if (!(c.size() == 1 && c[0] == kFormFeed)) {
        const escpos::Extent extent = escpos::Measure(c);
        if (extent.kind != escpos::Extent::Kind::Known || extent.header > c.size() ||
            (data > 0 && (extent.header != c.size() || extent.data != data)))
            return;
    }
    characters_.clear();
    reader_.Break(characters_);  // a character cut off by the command: a substitute
    for (const Character& ch : characters_) Put(ch);
    if (data > 0) return StartBlock(c, data, at);
    running_ = {at, at + c.size()};
    Run(c);
}

void Paper::Printer::Run(std::span<const uint8_t> c) {
    if (c.size() == 1 && c[0] == kFormFeed) {
        if (pageMode_) {
            PrintPage();
            pageMode_ = false;
            window_ = Bitmap();
        }
        return;
    }
    if (c.size() < 2) return;
    if (c[0] == kEsc) return RunEsc(c);
    if (c[0] == kGs) return RunGs(c);
    if (c[0] == kFs) return RunFs(c);
}

void Paper::Printer::RunEsc(std::span<const uint8_t> c) {
    TextStyle& s = style_;
    const int n = c.size() > 2 ? c[2] : 0;
    switch (c[1]) {
        case '@':
            return Initialise();
        case '!':
            s.font = (n & 0x01) ? Face::B : Face::A;
            s.bold = (n & 0x08) != 0;
            s.height = (n & 0x10) ? 2 : 1;
            s.width = (n & 0x20) ? 2 : 1;
            s.underline = (n & 0x80) ? 1 : 0;
            return;
        case 'E':
            s.bold = (n & 1) != 0;
            return;
        case 'G':
            s.doubleStrike = (n & 1) != 0;
            return;
        case '-':
            if (Digit(static_cast<uint8_t>(n)) <= 2) s.underline = Digit(static_cast<uint8_t>(n));
            return;
        case 'M':
            if (Digit(static_cast<uint8_t>(n)) <= 1 || n == 97 || n == 98)
                s.font = (Digit(static_cast<uint8_t>(n)) == 1 || n == 98) ? Face::B : Face::A;
            return;
        case ' ':
            s.spacing = n;
            return;
        case 'V':
            s.turned = Digit(static_cast<uint8_t>(n)) == 1 || Digit(static_cast<uint8_t>(n)) == 2;
            return;
        case '{':
            s.upsideDown = (n & 1) != 0;
            return;
        case 'a':
            if (!lineStarted_ && Digit(static_cast<uint8_t>(n)) <= 2)
                layout_.align = Digit(static_cast<uint8_t>(n));
            return;
        case '2':
            layout_.lineSpacing = kLineSpacing;
            return;
        case '3':
            layout_.lineSpacing = n;
            return;
        case 'd':
            return PrintLine(n * layout_.lineSpacing);
        case 'J':
            return PrintLine(n);
        case '$': {
            const int at = Le16(c, 2);
            StartLine();
            if (at <= AreaWidth()) x_ = at;
            return;
        }
        case '\\': {
            const int to = x_ + static_cast<int16_t>(Le16(c, 2));
            StartLine();
            if (to >= 0 && to <= AreaWidth()) x_ = to;
            return;
        }
        case 'D': {
            // Positions in characters of the current font and size, with their spacing.
            const int unit = (CellOf(s.font).width + s.spacing) * s.width;
            layout_.tabs.clear();
            for (std::size_t i = 2; i < c.size() && c[i] != 0 && layout_.tabs.size() < kMaxTabs;
                 ++i) {
                const int stop = c[i] * unit;
                if (!layout_.tabs.empty() && stop <= layout_.tabs.back()) break;
                layout_.tabs.push_back(stop);
            }
            return;
        }
        case 'L':
            return EnterPage();
        case 'S':
            if (pageMode_) {  // back to standard mode: the page is dropped
                line_.clear();
                lineImages_.clear();
                x_ = 0;
                lineStarted_ = false;
                pageMode_ = false;
                window_ = Bitmap();
                page_ = Bitmap();
                windowRecord_ = ReceiptRecord{};
                pageRecord_ = ReceiptRecord{};
            }
            return;
        case kFormFeed:
            if (pageMode_) PrintPage();
            return;
        case 'T':
            if (Digit(static_cast<uint8_t>(n)) <= 3) {
                CommitWindow();
                area_.direction = Digit(static_cast<uint8_t>(n));
                if (pageMode_) NewWindow();
            }
            return;
        case 'W': {
            const int x = Le16(c, 2), y = Le16(c, 4), w = Le16(c, 6), h = Le16(c, 8);
            if (w == 0 || h == 0 || x >= width_) return;
            CommitWindow();
            area_.x = x;
            area_.y = std::min(y, Paper::kLengthLimit - 1);
            area_.width = std::min(w, width_ - x);
            area_.height = std::min({h, kMaxPageLength, Paper::kLengthLimit - area_.y});
            if (pageMode_) NewWindow();
            return;
        }
        case 'i':
        case 'm':
            return Cut(true, 0);
        default:
            return;
    }
}

void Paper::Printer::RunGs(std::span<const uint8_t> c) {
    const int n = c.size() > 2 ? c[2] : 0;
    switch (c[1]) {
        case '!': {
            const int w = n >> 4, h = n & 0x0F;
            if (w > 7 || h > 7) return;
            style_.width = style_.chineseWidth = w + 1;
            style_.height = style_.chineseHeight = h + 1;
            return;
        }
        case 'B':
            style_.reverse = (n & 1) != 0;
            return;
        case 'L':
            if (!lineStarted_) layout_.leftMargin = Le16(c, 2);
            return;
        case 'W':
            if (!lineStarted_ && Le16(c, 2) > 0) layout_.areaWidth = Le16(c, 2);
            return;
        case '$':
            if (pageMode_) {
                FlushLine();
                pageY_ = std::min(Le16(c, 2), windowRows_);
            }
            return;
        case '\\':
            if (pageMode_) {
                FlushLine();
                pageY_ = std::clamp(pageY_ + static_cast<int16_t>(Le16(c, 2)), 0, windowRows_);
            }
            return;
        case 'H':
            if (Digit(static_cast<uint8_t>(n)) <= 3) barcode_.hri = Digit(static_cast<uint8_t>(n));
            return;
        case 'f':
            if (Digit(static_cast<uint8_t>(n)) <= 1)
                barcode_.hriFont = Digit(static_cast<uint8_t>(n)) == 1 ? Face::B : Face::A;
            return;
        case 'h':
            if (n >= 1) barcode_.height = n;
            return;
        case 'w':
            if (n >= 1 && n <= 6) barcode_.module = n;
            return;
        case 'k': {  // the NUL-ended form: the data is in the command
            std::vector<uint8_t> digits(c.begin() + 3, c.end());
            if (!digits.empty() && digits.back() == 0) digits.pop_back();
            return PrintBarcode(static_cast<uint8_t>(n), std::move(digits));
        }
        case '/':
            if (download_.present) {
                Item image = Made(ItemType::Image, "downloaded bit image");
                image.stored = download_.stored;
                PrintPicture(download_.picture, (Digit(static_cast<uint8_t>(n)) & 1) + 1,
                             (Digit(static_cast<uint8_t>(n)) >> 1 & 1) + 1, std::move(image));
            }
            return;
        case 'V': {
            const int m = c[2];
            const bool partial = m == 1 || m == '1' || m == 66 || m == 98 || m == 104;
            const int feed =
                (m == 65 || m == 66 || m == 97 || m == 98 || m == 103 || m == 104) && c.size() > 3
                    ? c[3]
                    : 0;
            return Cut(partial, feed);
        }
        default:
            return;
    }
}

void Paper::Printer::RunFs(std::span<const uint8_t> c) {
    const int n = c.size() > 2 ? c[2] : 0;
    TextStyle& s = style_;
    switch (c[1]) {
        case '!':
            s.chineseWidth = (n & 0x04) ? 2 : 1;
            s.chineseHeight = (n & 0x08) ? 2 : 1;
            s.chineseUnderline = (n & 0x80) ? 1 : 0;
            return;
        case 'W':
            s.chineseWidth = s.chineseHeight = (n & 1) ? 2 : 1;
            return;
        case '-':
            if (Digit(static_cast<uint8_t>(n)) <= 2)
                s.chineseUnderline = Digit(static_cast<uint8_t>(n));
            return;
        case 'S':
            s.chineseLeft = n;
            s.chineseRight = c.size() > 3 ? c[3] : 0;
            return;
        case 'p': {
            const int m = c.size() > 3 ? Digit(c[3]) : 0;
            return Frame("NV image", "NV image " + std::to_string(n), (m & 1) + 1,
                         (m >> 1 & 1) + 1);
        }
        default:
            return;
    }
}

// --- data blocks ---

void Paper::Printer::StartBlock(std::span<const uint8_t> c, uint64_t data, uint64_t at) {
    block_ = Block{};
    block_.total = data;
    block_.bytes = {at, at + c.size()};
    if (c[0] == kGs && c[1] == 'v') {
        block_.kind = BlockKind::Raster;
    } else if (c[0] == kEsc && c[1] == '*') {
        block_.kind = BlockKind::BitImage;
    } else if (c[0] == kGs && c[1] == '*') {
        block_.kind = BlockKind::Download;
    } else if (c[0] == kGs && c[1] == 'k') {
        block_.kind = BlockKind::Barcode;
    } else if (c[0] == kGs && c[1] == '(' && c.size() > 2 && (c[2] == 'k' || c[2] == 'L')) {
        block_.kind = BlockKind::Paren;
        block_.family = c[2];
    } else if (c[0] == kGs && c[1] == '8') {
        block_.kind = BlockKind::Graphics;
        block_.family = 'L';
    } else {
        block_.kind = BlockKind::Paren;  // FS ( and ESC (: nothing printed
    }
    switch (block_.kind) {
        case BlockKind::Raster:
            BeginRaster(c);
            break;
        case BlockKind::BitImage:
            BeginBitImage(c);
            break;
        case BlockKind::Download:
            BeginDownload(c);
            break;
        case BlockKind::Barcode:
            barcodeSystem_ = c[2];
            barcodeData_.clear();
            break;
        default:
            break;
    }
}

// Parameter bytes to gather from the data's start before its body.
std::size_t Paper::Printer::PrefixNeed() const {
    if (block_.family == 'k') {
        if (block_.prefixSize < 2) return 2;
        const uint8_t cn = block_.prefix[0], fn = block_.prefix[1];
        if (fn != 80) return kPrefixMax;
        return cn == 51 ? 4 : cn == 52 ? 5 : 3;  // cn fn m, and the type bytes
    }
    if (block_.family == 'L') {
        if (block_.prefixSize < 2) return 2;
        const uint8_t fn = block_.prefix[1];
        if (fn == 112 || fn == 113) return 10;  // m fn a bx by c xL xH yL yH
        if (fn == 69 || fn == 85) return 6;     // m fn kc1 kc2 x y
        if (fn == 67 || fn == 83) return 2;     // stored in NV or download memory: not kept
        return kPrefixMax;
    }
    return 0;
}

void Paper::Printer::Data(std::span<const uint8_t> chunk, uint64_t at) {
    while (!chunk.empty() && block_.kind != BlockKind::None && block_.received < block_.total) {
        const uint64_t left = block_.total - block_.received;
        if (!block_.begun) {
            const std::size_t need = PrefixNeed();
            if (block_.prefixSize < need) {
                const std::size_t n = static_cast<std::size_t>(
                    std::min<uint64_t>({chunk.size(), left, need - block_.prefixSize}));
                std::copy_n(chunk.begin(), n,
                            block_.prefix.begin() + static_cast<std::ptrdiff_t>(block_.prefixSize));
                block_.prefixSize += n;
                block_.received += n;
                block_.bytes.to = at += n;
                chunk = chunk.subspan(n);
                continue;
            }
            block_.begun = true;
            BeginBody();
            continue;
        }
        const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(chunk.size(), left));
        block_.bytes.to = at += n;
        Body(chunk.first(n));
        block_.received += n;
        chunk = chunk.subspan(n);
    }
    if (block_.kind != BlockKind::None && block_.received == block_.total) FinishBlock();
}

void Paper::Printer::BeginBody() {
    const std::span<const uint8_t> p(block_.prefix.data(), block_.prefixSize);
    if (block_.family == 'k' && p.size() >= 3 && p[1] == 80) symbols_.BeginStore(p);
    if (block_.family == 'L' && p.size() == 10 && (p[1] == 112 || p[1] == 113)) BeginGraphics(p);
}

void Paper::Printer::Body(std::span<const uint8_t> bytes) {
    switch (block_.kind) {
        case BlockKind::Raster:
            return RasterBytes(bytes);
        case BlockKind::BitImage:
            return BitImageBytes(bytes);
        case BlockKind::Download:
            return DownloadBytes(bytes);
        case BlockKind::Barcode: {
            const std::size_t room = 255 - std::min<std::size_t>(barcodeData_.size(), 255);
            barcodeData_.insert(
                barcodeData_.end(), bytes.begin(),
                bytes.begin() + static_cast<std::ptrdiff_t>(std::min(room, bytes.size())));
            return;
        }
        case BlockKind::Paren:
        case BlockKind::Graphics:
            if (block_.family == 'k' && block_.prefixSize >= 2 && block_.prefix[1] == 80)
                symbols_.More(bytes);
            if (block_.family == 'L') GraphicsBytes(bytes);
            return;
        case BlockKind::None:
            return;
    }
}

void Paper::Printer::FinishBlock() {
    if (!block_.begun) {
        block_.begun = true;
        BeginBody();
    }
    const Block block = block_;
    block_ = Block{};
    running_ = block.bytes;
    const std::span<const uint8_t> p(block.prefix.data(), block.prefixSize);
    switch (block.kind) {
        case BlockKind::Raster:
            if (raster_.column > 0) Advance(raster_.scaleY);  // a last row cut short
            RecordRaster();
            raster_ = Raster{};
            break;
        case BlockKind::BitImage:
            for (Piece& piece : line_) {
                if (piece.image == bitImage_.image) piece.bytes = block.bytes;
            }
            break;
        case BlockKind::Download:
            download_.stored = block.bytes;
            break;
        case BlockKind::Barcode:
            PrintBarcode(barcodeSystem_, std::move(barcodeData_));
            barcodeData_.clear();
            break;
        case BlockKind::Paren:
        case BlockKind::Graphics:
            if (block.family == 'k') FinishSymbolCommand(p);
            if (block.family == 'L') FinishGraphics(p);
            break;
        default:
            break;
    }
    filling_ = nullptr;
}

}  // namespace sim::paper
