#include "order/pair_energy.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/parallel.hpp"
#include "electrostatics/ewald_model.hpp"
#include "electrostatics/ewald_sites.hpp"

namespace telva {

namespace {

// The supercell as a P1 crystal of these charges, every site of weight 1.
Crystal p1Crystal(const Supercell& supercell, const std::vector<double>& charges) {
  Crystal c;
  c.lattice = supercell.cell;
  SymOp identity;
  for (int r = 0; r < 3; ++r)
    identity.rows[r] = {0.0, r + 1, 0};
  c.symOps = {identity};
  for (std::size_t i = 0; i < supercell.sites.size(); ++i) {
    const Position& p = supercell.sites[i].fractional;
    char label[16];
    std::snprintf(label, sizeof label, "%-8d", static_cast<int>(i % 100000000));
    c.sites.push_back({label, charges[i], 1.0, p.x, p.y, p.z});
  }
  return c;
}

} // namespace

std::vector<double> supercellCharges(const DisorderedCrystal& crystal, const Supercell& supercell,
                                     const ConfigurationSpace& space,
                                     const std::vector<double>& disordered) {
  std::vector<double> q(supercell.sites.size());
  for (std::size_t i = 0; i < q.size(); ++i) {
    const int d = space.disorderedSite[i];
    q[i] =
        d >= 0
            ? disordered[d]
            : crystal.positions[supercell.sites[i].position].species[space.fixedSpecies[i]].charge;
  }
  return q;
}

namespace {

// The Ewald sums meet their tolerance but are not exactly invariant under the
// group (their truncation is not). Averaged over the group, A and the fixed
// field are, so every configuration of one ordering has one energy to the
// last bits: the walk's partition sum and the ranked orderings' Boltzmann
// factors then agree, and a symmetric copy is never ranked apart.
void symmetrizeOverGroup(PairEnergy& e, const SupercellGroup& group) {
  const int m = e.m;
  const std::size_t order = group.onDisordered.size();
  if (order <= 1) return;
  std::vector<double> pairs(e.pairs.size(), 0.0), field(m, 0.0);
  for (const Permutation& g : group.onDisordered) {
    for (int i = 0; i < m; ++i) {
      field[i] += e.fixedField[g[i]];
      const double* row = e.pairs.data() + static_cast<std::size_t>(g[i]) * m;
      double* out = pairs.data() + static_cast<std::size_t>(i) * m;
      for (int j = 0; j < m; ++j)
        out[j] += row[g[j]];
    }
  }
  for (double& v : pairs)
    v /= static_cast<double>(order);
  for (double& v : field)
    v /= static_cast<double>(order);
  e.pairs = std::move(pairs);
  e.fixedField = std::move(field);
}

} // namespace

PairEnergy pairEnergy(const DisorderedCrystal& crystal, const Supercell& supercell,
                      const ConfigurationSpace& space, const SupercellGroup& group,
                      double tolerance, int threads) {
  PairEnergy e;
  const int m = space.size();
  e.m = m;
  double largest = 0;
  for (const OrbitSpace& orbit : space.orbits) {
    double q = 0;
    for (int s : orbit.species)
      q = std::max(q, std::abs(space.charges[s]));
    largest += q * static_cast<double>(orbit.sites.size());
  }
  const double unitTolerance = tolerance / std::max(1.0, largest);

  // The fixed charges' potentials and energy.
  std::vector<double> fixedCharges =
      supercellCharges(crystal, supercell, space, std::vector<double>(m, 0.0));
  e.fixedField.assign(m, 0.0);
  if (std::any_of(fixedCharges.begin(), fixedCharges.end(), [](double q) { return q != 0; })) {
    const EwaldSites fixed =
        ewaldSitePotentials(prepareEwald(p1Crystal(supercell, fixedCharges), tolerance, threads));
    for (int i = 0; i < m; ++i)
      e.fixedField[i] = fixed.potentials[space.sites[i]];
    e.fixedEnergy = fixed.energy;
  }

  // One column per orbit of the disordered sites under the group.
  std::vector<int> representative(m, -1), carrier(m, -1); // j = g[rep] for g = group[carrier]
  std::vector<int> columns;
  for (int j = 0; j < m; ++j) {
    if (representative[j] >= 0) continue;
    columns.push_back(j);
    for (std::size_t g = 0; g < group.onDisordered.size(); ++g) {
      const int image = group.onDisordered[g][j];
      if (representative[image] < 0) {
        representative[image] = j;
        carrier[image] = static_cast<int>(g);
      }
    }
  }
  std::vector<std::vector<double>> column(columns.size());
  std::vector<EwaldParameters> used(columns.size());
  parallelFor(
      static_cast<int>(columns.size()),
      [&](int k) {
        std::vector<double> unit(supercell.sites.size(), 0.0);
        unit[space.sites[columns[k]]] = 1.0;
        const EwaldSites s =
            ewaldSitePotentials(prepareEwald(p1Crystal(supercell, unit), unitTolerance, 1));
        column[k].resize(m);
        for (int i = 0; i < m; ++i)
          column[k][i] = s.potentials[space.sites[i]];
        used[k] = s.parameters;
      },
      threads);
  e.parameters = used.front();
  std::vector<int> columnOf(m, -1);
  for (std::size_t k = 0; k < columns.size(); ++k)
    columnOf[columns[k]] = static_cast<int>(k);
  // A(g i, g j0) = A(i, j0): the group's permutations are isometries of the supercell.
  std::vector<double> a(static_cast<std::size_t>(m) * m);
  for (int j = 0; j < m; ++j) {
    const Permutation& g = group.onDisordered[carrier[j]];
    const std::vector<double>& source = column[columnOf[representative[j]]];
    for (int i = 0; i < m; ++i)
      a[static_cast<std::size_t>(g[i]) * m + j] = source[i];
  }
  e.pairs.resize(a.size());
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < m; ++j)
      e.pairs[static_cast<std::size_t>(i) * m + j] =
          0.5 * (a[static_cast<std::size_t>(i) * m + j] + a[static_cast<std::size_t>(j) * m + i]);
  symmetrizeOverGroup(e, group);
  return e;
}

double configurationEnergy(const PairEnergy& e, const std::vector<double>& q) {
  double pair = 0, field = 0;
  for (int i = 0; i < e.m; ++i) {
    double row = 0;
    const double* a = &e.pairs[static_cast<std::size_t>(i) * e.m];
    for (int j = 0; j < e.m; ++j)
      row += a[j] * q[j];
    pair += q[i] * row;
    field += q[i] * e.fixedField[i];
  }
  return e.fixedEnergy + field + 0.5 * pair;
}

} // namespace telva
