#include "order/big_count.hpp"

#include <algorithm>
#include <cmath>

namespace telva {

namespace {

void trim(BigCount& c) {
  while (!c.limbs.empty() && c.limbs.back() == 0)
    c.limbs.pop_back();
}

} // namespace

BigCount::BigCount(std::uint64_t value) {
  while (value) {
    limbs.push_back(static_cast<std::uint32_t>(value));
    value >>= 32;
  }
}

std::uint64_t BigCount::toU64() const {
  std::uint64_t v = 0;
  for (std::size_t i = std::min<std::size_t>(2, limbs.size()); i-- > 0;)
    v = (v << 32) | limbs[i];
  return v;
}

double BigCount::toDouble() const {
  double v = 0;
  for (std::size_t i = limbs.size(); i-- > 0;)
    v = v * 4294967296.0 + limbs[i];
  return v;
}

std::string BigCount::toString() const {
  if (isZero()) return "0";
  BigCount rest = *this;
  std::string digits;
  while (!rest.isZero()) {
    std::uint32_t r = rest.divide(1000000000u);
    for (int k = 0; k < 9; ++k) {
      digits.push_back(static_cast<char>('0' + r % 10));
      r /= 10;
      if (rest.isZero() && r == 0) break;
    }
  }
  while (digits.size() > 1 && digits.back() == '0')
    digits.pop_back();
  std::reverse(digits.begin(), digits.end());
  return digits;
}

BigCount& BigCount::operator+=(const BigCount& other) {
  if (limbs.size() < other.limbs.size()) limbs.resize(other.limbs.size(), 0);
  std::uint64_t carry = 0;
  for (std::size_t i = 0; i < limbs.size(); ++i) {
    const std::uint64_t sum =
        carry + limbs[i] + (i < other.limbs.size() ? other.limbs[i] : std::uint64_t{0});
    limbs[i] = static_cast<std::uint32_t>(sum);
    carry = sum >> 32;
  }
  if (carry) limbs.push_back(static_cast<std::uint32_t>(carry));
  return *this;
}

BigCount& BigCount::operator*=(std::uint32_t factor) {
  std::uint64_t carry = 0;
  for (std::uint32_t& limb : limbs) {
    const std::uint64_t product = std::uint64_t{limb} * factor + carry;
    limb = static_cast<std::uint32_t>(product);
    carry = product >> 32;
  }
  if (carry) limbs.push_back(static_cast<std::uint32_t>(carry));
  trim(*this);
  return *this;
}

std::uint32_t BigCount::divide(std::uint32_t divisor) {
  std::uint64_t remainder = 0;
  for (std::size_t i = limbs.size(); i-- > 0;) {
    const std::uint64_t current = (remainder << 32) | limbs[i];
    limbs[i] = static_cast<std::uint32_t>(current / divisor);
    remainder = current % divisor;
  }
  trim(*this);
  return static_cast<std::uint32_t>(remainder);
}

BigCount operator+(BigCount a, const BigCount& b) {
  a += b;
  return a;
}

BigCount operator*(const BigCount& a, const BigCount& b) {
  BigCount out;
  if (a.isZero() || b.isZero()) return out;
  out.limbs.assign(a.limbs.size() + b.limbs.size(), 0);
  for (std::size_t i = 0; i < a.limbs.size(); ++i) {
    std::uint64_t carry = 0;
    for (std::size_t j = 0; j < b.limbs.size(); ++j) {
      const std::uint64_t t = std::uint64_t{a.limbs[i]} * b.limbs[j] + out.limbs[i + j] + carry;
      out.limbs[i + j] = static_cast<std::uint32_t>(t);
      carry = t >> 32;
    }
    for (std::size_t k = i + b.limbs.size(); carry; ++k) {
      const std::uint64_t t = std::uint64_t{out.limbs[k]} + carry;
      out.limbs[k] = static_cast<std::uint32_t>(t);
      carry = t >> 32;
    }
  }
  trim(out);
  return out;
}

bool operator==(const BigCount& a, const BigCount& b) {
  return a.limbs == b.limbs;
}

bool operator<(const BigCount& a, const BigCount& b) {
  if (a.limbs.size() != b.limbs.size()) return a.limbs.size() < b.limbs.size();
  for (std::size_t i = a.limbs.size(); i-- > 0;)
    if (a.limbs[i] != b.limbs[i]) return a.limbs[i] < b.limbs[i];
  return false;
}

BigCount binomial(int n, int k) {
  if (k < 0 || k > n) return BigCount{};
  k = std::min(k, n - k);
  // C(n, i) = C(n, i - 1) (n - i + 1) / i, exact at every step.
  BigCount c(1);
  for (int i = 1; i <= k; ++i) {
    c *= static_cast<std::uint32_t>(n - i + 1);
    c.divide(static_cast<std::uint32_t>(i));
  }
  return c;
}

} // namespace telva
