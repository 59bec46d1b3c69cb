#include "electrostatics/ewald_model.hpp"

#include <cmath>
#include <cstdio>
#include <string>

#include "base/fault.hpp"
#include "electrostatics/gaussian_table.hpp"
#include "electrostatics/sphere_form_factor.hpp"

namespace telva {

namespace {

// Working memory of one synthesis and one table build: the phase factors of
// a batch of points and of a block of atoms (table_synthesis.cpp,
// table_build.cpp), with room to spare.
constexpr std::int64_t workingBytes = std::int64_t(8) << 20;

void refuse(const std::string& text) {
  throw Fault{faults::invalidValue, text};
}

void checkCrystal(const Crystal& crystal) {
  if (!describesCell(crystal.lattice))
    refuse("the lattice parameters describe no cell: give three positive edges and angles that "
           "enclose a volume");
  for (const SymOp& op : crystal.symOps)
    for (const SymOpRow& row : op.rows)
      if (!std::isfinite(row.translation))
        refuse("a translation of a symmetry operation is not a finite number");
  for (const Site& site : crystal.sites)
    for (double v : {site.charge, site.W, site.x, site.y, site.z})
      if (!std::isfinite(v))
        refuse("a charge, W or coordinate of site '" + site.label + "' is not a finite number");
}

// The crystal's charges as the Gaussian table takes them: the distinct images
// of the listed operations (the inverted companions are the table's own), as
// sites of weight 1 carrying the charge Z W times their multiplicity.
std::vector<Site> tableAtoms(const Crystal& crystal, const CellFrame& frame) {
  Crystal listed = crystal;
  listed.inversionAtOrigin = false;
  std::vector<Site> atoms;
  for (const AtomImage& atom : cellAtoms(listed, frame)) {
    if (atom.charge == 0) continue;
    const Position f = toFractional(frame, atom.r);
    atoms.push_back({crystal.sites[atom.site].label, atom.charge, 1.0, f.x, f.y, f.z});
  }
  return atoms;
}

std::string megabytes(std::int64_t bytes) {
  return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MiB (" + std::to_string(bytes) +
         " bytes)";
}

} // namespace

std::int64_t ewaldModelBytes(const Crystal& crystal, const EwaldParameters& parameters) {
  const CellGeometry g = buildCellGeometry(crystal.lattice, parameters.range);
  // In floating point, saturated: the figures of a hopeless request overflow.
  const double arrays = crystal.inversionAtOrigin ? 1 : 2;
  const double images = double(atomImageCount(crystal, parameters.cutoff));
  const double bins = std::max(images, 4096.0) + 1;
  // The images are generated, then sorted into the bins: twice at the peak.
  const double bytes = double(g.requiredEntries) * arrays * sizeof(double) +
                       images * sizeof(AtomImage) * 2 + bins * sizeof(std::int32_t) +
                       double(workingBytes);
  return bytes < 9.0e18 ? std::int64_t(bytes) : std::int64_t(9.0e18);
}

void checkEwaldInput(const Crystal& crystal, double tolerance, int threads) {
  if (!std::isfinite(tolerance) || !(tolerance > 0))
    refuse("the tolerance of the Gaussian method is " + std::to_string(tolerance) +
           " e/A: give a positive number such as 1e-8");
  if (threads < 0) refuse("the thread count is negative: give 0 for all cores, or a count");
  checkCrystal(crystal);
}

EwaldModel prepareEwald(const Crystal& crystal, double tolerance, int threads,
                        std::int64_t memoryLimitBytes, std::int64_t pointsPerCall) {
  checkEwaldInput(crystal, tolerance, threads);

  EwaldModel model;
  model.crystal = crystal;
  model.threads = threads;
  const CellFrame frame = cellFrame(buildCellGeometry(crystal.lattice, 0.0));
  const std::vector<AtomImage> atoms = cellAtoms(crystal, frame);
  const std::vector<Site> charges = tableAtoms(crystal, frame);

  EwaldWorkload work;
  const CellGeometry cell = buildCellGeometry(crystal.lattice, 0.0);
  work.volume = cell.volume;
  work.axisLength = 2 * cell.a + 2 * cell.b + cell.c;
  for (const AtomImage& atom : atoms) {
    work.squaredCharges += atom.charge * atom.charge;
    model.totalCharge += atom.charge;
  }
  work.cellAtoms = std::int64_t(atoms.size());
  work.tableAtoms = std::int64_t(charges.size());
  work.points = pointsPerCall > 0 ? pointsPerCall : std::int64_t(crystal.sites.size());
  model.parameters = chooseEwaldParameters(work, tolerance);

  const std::int64_t needed = ewaldModelBytes(crystal, model.parameters);
  if (needed > memoryLimitBytes) {
    // %g: a tolerance such as 1e-08 in fixed notation would read 0.000000.
    char tolerancePrinted[32];
    std::snprintf(tolerancePrinted, sizeof tolerancePrinted, "%g", tolerance);
    throw Fault{faults::outOfMemory, "the Gaussian method needs " + megabytes(needed) +
                                         " for this crystal at tolerance " + tolerancePrinted +
                                         " e/A, over the memory limit of " +
                                         megabytes(memoryLimitBytes) +
                                         ": raise the limit or loosen the tolerance"};
  }

  const EwaldParameters& p = model.parameters;
  model.geometry = buildCellGeometry(crystal.lattice, p.range);
  model.table = buildGaussianTable(model.geometry, p.alpha, p.range, crystal.inversionAtOrigin,
                                   charges, threads);
  for (const TableRow& row : model.table.rows)
    model.parameters.tableEntries += row.length();
  model.cells = buildAtomCells(crystal, p.cutoff);
  model.background = -pi * model.totalCharge / (p.alpha * p.alpha * work.volume);
  return model;
}

} // namespace telva
