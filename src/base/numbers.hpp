// The circle constants, spelled once: pi and 2 pi as the nearest doubles.
#pragma once

namespace telva {

inline constexpr double pi = 3.141592653589793;
inline constexpr double twoPi = 6.283185307179586;

} // namespace telva
