#include "order/combinations.hpp"

#include <algorithm>
#include <limits>

namespace telva {

BinomialTable::BinomialTable(int size) : n(size) {
  values.assign(static_cast<std::size_t>(n + 1) * (n + 1), 0);
  const std::uint64_t most = std::numeric_limits<std::uint64_t>::max();
  for (int a = 0; a <= n; ++a) {
    values[static_cast<std::size_t>(a) * (n + 1)] = 1;
    for (int b = 1; b <= a; ++b) {
      const std::uint64_t x = (*this)(a - 1, b - 1), y = (*this)(a - 1, b);
      values[static_cast<std::size_t>(a) * (n + 1) + b] = x > most - y ? most : x + y;
    }
  }
}

std::vector<int> lexicographicCombination(const BinomialTable& c, int n, int t, std::uint64_t r) {
  std::vector<int> out;
  int next = 0;
  for (int left = t; left > 0; --left) {
    // The first element: skip those whose combinations come before rank r.
    for (;; ++next) {
      const std::uint64_t starting = c(n - next - 1, left - 1);
      if (r < starting) break;
      r -= starting;
    }
    out.push_back(next++);
  }
  return out;
}

std::vector<int> revolvingDoorCombination(const BinomialTable& c, int n, int t, std::uint64_t r) {
  std::vector<int> out;
  while (t > 0) {
    if (t == n) {
      for (int i = 0; i < n; ++i)
        out.push_back(i);
      break;
    }
    const std::uint64_t without = c(n - 1, t);
    if (r >= without) {
      out.push_back(n - 1);
      r = c(n - 1, t - 1) - 1 - (r - without);
      --t;
    }
    --n;
  }
  std::sort(out.begin(), out.end());
  return out;
}

RevolvingDoor::RevolvingDoor(int size, int count, const std::vector<int>& combination)
    : n(size), t(count) {
  c.assign(t + 2, 0);
  for (int j = 1; j <= t; ++j)
    c[j] = combination[j - 1];
  c[t + 1] = n;
}

bool RevolvingDoor::next(int& out, int& in) {
  if (t == 0 || t == n) return false;
  if (t == 1) {
    if (c[1] + 1 >= n) return false;
    out = c[1]++;
    in = c[1];
    return true;
  }
  int j = 2;
  if (t % 2 == 1) {
    if (c[1] + 1 < c[2]) {
      out = c[1]++;
      in = c[1];
      return true;
    }
  } else {
    if (c[1] > 0) {
      out = c[1]--;
      in = c[1];
      return true;
    }
    goto increase;
  }
  for (;;) {
    // R4: c[j] = c[j-1] + 1; try to decrease c[j].
    if (c[j] >= j) {
      out = c[j];
      c[j] = c[j - 1];
      c[j - 1] = j - 2;
      in = j - 2;
      return true;
    }
    ++j;
  increase:
    // R5: c[j-1] = j - 2; try to increase c[j].
    if (c[j] + 1 < c[j + 1]) {
      out = j - 2;
      c[j - 1] = c[j];
      in = ++c[j];
      return true;
    }
    ++j;
    if (j > t) return false;
  }
}

} // namespace telva
