#include "tests/fakes/wine.h"

namespace fakes {

bool RunningUnderWine() {
    return false;
}

}  // namespace fakes
