// The paper's roll and page mode: rows reserved, the picture ended at a cut or the length limit,
// and the page area put together and printed.
#include "sim/paper/paper_printer.h"

namespace sim::paper {
namespace {

// The part of `b` inside a picture `width` × `height` (0 wide or high when none is).
Box Clip(const Box& b, int width, int height) {
    const int left = std::clamp(b.x, 0, width), top = std::clamp(b.y, 0, height);
    const int right = std::clamp(b.x + b.width, left, width);
    const int bottom = std::clamp(b.y + b.height, top, height);
    return {left, top, right - left, bottom - top};
}

// Moves `from`'s items and lines to the end of `to`, each box through `place`.
template <typename Place>
void MoveRecord(ReceiptRecord& from, ReceiptRecord& to, Place place) {
    for (Item& item : from.items) {
        if (item.box) item.box = place(*item.box);
        to.Add(std::move(item));
    }
    for (std::string& line : from.lines) to.AddLine(std::move(line));
    to.itemsLeftOut += from.itemsLeftOut;
    to.linesLeftOut += from.linesLeftOut;
    from = ReceiptRecord{};
}

}  // namespace

// --- the roll and the page area ---

int Paper::Printer::RollReserve(int height) {
    // A block that would pass the length limit starts the next picture (when it is not the first
    // thing on this one; a longer one is cut off at the limit).
    if (y_ > 0 && y_ + height > Paper::kLengthLimit) {
        if (printed_) {
            Note("receipt ended after 4 m of paper without a cut; the next picture goes on");
            EndPicture(ReceiptEnd::LengthLimit, y_);
        } else {
            roll_ = Bitmap(width_, 0);
        }
        y_ = 0;
        printed_ = false;
    }
    const int bottom = std::min(y_ + height, Paper::kLengthLimit);
    if (roll_.Height() < bottom) roll_.Resize(bottom);
    return y_;
}

void Paper::Printer::RollAdvance(int dots) {
    y_ += std::max(dots, 0);
    while (y_ > Paper::kLengthLimit) {
        if (printed_) {
            Note("receipt ended after 4 m of paper without a cut; the next picture goes on");
            EndPicture(ReceiptEnd::LengthLimit, Paper::kLengthLimit);
        } else {
            roll_ = Bitmap(width_, 0);
        }
        printed_ = false;
        y_ -= Paper::kLengthLimit;
    }
}

int Paper::Printer::Reserve(int height) {
    if (!pageMode_) return RollReserve(height);
    const int bottom = std::min(pageY_ + height, windowRows_);
    if (window_.Height() < bottom) window_.Resize(bottom);
    return pageY_;
}

void Paper::Printer::Advance(int dots) {
    if (!pageMode_) return RollAdvance(dots);
    pageY_ = std::min(pageY_ + std::max(dots, 0), windowRows_);
}

void Paper::Printer::PlaceBlock(const Bitmap& picture, int x, Item&& item,
                                std::vector<std::string> lines) {
    const int top = Reserve(picture.Height());
    Canvas().Draw(picture, x, top);
    if (pageMode_) {
        windowUsed_ = true;
    } else {
        printed_ = true;
    }
    // Recorded before the paper moves on, which may end the picture.
    item.box = Box{x, top, picture.Width(), picture.Height()};
    Record().Add(std::move(item));
    for (std::string& line : lines) Record().AddLine(std::move(line));
    Advance(picture.Height());
}

void Paper::Printer::RecordRaster() {
    Raster& r = raster_;
    if (r.firstTop < 0) return;
    Item image = Made(ItemType::Image, "raster");
    // Its command (8 bytes) and the data of the rows drawn so far.
    const uint64_t data = static_cast<uint64_t>(r.row) * static_cast<uint64_t>(r.rowBytes) +
                          static_cast<uint64_t>(r.column);
    image.bytes = {r.bytes.from, r.bytes.from + 8 + data};
    const long width = std::min<long>(long{r.rowBytes} * 8 * r.scaleX, r.right - r.left);
    image.box =
        Box{r.left, r.firstTop, static_cast<int>(std::max(width, 0L)), r.bottom - r.firstTop};
    Record().Add(std::move(image));
    r.firstTop = -1;
}

// An image at the line's start: aligned in the print area, cut off at its right edge.
void Paper::Printer::PrintPicture(const Bitmap& picture, int scaleX, int scaleY, Item&& item) {
    if (picture.Empty()) return;
    FlushLine();
    const int visible = std::min(picture.Width() * scaleX, AreaWidth());
    const Bitmap shown = Enlarge(Crop(picture, (visible + scaleX - 1) / scaleX), scaleX, scaleY);
    PlaceBlock(Crop(shown, visible), AlignedX(picture.Width() * scaleX), std::move(item));
}

void Paper::Printer::EndPicture(ReceiptEnd end, int height) {
    RecordRaster();  // a raster image going on goes on in the next record
    Bitmap picture = std::move(roll_);
    roll_ = Bitmap(width_, 0);
    const bool cut = end == ReceiptEnd::FullCut || end == ReceiptEnd::PartialCut;
    picture.Resize(height + (cut ? Paper::kCutLineRows : 0));
    if (cut) {
        // A full cut: long dashes across. A partial cut: short dashes with the middle left whole.
        const int row = height + Paper::kCutLineRows / 2 - 1;
        const bool partial = end == ReceiptEnd::PartialCut;
        const int period = partial ? 8 : 24, dash = partial ? 4 : 16;
        for (int x = 0; x < width_; x += period) {
            if (partial && std::abs(x + dash / 2 - width_ / 2) < 32) continue;
            picture.Fill(x, row, dash, 2);
        }
    }
    ReceiptRecord record = std::move(record_);
    record_ = ReceiptRecord{};
    for (Item& item : record.items) {
        if (item.box) item.box = Clip(*item.box, picture.Width(), picture.Height());
    }
    if (receipts_) receipts_(Receipt{std::move(picture), end, std::move(record)});
}

void Paper::Printer::Cut(bool partial, int feed) {
    if (pageMode_) return;  // ignored in page mode
    FlushLine();
    RollAdvance(feed);
    // A receipt when something was printed since the last cut. A strip of blank paper (the line
    // feeds tools send before their cut, after a job that ended without one) makes no picture.
    if (printed_) {
        EndPicture(partial ? ReceiptEnd::PartialCut : ReceiptEnd::FullCut,
                   std::max(y_, roll_.Height()));
    } else {
        roll_ = Bitmap(width_, 0);
    }
    y_ = 0;
    printed_ = false;
}

void Paper::Printer::EnterPage() {
    if (pageMode_) return;
    FlushLine();
    pageMode_ = true;
    page_ = Bitmap(width_, 0);
    pageBottom_ = 0;
    NewWindow();
}

// The window: the page area in its print direction (turned 90° for directions 1 and 3).
void Paper::Printer::NewWindow() {
    const bool across = area_.direction % 2 == 0;
    window_ = Bitmap(across ? area_.width : area_.height, 0);
    windowRows_ = across ? area_.height : area_.width;
    pageY_ = 0;
    x_ = 0;
    windowUsed_ = false;
}

// Puts the window onto the page at its area, turned to the print direction.
void Paper::Printer::CommitWindow() {
    if (!pageMode_) return;
    FlushLine();
    if (!windowUsed_) {  // notes only
        MoveRecord(windowRecord_, pageRecord_, [](const Box& b) { return b; });
        return;
    }
    // The rows used, as far as the print position went; the rest of the window is blank.
    Bitmap content = std::move(window_);
    const int rows = std::min(std::max(pageY_, content.Height()), windowRows_);
    content.Resize(rows);
    const int across = content.Width();
    int x = area_.x, y = area_.y;
    if (area_.direction == 1) {  // bottom to top: the window's top row at the area's left
        content = TurnUpsideDown(TurnClockwise(content));
    } else if (area_.direction == 2) {  // the window's top row at the area's bottom
        content = TurnUpsideDown(content);
        y += windowRows_ - rows;
    } else if (area_.direction == 3) {  // top to bottom: the window's top row at the area's right
        content = TurnClockwise(content);
        x += windowRows_ - rows;
    }
    const int bottom = std::min(y + content.Height(), Paper::kLengthLimit);
    if (page_.Height() < bottom) page_.Resize(bottom);
    page_.Draw(content, x, y);
    pageBottom_ = std::max(pageBottom_, bottom);
    // The record's boxes turned as the window was, onto the page.
    const int direction = area_.direction;
    MoveRecord(windowRecord_, pageRecord_, [&](const Box& box) {
        const Box b = Clip(box, across, rows);
        Box turned = b;
        if (direction == 1) {
            turned = {b.y, across - b.x - b.width, b.height, b.width};
        } else if (direction == 2) {
            turned = {across - b.x - b.width, rows - b.y - b.height, b.width, b.height};
        } else if (direction == 3) {
            turned = {rows - b.y - b.height, b.x, b.height, b.width};
        }
        return Box{turned.x + x, turned.y + y, turned.width, turned.height};
    });
    NewWindow();
}

void Paper::Printer::PrintPage() {
    CommitWindow();
    if (pageBottom_ > 0) {
        page_.Resize(pageBottom_);
        const bool page = pageMode_;
        pageMode_ = false;
        const int top = RollReserve(page_.Height());
        roll_.Draw(page_, 0, top);
        printed_ = true;
        const int width = page_.Width(), height = page_.Height();
        MoveRecord(pageRecord_, record_, [&](const Box& box) {
            const Box b = Clip(box, width, height);
            return Box{b.x, b.y + top, b.width, b.height};
        });
        RollAdvance(page_.Height());
        pageMode_ = page;
    }
    MoveRecord(pageRecord_, record_, [](const Box& b) { return b; });  // notes only
    page_ = Bitmap(width_, 0);
    pageBottom_ = 0;
}

}  // namespace sim::paper
