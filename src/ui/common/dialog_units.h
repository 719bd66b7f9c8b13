// Dialog units of the window templates turned into pixels once: about 1.5 pixels per
// horizontal and 1.625 per vertical unit.
#pragma once

namespace velmor {

constexpr int DluX(int units) {
    return units * 3 / 2;
}
constexpr int DluY(int units) {
    return units * 13 / 8;
}

}  // namespace velmor
