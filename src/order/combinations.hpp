// t-combinations of {0, ..., n-1}: lexicographic unranking, and the
// revolving-door order, in which each combination differs from the one
// before by one element leaving and one entering (Knuth, TAOCP 4A, 7.2.1.3,
// Algorithm R). Its order is the recursion
//   G(n, t) = G(n-1, t), then G(n-1, t-1) reversed with n-1 added,
// which the unranking follows.
#pragma once

#include <cstdint>
#include <vector>

namespace telva {

// Binomial coefficients up to n, saturating at 2^64 - 1.
struct BinomialTable {
  int n = 0;
  std::vector<std::uint64_t> values; // (n + 1) x (n + 1)
  explicit BinomialTable(int n);
  std::uint64_t operator()(int a, int b) const {
    return b < 0 || b > a ? 0 : values[static_cast<std::size_t>(a) * (n + 1) + b];
  }
};

// The combination of rank r in lexicographic order, ascending.
std::vector<int> lexicographicCombination(const BinomialTable& c, int n, int t, std::uint64_t r);

// The combination of rank r in revolving-door order, ascending.
std::vector<int> revolvingDoorCombination(const BinomialTable& c, int n, int t, std::uint64_t r);

// A combination walked in revolving-door order.
struct RevolvingDoor {
  int n = 0, t = 0;
  std::vector<int> c; // c[1..t] ascending, c[t + 1] = n (Knuth's sentinel)

  RevolvingDoor(int n, int t, const std::vector<int>& combination);
  // The next combination: the element `out` leaves and `in` enters; false
  // after the last.
  bool next(int& out, int& in);
};

} // namespace telva
