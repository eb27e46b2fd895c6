#include "sim/paper/drawing.h"

namespace sim::paper {

// The Windows build has no drawing yet: the simulator says so when asked for receipts.
std::unique_ptr<Drawing> MakeDrawing(std::string* error) {
    if (error != nullptr) *error = "not available in this build";
    return nullptr;
}

bool DrawingBuilt() {
    return false;
}

}  // namespace sim::paper
