// The virtual printer's decoder: every byte in exactly one event, events end to end; the same
// events however the stream is cut into pieces; unknown bytes carried and shown as hex; a command's
// kept bytes bounded whatever its length fields announce. The datagram reader and the address-set
// packet on the same input. The paper attached to the decoder (through the platform's drawing where
// the build has one, else a fake): its pictures exactly the paper's width, never longer than the
// length limit and a cut line, and the events the same with it. The real-time commands found in
// the raw bytes: the same however the stream is cut, each a whole command of the table.
#include <algorithm>
#include <memory>
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

// The stream through a decoder with a paper `width` dots wide, in pieces of `piece` bytes.
void CheckPaper(const std::vector<uint8_t>& stream, int width, std::size_t piece,
                const std::vector<std::string>& lines) {
    static const std::unique_ptr<sim::paper::Drawing> platform = sim::paper::MakeDrawing();
    simtest::FakeDrawing fake;
    uint64_t pictures = 0;
    sim::paper::Paper paper(
        platform ? *platform : fake, {width},
        [&](sim::paper::Receipt&& r) {
            ++pictures;
            FUZZ_CHECK(r.picture.Width() == width);
            FUZZ_CHECK(r.picture.Height() > 0);
            FUZZ_CHECK(r.picture.Height() <=
                       sim::paper::Paper::kLengthLimit + sim::paper::Paper::kCutLineRows);
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
    const uint64_t before = pictures;
    paper.End();
    FUZZ_CHECK(pictures == before);
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
    CheckPaper(stream, (data[0] & 0x80) != 0 ? 384 : 576,
               count > 0 ? static_cast<std::size_t>(cuts[0] % 64 + 1) : stream.size() + 1,
               whole.lines);

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
