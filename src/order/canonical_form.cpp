#include "order/canonical_form.hpp"

namespace telva {

Configuration imageOf(const Permutation& g, const Configuration& c) {
  Configuration out(c.size());
  for (std::size_t i = 0; i < c.size(); ++i)
    out[g[i]] = c[i];
  return out;
}

Configuration canonicalForm(const std::vector<Permutation>& group, const Configuration& c) {
  Configuration best = c, image(c.size());
  for (const Permutation& g : group) {
    for (std::size_t i = 0; i < c.size(); ++i)
      image[g[i]] = c[i];
    if (ConfigurationOrder{}(image, best)) best = image;
  }
  return best;
}

int stabiliserOrder(const std::vector<Permutation>& group, const Configuration& c) {
  int order = 0;
  for (const Permutation& g : group) {
    bool fixed = true;
    for (std::size_t i = 0; i < c.size() && fixed; ++i)
      fixed = c[g[i]] == c[i];
    order += fixed;
  }
  return order;
}

} // namespace telva
