#pragma once
// Printing bytes through the decoder onto a paper with the fake drawing, for the paper's tests.

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "sim/paper/paper.h"
#include "sim/stream_decoder.h"
#include "tests/sim/fake_drawing.h"

namespace simtest {

using Bytes = std::vector<uint8_t>;

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
inline Bytes Str(const std::string& s) {
    return Bytes(s.begin(), s.end());
}
inline Bytes Le(int n) {
    return {static_cast<uint8_t>(n & 0xFF), static_cast<uint8_t>(n >> 8)};
}

// What a stream printed: its receipts and the paper's notes.
struct Printed {
    std::vector<sim::paper::Receipt> receipts;
    std::vector<std::string> notes;
    FakeDrawing drawing;

    const sim::paper::Bitmap& First() const { return receipts.at(0).picture; }
};

// Bytes through the decoder onto a paper `width` dots wide, in pieces of `piece` bytes (0: at
// once); the stream then ends.
inline void Print(Printed& out, const Bytes& bytes, int width = 576, std::size_t piece = 0) {
    sim::paper::Paper paper(
        out.drawing, {width},
        [&](sim::paper::Receipt&& r) { out.receipts.push_back(std::move(r)); },
        [&](const std::string& note) { out.notes.push_back(note); });
    sim::StreamDecoder decoder(nullptr);
    decoder.SetPaper(&paper);
    const std::size_t step = piece == 0 ? std::max<std::size_t>(bytes.size(), 1) : piece;
    for (std::size_t at = 0; at < bytes.size(); at += step)
        decoder.Feed(std::span(bytes).subspan(at, std::min(step, bytes.size() - at)));
    decoder.Finish();
    paper.End();
}

}  // namespace simtest
