// The virtual printer's decoder: every byte in exactly one event, events end to end; the same
// events however the stream is cut into pieces; unknown bytes carried and shown as hex; a command's
// kept bytes bounded whatever its length fields announce. The datagram reader and the address-set
// packet on the same input. The paper attached to the decoder (through the platform's drawing where
// the build has one, else a fake): its pictures exactly the paper's width, never longer than the
// length limit and a cut line, the events the same with it; its records bounded, their boxes on
// the picture and byte ranges in the stream, their data files valid JSON; pictures and records
// the same however the stream is cut. The real-time commands found in the raw bytes: the same
// however the stream is cut, each a whole command of the table.
#include <algorithm>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "fuzz/check.h"
#include "sim/paper/paper.h"
#include "sim/realtime_scanner.h"
#include "sim/stream_decoder.h"
#include "sim/virtual_printer.h"
#include "tests/sim/fake_drawing.h"

namespace {

struct Seen {
    std::vector<std::string> lines;
    std::vector<sim::Event> events;
};

void CheckCoverage(const Seen& seen, std::size_t size) {
    uint64_t next = 0;
    for (const sim::Event& e : seen.events) {
        FUZZ_CHECK(e.offset == next);
        next = e.offset + e.length;
        if (e.kind == sim::EventKind::Unknown) {
            FUZZ_CHECK(e.frame.size() == e.length);
            FUZZ_CHECK(e.detail == sim::HexBytes(e.frame));
        }
        if (e.kind == sim::EventKind::Text) FUZZ_CHECK(e.length <= sim::StreamDecoder::kTextLimit);
        if (e.kind == sim::EventKind::Setting) FUZZ_CHECK(e.frame.size() == e.length);
        if (e.kind == sim::EventKind::EscPos || e.kind == sim::EventKind::Incomplete) {
            FUZZ_CHECK(!e.title.empty());
            FUZZ_CHECK(e.frame.size() <= e.length);
            FUZZ_CHECK(e.frame.size() <= sim::escpos::kMaxKept + 1);  // + its trailing byte
        }
    }
    FUZZ_CHECK(next == size);
}

// What the paper gave out: its pictures and records.
struct Paged {
    std::vector<sim::paper::Bitmap> pictures;
    std::vector<sim::paper::ReceiptRecord> records;
};

// A receipt's record: bounded, every box on its picture, every byte range inside the stream, and
// its data file valid JSON.
void CheckRecord(const sim::paper::Receipt& r, std::size_t size) {
    using sim::paper::ReceiptRecord;
    const ReceiptRecord& record = r.record;
    FUZZ_CHECK(record.items.size() <= ReceiptRecord::kMaxItems);
    FUZZ_CHECK(record.lines.size() <= ReceiptRecord::kMaxItems);
    for (const sim::paper::Item& item : record.items) {
        FUZZ_CHECK(item.bytes.from <= item.bytes.to && item.bytes.to <= size);
        if (item.stored)
            FUZZ_CHECK(item.stored->from <= item.stored->to && item.stored->to <= size);
        FUZZ_CHECK(item.text.size() <= ReceiptRecord::kMaxText);
        if (!item.box) continue;
        const sim::paper::Box& b = *item.box;
        FUZZ_CHECK(b.x >= 0 && b.y >= 0 && b.width >= 0 && b.height >= 0);
        FUZZ_CHECK(b.x + b.width <= r.picture.Width() && b.y + b.height <= r.picture.Height());
    }
    for (const std::string& line : record.lines) {
        FUZZ_CHECK(!line.empty() && line.size() <= ReceiptRecord::kMaxText);
        FUZZ_CHECK(line.back() != ' ');
    }
    sim::paper::DataFileHeader header;
    header.source = {1, "tcp", 1, {}};
    header.width = r.picture.Width();
    header.height = r.picture.Height();
    header.end = r.end;
    const auto json =
        nlohmann::json::parse(sim::paper::DataFileText(header, record), nullptr, false);
    FUZZ_CHECK(!json.is_discarded());
    FUZZ_CHECK(json["items"].size() == record.items.size());
}

// The stream through a decoder with a paper `width` dots wide, in pieces of `piece` bytes; the
// platform's drawing where the build has one and `platform` asks for it, else a fake.
Paged CheckPaper(const std::vector<uint8_t>& stream, int width, std::size_t piece,
                 const std::vector<std::string>& lines, bool platform) {
    static const std::unique_ptr<sim::paper::Drawing> drawing = sim::paper::MakeDrawing();
    simtest::FakeDrawing fake;
    Paged paged;
    sim::paper::Paper paper(
        platform && drawing ? *drawing : fake, {width},
        [&](sim::paper::Receipt&& r) {
            FUZZ_CHECK(r.picture.Width() == width);
            FUZZ_CHECK(r.picture.Height() > 0);
            FUZZ_CHECK(r.picture.Height() <=
                       sim::paper::Paper::kLengthLimit + sim::paper::Paper::kCutLineRows);
            CheckRecord(r, stream.size());
            paged.pictures.push_back(std::move(r.picture));
            paged.records.push_back(std::move(r.record));
        },
        [](const std::string& note) { FUZZ_CHECK(!note.empty()); });
    std::vector<std::string> seen;
    sim::StreamDecoder decoder([&](sim::Event&& e) { seen.push_back(sim::Describe(e)); });
    decoder.SetPaper(&paper);
    for (std::size_t at = 0; at < stream.size(); at += piece)
        decoder.Feed(std::span(stream).subspan(at, std::min(piece, stream.size() - at)));
    decoder.Finish();
    paper.End();
    FUZZ_CHECK(seen == lines);
    // After the end, nothing printed is left: a second end gives nothing.
    const std::size_t before = paged.pictures.size();
    paper.End();
    FUZZ_CHECK(paged.pictures.size() == before);
    return paged;
}

// Each command found and the stream offset just past it, the stream scanned in pieces.
std::vector<std::pair<std::vector<uint8_t>, std::size_t>> Realtime(
    const std::vector<uint8_t>& stream, const std::vector<uint8_t>& cuts) {
    std::vector<std::pair<std::vector<uint8_t>, std::size_t>> found;
    sim::RealtimeScanner scanner;
    std::size_t at = 0;
    for (std::size_t i = 0; at < stream.size(); ++i) {
        const std::size_t n = std::min<std::size_t>(
            stream.size() - at, cuts.empty() ? stream.size() : cuts[i % cuts.size()] % 64 + 1);
        scanner.Scan(std::span(stream).subspan(at, n), [&](auto command, std::size_t end) {
            const sim::escpos::Extent e = sim::escpos::Measure(command);
            FUZZ_CHECK(command[0] == 0x10);
            FUZZ_CHECK(e.kind == sim::escpos::Extent::Kind::Known && e.header == command.size());
            FUZZ_CHECK(end <= n && at + end >= command.size());
            found.emplace_back(std::vector<uint8_t>(command.begin(), command.end()), at + end);
        });
        at += n;
    }
    return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    // A count (mod 17), that many piece sizes, then the stream.
    if (size == 0) return 0;
    const std::size_t count = std::min<std::size_t>(data[0] % 17, size - 1);
    const std::vector<uint8_t> cuts(data + 1, data + 1 + count);
    const std::vector<uint8_t> stream(data + 1 + count, data + size);

    Seen whole;
    sim::StreamDecoder one([&](sim::Event&& e) {
        whole.lines.push_back(sim::Describe(e));
        whole.events.push_back(std::move(e));
    });
    one.Feed(stream);
    one.Finish();
    CheckCoverage(whole, stream.size());
    const int width = (data[0] & 0x80) != 0 ? 384 : 576;
    const std::size_t piece = count > 0 ? cuts[0] % 64 + 1 : stream.size() + 1;
    CheckPaper(stream, width, piece, whole.lines, true);
    // The same pictures and records however the stream is cut (through the fake: quicker).
    if (count > 0) {
        const Paged once = CheckPaper(stream, width, stream.size() + 1, whole.lines, false);
        const Paged cut = CheckPaper(stream, width, piece, whole.lines, false);
        FUZZ_CHECK(cut.pictures == once.pictures);
        FUZZ_CHECK(cut.records.size() == once.records.size());
        for (std::size_t i = 0; i < cut.records.size(); ++i) {
            FUZZ_CHECK(cut.records[i].items == once.records[i].items);
            FUZZ_CHECK(cut.records[i].lines == once.records[i].lines);
        }
    }

    Seen pieces;
    Seen flushed;
    sim::StreamDecoder cut([&](sim::Event&& e) {
        pieces.lines.push_back(sim::Describe(e));
        pieces.events.push_back(std::move(e));
    });
    sim::StreamDecoder idle([&](sim::Event&& e) { flushed.events.push_back(std::move(e)); });
    std::size_t at = 0;
    for (std::size_t i = 0; at < stream.size(); ++i) {
        const std::size_t n = std::min<std::size_t>(
            stream.size() - at, cuts.empty() ? 1 : cuts[i % cuts.size()] % 64 + 1);
        const std::span<const uint8_t> piece(stream.data() + at, n);
        cut.Feed(piece);
        idle.Feed(piece);
        idle.Flush();  // a pause after every piece: lines may differ, bytes are never lost
        at += n;
    }
    cut.Finish();
    idle.Finish();
    FUZZ_CHECK(pieces.lines == whole.lines);
    CheckCoverage(pieces, stream.size());
    CheckCoverage(flushed, stream.size());
    FUZZ_CHECK(cut.BytesFed() == stream.size());

    FUZZ_CHECK(Realtime(stream, cuts) == Realtime(stream, {}));

    const sim::DatagramReading reading = sim::ReadDatagram(stream);
    FUZZ_CHECK(!reading.line.empty());
    FUZZ_CHECK(reading.set.has_value() == (reading.kind == sim::DatagramKind::AddressSet));
    if (reading.set) {
        sim::PrinterSettings printer;
        printer.mac = reading.set->targetMac;
        printer.identity = reading.set->targetIdentity;
        FUZZ_CHECK(sim::ApplyAddressSet(printer, *reading.set));
        FUZZ_CHECK(printer.address == reading.set->address && printer.mac == reading.set->newMac);
        FUZZ_CHECK(sim::DiscoveryReply(printer)[14] == reading.set->address[0]);
    }
    return 0;
}
