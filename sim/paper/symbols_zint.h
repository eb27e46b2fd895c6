#pragma once
// Barcodes and 2D symbols encoded by zint and drawn module by module into dots.

#include "sim/paper/drawing.h"

namespace sim::paper {

// The symbol's bars or modules at the request's module size (and, for linear barcodes, exactly
// `height` dots tall), no quiet zone, no text; or `error` when zint or the printer's data rules
// refuse the data.
Symbol DrawSymbolWithZint(const SymbolRequest& request);

}  // namespace sim::paper
