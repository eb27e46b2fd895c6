#include "sim/paper/drawing.h"

namespace sim::paper {

// Placeholder until the FreeType, zint and libpng drawing lands.
std::unique_ptr<Drawing> MakeDrawing() {
    return nullptr;
}

bool DrawingBuilt() {
    return true;
}

}  // namespace sim::paper
