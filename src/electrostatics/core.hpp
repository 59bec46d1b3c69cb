// clang-format off
// The computation core of TELVA: the crystal and its electrostatics, as plain
// structs and free functions that read and write nothing. Every front end (the
// listing program, the CIF converter, maps, the Python module) includes this
// header and nothing below it.
//
// The crystal
//   Crystal        crystal/crystal.hpp: lattice, operations, inversion flag, sites
//   Site, SymOp    crystal/site.hpp, crystal/sym_op.hpp
//   Position       crystal/position.hpp: a fractional point
//   CellGeometry   crystal/cell_geometry.hpp: both cells, metrics, index box
//   crystalDefect  crystal/crystal_check.hpp: values that make results meaningless
//
// The sphere method: each ionic charge smeared into a sphere of radius R, the
// reciprocal table of that density up to qmax, the smeared-versus-point
// difference removed in closed form
//   prepareSphere      electrostatics/sphere_model.hpp    table of a crystal for R and qmax
//   sitePotentials     electrostatics/site_potentials.hpp phi at every site, e/Angstrom
//   energyPerAsymmetricUnit                               0.5 sum Z W phi, e^2/Angstrom
//   evaluatePositions  electrostatics/positions.hpp       phiw, phic and neighbour at points
//   tablePotentials    electrostatics/table_synthesis.hpp P, the smeared charges' potential
//   sphereFormFactor, selfTerm, spherePotential: electrostatics/sphere_form_factor.hpp
//
// The Gaussian (Ewald) method: the converged potential of the point charges
// to an absolute tolerance, by a Gaussian split into a reciprocal table and a
// real-space sum over the atoms within a cutoff
//   prepareEwald        electrostatics/ewald_model.hpp: parameters, table, atom cells
//   ewaldSitePotentials electrostatics/ewald_sites.hpp: phi at every site, the energy
//   ewaldPoints         electrostatics/ewald_points.hpp: phic, phiw, nearest atom
//   ewaldRealSpace      the real-space part alone, added to a grid synthesis
//   AtomCells           crystal/atom_cells.hpp: every atom near a point
//
// The mesh method (smooth particle-mesh Ewald): the Gaussian method's split
// with the reciprocal half spread on a mesh, for cells of many atoms
//   preparePme          electrostatics/pme_model.hpp: parameters, mesh, atom cells
//   pmeSitePotentials   the Gaussian method's EwaldSites, mesh and order in its parameters
//   pmePoints           the Gaussian method's EwaldPoints
//   chooseSplitMethod   electrostatics/split_method.hpp: direct or mesh by predicted work
//
// Units: electrostatics/energy_units.hpp converts e^2/Angstrom to eV and MJ/mol
// (a potential in e/Angstrom times electronVoltsPerUnit is in volts).
//
// Limits: the listing program's capacities (operations, sites, table entries)
// are rules of its record formats and do not bind here; a computation whose
// stores would pass its memory limit (defaultMemoryLimit unless given) is
// refused before anything is allocated. Faults are thrown as telva::Fault.
//
// Threads: every function that takes `threads` (0: all cores) gives the same
// bits for every number of threads.
// clang-format on
#pragma once

#include "base/capacities.hpp"
#include "base/fault.hpp"
#include "crystal/cell_geometry.hpp"
#include "crystal/crystal.hpp"
#include "crystal/crystal_check.hpp"
#include "crystal/position.hpp"
#include "electrostatics/energy_units.hpp"
#include "electrostatics/ewald_model.hpp"
#include "electrostatics/ewald_points.hpp"
#include "electrostatics/ewald_sites.hpp"
#include "electrostatics/pme_model.hpp"
#include "electrostatics/positions.hpp"
#include "electrostatics/site_potentials.hpp"
#include "electrostatics/sphere_form_factor.hpp"
#include "electrostatics/sphere_model.hpp"
#include "electrostatics/split_method.hpp"
#include "electrostatics/table_synthesis.hpp"
