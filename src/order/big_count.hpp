// Exact counts of configurations: an unsigned integer of any size, for the
// multinomial totals and the Burnside sums, which pass 2^64 (and 2^128) in
// supercells of a few hundred mixed sites.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace telva {

struct BigCount {
  std::vector<std::uint32_t> limbs; // least significant first, no leading zero limbs

  BigCount() = default;
  BigCount(std::uint64_t value); // NOLINT: counts convert from machine integers

  bool isZero() const { return limbs.empty(); }
  bool fitsU64() const { return limbs.size() <= 2; }
  std::uint64_t toU64() const; // the low 64 bits
  double toDouble() const;
  std::string toString() const; // decimal

  BigCount& operator+=(const BigCount& other);
  BigCount& operator*=(std::uint32_t factor);
  // Divides in place, returning the remainder.
  std::uint32_t divide(std::uint32_t divisor);
};

BigCount operator+(BigCount a, const BigCount& b);
BigCount operator*(const BigCount& a, const BigCount& b);
bool operator==(const BigCount& a, const BigCount& b);
bool operator<(const BigCount& a, const BigCount& b);
inline bool operator<=(const BigCount& a, const BigCount& b) {
  return !(b < a);
}

// n choose k, exactly.
BigCount binomial(int n, int k);

} // namespace telva
