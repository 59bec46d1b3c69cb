#include "electrostatics/site_potentials.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "crystal/cell_geometry.hpp"
#include "electrostatics/reference/reference_synthesis.hpp"
#include "electrostatics/reference/reference_table.hpp"
#include "electrostatics/sphere_form_factor.hpp"
#include "listing/sections.hpp"
#include "listing/stable_values.hpp"
#include "records/fixed_column.hpp"

namespace telva {
namespace {

using Params = std::array<double, 6>;

SymOp op(SymOpRow x, SymOpRow y, SymOpRow z) {
  return SymOp{{x, y, z}};
}
const SymOp identity = op({0, 1, 0}, {0, 2, 0}, {0, 3, 0});

struct Crystal {
  Params cell;
  double radius, range;
  int flag;
  std::vector<SymOp> ops;
  std::vector<Site> sites;
};

struct Result {
  std::vector<double> phi;
  double energy;
};

Result compute(const Crystal& c) {
  const CellGeometry g = buildCellGeometry(c.cell, c.range);
  const CoefficientTable t =
      referenceCoefficientTable({g, c.radius, c.range, c.flag, c.ops, c.sites});
  Result r;
  for (const Site& s : c.sites)
    r.phi.push_back(referenceSitePotential(t, g.volume, c.radius, s));
  r.energy = energyPerAsymmetricUnit(c.sites, r.phi);
  // The listing's batched synthesis must agree with the term-by-term one.
  const std::vector<double> batched = stableSitePotentials(t, g.volume, c.radius, c.sites);
  for (std::size_t i = 0; i < c.sites.size(); ++i)
    EXPECT_NEAR(batched[i], r.phi[i], 1e-10) << i;
  return r;
}

// The listing text written by `write`, through an in-memory stream.
std::string listingText(const std::function<void(Listing&)>& write) {
  char* buffer = nullptr;
  std::size_t size = 0;
  {
    Listing listing(open_memstream(&buffer, &size), "memory");
    write(listing);
    listing.close();
  }
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t begin = 0;
  for (std::size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1)
    out.push_back(text.substr(begin, end - begin));
  return out;
}

// Rock salt in its conventional cell, all eight ions listed under the identity.
std::vector<Site> rockSaltCell() {
  std::vector<Site> sites;
  const double na[4][3] = {{0, 0, 0}, {0.5, 0.5, 0}, {0.5, 0, 0.5}, {0, 0.5, 0.5}};
  for (int i = 0; i < 4; ++i)
    sites.push_back(
        {"Na" + std::to_string(i + 1) + "     ", 1.0, 1.0, na[i][0], na[i][1], na[i][2]});
  for (int i = 0; i < 4; ++i)
    sites.push_back({"Cl" + std::to_string(i + 1) + "     ", -1.0, 1.0,
                     std::fmod(na[i][0] + 0.5, 1.0), na[i][1], na[i][2]});
  return sites;
}
const Params cubic564 = {5.64, 5.64, 5.64, 90, 90, 90};

// The 96 operations that, with the inversion flag, make up the face-centred
// cubic group of full symmetry: the 24 proper rotations (signed permutation
// matrices of determinant +1) combined with the 4 centring translations.
std::vector<SymOp> faceCentredCubicRotations() {
  const int perms[6][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {0, 2, 1}, {2, 1, 0}, {1, 0, 2}};
  const double centrings[4][3] = {{0, 0, 0}, {0, 0.5, 0.5}, {0.5, 0, 0.5}, {0.5, 0.5, 0}};
  std::vector<SymOp> ops;
  for (const auto& t : centrings)
    for (int p = 0; p < 6; ++p)
      for (int signs = 0; signs < 8; ++signs) {
        int s[3];
        for (int i = 0; i < 3; ++i)
          s[i] = (signs >> i) & 1 ? -1 : 1;
        const int parity = p < 3 ? 1 : -1;
        if (parity * s[0] * s[1] * s[2] != 1) continue;
        SymOp o;
        for (int i = 0; i < 3; ++i)
          o.rows[i] = {t[i], s[i] * (perms[p][i] + 1), 0};
        ops.push_back(o);
      }
  return ops;
}

// With no reflection inside the range the table adds nothing: each site keeps
// only minus its own self term.
TEST(SitePotentials, NoReflectionInRangeLeavesOnlySelfTerms) {
  const std::vector<Site> sites = {{"A", 2.0, 0.5, 0.1, 0.2, 0.3},
                                   {"B", -1.0, 1.0, 0.7, 0.1, 0.9},
                                   {"C", 0.5, 0.25, 0.0, 0.0, 0.0}};
  const double radius = 1.3;
  for (double range : {0.1, 0.0, -1.0}) {
    SCOPED_TRACE(range);
    const Result r = compute({cubic564, radius, range, 0, {identity}, sites});
    double energy = 0;
    for (std::size_t i = 0; i < sites.size(); ++i) {
      const double self = 21.0 * sites[i].charge / (8.0 * radius);
      EXPECT_NEAR(r.phi[i], -self, 1e-15);
      energy += -0.5 * sites[i].charge * sites[i].W * self;
    }
    EXPECT_NEAR(r.energy, energy, 1e-14);
  }
}

// The flag must give the potentials of the structure with the inverted
// companions (translation and both codes negated) listed explicitly, here for
// a screw axis and sites at general positions in an oblique cell.
TEST(SitePotentials, InversionFlagEqualsExplicitCompanions) {
  const std::vector<SymOp> screw = {identity, op({0, -1, 0}, {0.5, 2, 0}, {0, -3, 0})};
  std::vector<SymOp> withCompanions = screw;
  for (SymOp o : screw) {
    for (SymOpRow& row : o.rows)
      row = {-row.translation, -row.code1, -row.code2};
    withCompanions.push_back(o);
  }
  const std::vector<Site> sites = {{"M", 2.0, 0.5, 0.13, 0.21, 0.37},
                                   {"O1", -1.0, 0.5, 0.61, 0.08, 0.22},
                                   {"O2", -1.0, 0.5, 0.29, 0.73, 0.81}};
  const Params monoclinic = {5.1, 4.3, 6.2, 90, 103.5, 90};
  const Result flagged = compute({monoclinic, 0.9, 1.6, 1, screw, sites});
  const Result explicitly = compute({monoclinic, 0.9, 1.6, 0, withCompanions, sites});
  const Result withoutFlag = compute({monoclinic, 0.9, 1.6, 0, screw, sites});
  for (std::size_t i = 0; i < sites.size(); ++i) {
    EXPECT_NEAR(flagged.phi[i], explicitly.phi[i], 1e-11);
    // The companions matter: without them the potentials are different.
    EXPECT_GT(std::fabs(flagged.phi[i] - withoutFlag.phi[i]), 1e-3);
  }
  EXPECT_NEAR(flagged.energy, explicitly.energy, 1e-11);
}

// An uncharged site only probes the potential: its value is the table
// potential with no self term, and it adds nothing to the energy.
TEST(SitePotentials, UnchargedSiteProbesWithoutContributing) {
  std::vector<Site> sites = rockSaltCell();
  const Crystal base{cubic564, 1.0, 2.0, 0, {identity}, sites};
  sites.push_back({"X", 0.0, 1.0, 0.25, 0.25, 0.25});
  sites.push_back({"Y", 0.0, 0.7, 0.1, 0.0, 0.0});
  const Crystal probed{cubic564, 1.0, 2.0, 0, {identity}, sites};
  const Result r0 = compute(base), r1 = compute(probed);
  const CellGeometry g = buildCellGeometry(cubic564, 2.0);
  const CoefficientTable t = referenceCoefficientTable({g, 1.0, 2.0, 0, base.ops, base.sites});
  EXPECT_EQ(r1.phi[8], referenceTablePotential(t, g.volume, 0.25, 0.25, 0.25));
  EXPECT_EQ(r1.phi[9], referenceTablePotential(t, g.volume, 0.1, 0.0, 0.0));
  EXPECT_NEAR(r1.phi[8], 0.0, 1e-12); // the centre of the cube of ions
  EXPECT_NEAR(r1.phi[9], referenceTablePotential(t, g.volume, -0.1, 0.0, 0.0), 1e-12);
  for (int i = 0; i < 8; ++i)
    EXPECT_NEAR(r1.phi[i], r0.phi[i], 1e-13);
  EXPECT_NEAR(r1.energy, r0.energy, 1e-13);
}

// A site's potential does not depend on which cell it is written in.
TEST(SitePotentials, SiteMovedByLatticeVectorKeepsItsPotential) {
  const std::vector<SymOp> ops = {identity, op({0, -1, 0}, {0.5, 2, 0}, {0.5, -3, 0})};
  std::vector<Site> sites = {{"A", 1.5, 1.0, 0.25, 0.1, 0.4}, {"B", -1.5, 1.0, 0.6, 0.55, 0.05}};
  const Params cell = {4.8, 5.5, 6.0, 90, 95, 90};
  const Result before = compute({cell, 1.0, 1.5, 0, ops, sites});
  sites[0].x = 1.25, sites[1].y = -0.45, sites[1].z = 2.05;
  const Result after = compute({cell, 1.0, 1.5, 0, ops, sites});
  for (std::size_t i = 0; i < sites.size(); ++i)
    EXPECT_NEAR(after.phi[i], before.phi[i], 1e-11);
  EXPECT_NEAR(after.energy, before.energy, 1e-11);
}

// Moving the whole crystal against the origin changes no site potential. The
// shifted rock salt has no inversion centre at the origin any more, so the
// sine part of the table carries half the answer.
TEST(SitePotentials, ShiftOfOriginKeepsPotentials) {
  const std::vector<Site> sites = rockSaltCell();
  std::vector<Site> shifted = sites;
  for (Site& s : shifted)
    s.x += 0.13, s.y += 0.27, s.z -= 0.31;
  const Result r0 = compute({cubic564, 1.0, 2.5, 0, {identity}, sites});
  const Result r1 = compute({cubic564, 1.0, 2.5, 0, {identity}, shifted});
  for (std::size_t i = 0; i < sites.size(); ++i)
    EXPECT_NEAR(r1.phi[i], r0.phi[i], 1e-11) << i;
  const CellGeometry g = buildCellGeometry(cubic564, 2.5);
  const CoefficientTable t0 = referenceCoefficientTable({g, 1.0, 2.5, 0, {&identity, 1}, sites});
  const CoefficientTable t1 = referenceCoefficientTable({g, 1.0, 2.5, 0, {&identity, 1}, shifted});
  EXPECT_NEAR(referenceTablePotential(t1, g.volume, 0.13 + 0.2, 0.27 + 0.1, -0.31 + 0.05),
              referenceTablePotential(t0, g.volume, 0.2, 0.1, 0.05), 1e-11);
}

// Rock salt from the asymmetric unit of its space group (96 rotations with
// centring plus the inversion flag, W = multiplicity / 192) must give the
// potentials of the same crystal written out in full under the identity. The
// weight as read from the input, .02083333, differs from 4/192 by eps; the
// table part of the potential scales with W, so the tolerance follows eps.
TEST(SitePotentials, SpaceGroupAsymmetricUnitMatchesFullCell) {
  const std::vector<SymOp> ops = faceCentredCubicRotations();
  ASSERT_EQ(ops.size(), 96u);
  const double range = 2.0, radius = 1.0;
  const Result full = compute({cubic564, radius, range, 0, {identity}, rockSaltCell()});
  const double exactW = 4.0 / 192.0;
  const double readW = *parseFixedField(".02083333", 4);
  const double relativeError = std::fabs(readW - exactW) / exactW;
  for (double w : {exactW, readW}) {
    SCOPED_TRACE(w);
    const std::vector<Site> asym = {{"Na", 1.0, w, 0, 0, 0}, {"Cl", -1.0, w, 0.5, 0.5, 0.5}};
    const Result r = compute({cubic564, radius, range, 1, ops, asym});
    const double selfTerm = 21.0 / (8.0 * radius);
    // |table part| <= |phi| + self term.
    const double tolerance = 1e-11 + relativeError * (std::fabs(full.phi[0]) + selfTerm) * 1.01;
    EXPECT_NEAR(r.phi[0], full.phi[0], w == exactW ? 1e-11 : tolerance);
    EXPECT_NEAR(r.phi[1], full.phi[4], w == exactW ? 1e-11 : tolerance);
    // The asymmetric unit carries 1/192 of the cell's energy.
    EXPECT_NEAR(r.energy * 192, full.energy, w == exactW ? 1e-10 : 4 * tolerance);
  }
}

// With spheres that do not overlap (R at most half the shortest distance) the
// smeared crystal minus the self term is the point-charge crystal once the
// range is wide enough: the site potential approaches the lattice-sum value and
// the error shrinks as the range grows.
TEST(SitePotentials, ConvergesToLatticeSumPotential) {
  const double latticeSum = 1.747564594633; // rock salt, per nearest-neighbour distance
  const double pointCharge = -latticeSum / 2.82;
  std::vector<double> errors;
  for (double range : {2.0, 4.0, 6.0, 8.0}) {
    const Result r = compute({cubic564, 1.4, range, 0, {identity}, rockSaltCell()});
    for (int i = 0; i < 4; ++i) {
      EXPECT_NEAR(r.phi[i], r.phi[0], 1e-10);
      EXPECT_NEAR(r.phi[4 + i], -r.phi[0], 1e-10);
    }
    errors.push_back(std::fabs(r.phi[0] - pointCharge));
    EXPECT_NEAR(r.energy, 4 * r.phi[0], 1e-10);
    if (range == 8.0) {
      EXPECT_NEAR(r.energy, 4 * pointCharge, 4e-6);
    }
  }
  for (std::size_t i = 1; i < errors.size(); ++i)
    EXPECT_LT(errors[i], errors[i - 1]) << i;
  EXPECT_LT(errors.front(), 1e-3);
  EXPECT_LT(errors.back(), 1e-6);
}

// The rock-salt check, digit for digit in the listing.
TEST(SiteListing, RockSaltCheck) {
  const std::vector<Site> sites = rockSaltCell();
  const CellGeometry g = buildCellGeometry(cubic564, 6.0);
  const CoefficientTable t = referenceCoefficientTable({g, 1.0, 6.0, 0, {&identity, 1}, sites});
  const std::vector<std::string> out =
      lines(listingText([&](Listing& l) { listSitePotentials(t, g.volume, 1.0, sites, l); }));
  ASSERT_EQ(out.size(), 17u);
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(out[4 + i].substr(54), i < 4 ? "  -6.197174E-01" : "   6.197174E-01") << i;
  EXPECT_EQ(out[15], "     -2.478869 e**2/\u00c5 = -35.69486 eV =  -3.444029 MJ/mol");
}

// The whole site and energy sections for one site, and the energy line of
// E = -10 e^2/A. An empty table leaves phi = -self term, which the radius sets.
TEST(SiteListing, SectionLayout) {
  CoefficientTable empty;
  empty.lmax = -1;
  const std::vector<Site> one = {{"Na1     ", 1.0, 1.0, 0, 0, 0}};
  const std::string text = listingText(
      [&](Listing& l) { listSitePotentials(empty, 100.0, 2.625 / 0.123456789, one, l); });
  EXPECT_EQ(text, "\n"
                  " Potentials of sites in the asymmetric unit\n"
                  "\n"
                  "          Charge      W        x        y        z           phi\n"
                  " Na1      1.000000 1.000000 0.000000 0.000000 0.000000  -1.234568E-01\n"
                  "\n"
                  "\n"
                  " Electrostatic energy per asymmetric unit\n"
                  "     -0.061728 e**2/\u00c5 = -0.88887 eV =  -0.085763 MJ/mol\n"
                  "\n");

  // phi = -(21 / 0.2625) / 8 = -10, and W = 2 makes E = -10.
  const std::vector<Site> heavy = {{"X       ", 1.0, 2.0, 0, 0, 0}};
  const std::vector<std::string> out =
      lines(listingText([&](Listing& l) { listSitePotentials(empty, 100.0, 0.2625, heavy, l); }));
  ASSERT_EQ(out.size(), 10u);
  EXPECT_EQ(out[8], "    -10.000000 e**2/\u00c5 = -143.99652 eV = -13.893548 MJ/mol");
}

TEST(SiteListing, NoSites) {
  CoefficientTable empty;
  empty.lmax = -1;
  const std::vector<std::string> out =
      lines(listingText([&](Listing& l) { listSitePotentials(empty, 100.0, 1.0, {}, l); }));
  ASSERT_EQ(out.size(), 9u);
  EXPECT_EQ(out[3], "          Charge      W        x        y        z           phi");
  EXPECT_EQ(out[6], " Electrostatic energy per asymmetric unit");
  EXPECT_EQ(out[7], "      0.000000 e**2/\u00c5 = 0.00000 eV =   0.000000 MJ/mol");
}

TEST(SiteListing, ElectronVoltTextIsTrimmed) {
  const struct {
    double energy;
    const char* text;
  } cases[] = {{-10.0, "-143.99652 eV"},
               {0.0, "0.00000 eV"},
               {1.0, "14.39965 eV"},
               {1e7, "************* eV"}};
  for (const auto& c : cases)
    EXPECT_EQ(electronVoltText(c.energy), c.text) << c.energy;
}

} // namespace
} // namespace telva
