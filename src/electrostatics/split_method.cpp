#include "electrostatics/split_method.hpp"

#include "crystal/atom_cells.hpp"
#include "electrostatics/ewald_model.hpp"
#include "electrostatics/pme_parameters.hpp"

namespace telva {

SplitMethod chooseSplitMethod(const Crystal& crystal, double tolerance,
                              std::int64_t pointsPerCall) {
  checkEwaldInput(crystal, tolerance, 0);
  const CellGeometry cell = buildCellGeometry(crystal.lattice, 0.0);
  const std::vector<AtomImage> atoms = cellAtoms(crystal, cellFrame(cell));
  if (std::int64_t(atoms.size()) < smallestMeshCell) return SplitMethod::direct;

  EwaldWorkload direct;
  PmeWorkload mesh;
  direct.volume = mesh.volume = cell.volume;
  direct.axisLength = 2 * cell.a + 2 * cell.b + cell.c;
  mesh.edges = {cell.a, cell.b, cell.c};
  std::int64_t charged = 0;
  for (const AtomImage& atom : atoms) {
    direct.squaredCharges += atom.charge * atom.charge;
    charged += atom.charge != 0;
  }
  mesh.squaredCharges = direct.squaredCharges;
  direct.cellAtoms = mesh.cellAtoms = std::int64_t(atoms.size());
  // The table takes the listed operations' images; the inversion its own.
  direct.tableAtoms = crystal.inversionAtOrigin ? (charged + 1) / 2 : charged;
  direct.points = mesh.points =
      pointsPerCall > 0 ? pointsPerCall : std::int64_t(crystal.sites.size());

  const EwaldParameters d = chooseEwaldParameters(direct, tolerance);
  const EwaldParameters m = choosePmeParameters(mesh, tolerance);
  return predictedPmeWork(mesh, m.cutoff, m.mesh, m.splineOrder) <
                 predictedWork(direct, d.cutoff, d.range)
             ? SplitMethod::mesh
             : SplitMethod::direct;
}

} // namespace telva
