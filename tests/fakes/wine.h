#pragma once
// Whether the test runs under Wine, for the few cases Wine cannot show (each skip says why).

namespace fakes {

bool RunningUnderWine();

}  // namespace fakes
