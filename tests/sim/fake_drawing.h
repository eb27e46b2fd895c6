#pragma once
// A drawing with fixed shapes, so the paper's geometry can be checked on any machine: every glyph
// is its cell's frame with a 3 × 3 mark in the top left corner (a space is blank); a linear symbol
// is bars every other module, `module` × (10 + 2 × data bytes) wide and `height` high, with its
// data as text; a 2D one the same bars `module` × (10 + data bytes / 2) wide and as tall. Data
// holding 'X' is refused.

#include <map>
#include <string>
#include <utility>

#include "sim/paper/drawing.h"

namespace simtest {

class FakeDrawing final : public sim::paper::Drawing {
  public:
    const sim::paper::Bitmap& Glyph(char32_t c, sim::paper::Face face) override {
        faces[face] += 1;
        const auto key = std::pair{c == U' ', face};
        auto found = glyphs_.find(key);
        if (found != glyphs_.end()) return found->second;
        const sim::paper::CellSize cell = sim::paper::CellOf(face);
        sim::paper::Bitmap glyph(cell.width, cell.height);
        if (c != U' ') {
            glyph.Fill(0, 0, cell.width, 1);
            glyph.Fill(0, cell.height - 1, cell.width, 1);
            glyph.Fill(0, 0, 1, cell.height);
            glyph.Fill(cell.width - 1, 0, 1, cell.height);
            glyph.Fill(2, 2, 3, 3);
        }
        return glyphs_.emplace(key, std::move(glyph)).first->second;
    }

    sim::paper::Symbol DrawSymbol(const sim::paper::SymbolRequest& request) override {
        requests.push_back(request);
        sim::paper::Symbol symbol;
        const std::string data(request.data.begin(), request.data.end());
        if (data.find('X') != std::string::npos || data.empty()) {
            symbol.error = "the data has no symbol";
            return symbol;
        }
        const bool linear = request.kind <= sim::paper::SymbolKind::Code128Auto;
        const int size = static_cast<int>(data.size());
        const int modules = 10 + (linear ? 2 * size : size / 2);
        const int height = linear ? request.height : modules * request.module;
        symbol.picture = sim::paper::Bitmap(modules * request.module, height);
        for (int m = 0; m < modules; m += 2)
            symbol.picture.Fill(m * request.module, 0, request.module, height);
        if (linear) symbol.text = data;
        return symbol;
    }

    bool SavePng(const sim::paper::Bitmap&, const std::string&, std::string* error) override {
        if (error != nullptr) *error = "not in the fake";
        return false;
    }

    std::map<sim::paper::Face, int> faces;  // glyphs asked for, by face
    std::vector<sim::paper::SymbolRequest> requests;

  private:
    std::map<std::pair<bool, sim::paper::Face>, sim::paper::Bitmap> glyphs_;
};

}  // namespace simtest
