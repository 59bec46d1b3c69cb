#include "order/distinct_count.hpp"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace telva {

namespace {

// Ways of giving each cycle (of the lengths listed) one species so that
// species s fills counts[s] sites: a table over the sites used so far of
// each species, in mixed radix.
BigCount cycleFillings(const std::vector<int>& lengths, const std::vector<int>& counts) {
  std::vector<int> radix(counts.size() + 1, 1);
  for (std::size_t s = 0; s < counts.size(); ++s)
    radix[s + 1] = radix[s] * (counts[s] + 1);
  std::vector<BigCount> ways(radix.back());
  ways[0] = 1;
  for (int length : lengths) {
    std::vector<BigCount> next(ways.size());
    for (int state = 0; state < radix.back(); ++state) {
      if (ways[state].isZero()) continue;
      for (std::size_t s = 0; s < counts.size(); ++s) {
        const int used = state / radix[s] % (counts[s] + 1);
        if (used + length <= counts[s]) next[state + length * radix[s]] += ways[state];
      }
    }
    ways = std::move(next);
  }
  return ways.back();
}

// Per orbit the cycle lengths of g, sorted: the cycle type that fixes the count.
std::vector<std::vector<int>> cycleType(const ConfigurationSpace& space, const Permutation& g) {
  std::vector<std::vector<int>> lengths(space.orbits.size());
  std::vector<char> seen(g.size(), 0);
  for (std::size_t i = 0; i < g.size(); ++i) {
    if (seen[i]) continue;
    int length = 0;
    for (std::size_t j = i; !seen[j]; j = static_cast<std::size_t>(g[j])) {
      seen[j] = 1;
      ++length;
    }
    lengths[space.siteOrbit[i]].push_back(length);
  }
  for (auto& l : lengths)
    std::sort(l.begin(), l.end());
  return lengths;
}

BigCount fixedOfType(const ConfigurationSpace& space, const std::vector<std::vector<int>>& type) {
  BigCount product(1);
  for (std::size_t o = 0; o < space.orbits.size() && !product.isZero(); ++o)
    product = product * cycleFillings(type[o], space.orbits[o].counts);
  return product;
}

} // namespace

BigCount fixedConfigurations(const ConfigurationSpace& space, const Permutation& g) {
  return fixedOfType(space, cycleType(space, g));
}

BigCount distinctConfigurations(const ConfigurationSpace& space,
                                const std::vector<Permutation>& group) {
  std::map<std::vector<std::vector<int>>, BigCount> byType;
  BigCount sum;
  for (const Permutation& g : group) {
    const auto type = cycleType(space, g);
    auto it = byType.find(type);
    if (it == byType.end()) it = byType.emplace(type, fixedOfType(space, type)).first;
    sum += it->second;
  }
  if (sum.divide(static_cast<std::uint32_t>(group.size())) != 0)
    throw std::logic_error("the Burnside sum is no multiple of the group's order");
  return sum;
}

} // namespace telva
