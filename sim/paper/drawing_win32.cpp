#include "sim/paper/drawing.h"

namespace sim::paper {

// The Windows build has no drawing yet: the simulator says so when asked for receipts.
std::unique_ptr<Drawing> MakeDrawing() {
    return nullptr;
}

bool DrawingBuilt() {
    return false;
}

}  // namespace sim::paper
