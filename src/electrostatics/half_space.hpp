// The order in which every kernel visits one half of reciprocal space: the
// table holds exactly one reflection of each pair (h, k, l), (-h, -k, -l) and
// not the origin, and every build and synthesis runs through it in this order.
#pragma once

#include <cstdint>

namespace telva {

// Calls visit(k, l, hFirst) for every row of constant (k, l) of the half space
// of the box h in [-hmax, hmax], k in [-kmax, kmax], l in [0, lmax]: l from 0
// (outermost); k from 0 when l = 0, else from -kmax. The row runs along h from
// hFirst to hmax: from 1 in the row (0, 0) of the plane l = 0, else from -hmax.
template <typename Visit>
void forEachHalfSpaceRow(std::int32_t hmax, std::int32_t kmax, std::int32_t lmax, Visit&& visit) {
  for (int l = 0; l <= lmax; ++l)
    for (int k = l == 0 ? 0 : -kmax; k <= kmax; ++k)
      visit(k, l, (l == 0 && k == 0) ? 1 : -hmax);
}

// Calls visit(h, k, l) for every reflection of the half space, in the rows'
// order and along each row (innermost).
template <typename Visit>
void forEachHalfSpaceReflection(std::int32_t hmax, std::int32_t kmax, std::int32_t lmax,
                                Visit&& visit) {
  forEachHalfSpaceRow(hmax, kmax, lmax, [&](int k, int l, int hFirst) {
    for (int h = hFirst; h <= hmax; ++h)
      visit(h, k, l);
  });
}

} // namespace telva
