// telva._core: the binding of the computation core to Python. It converts
// Python values to the core's plain structs and back, releases the
// interpreter lock while the core computes, and turns the core's faults into
// Python exceptions in one place (translateFaults). The pure-Python package
// (python/telva) builds the public API on top of these functions.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "base/capacities.hpp"
#include "base/fault.hpp"
#include "base/version.hpp"
#include "cif/charges.hpp"
#include "cif/cif_reader.hpp"
#include "cif/conversion.hpp"
#include "cif/symmetry.hpp"
#include "crystal/cell_geometry.hpp"
#include "crystal/crystal.hpp"
#include "crystal/site_images.hpp"
#include "crystal/weight_fractions.hpp"
#include "electrostatics/core.hpp"
#include "electrostatics/energy_units.hpp"
#include "electrostatics/positions.hpp"
#include "electrostatics/site_potentials.hpp"
#include "electrostatics/truncation_estimate.hpp"
#include "listing/input_file.hpp"
#include "listing/stable_values.hpp"
#include "map/ewald_map.hpp"
#include "map/map_crystal.hpp"
#include "map/map_fault.hpp"
#include "map/map_file.hpp"
#include "map/map_writers.hpp"
#include "map/output_file.hpp"
#include "map/pme_map.hpp"
#include "map/potential_map.hpp"
#include "records/record_files.hpp"

namespace py = pybind11;

namespace telva {

// telva-order's ranking (order_binding.cpp).
void defineOrder(py::module_& m);

namespace {

// One operation as Python holds it: three rows (translation, code1, code2).
using OperationRows = std::array<std::tuple<double, int, int>, 3>;
// One site as Python hands it over: label, charge Z, weight W, x, y, z.
using SiteValues = std::tuple<std::string, double, double, double, double, double>;

SymOp toSymOp(const OperationRows& rows) {
  SymOp op;
  for (int i = 0; i < 3; ++i)
    op.rows[i] = {std::get<0>(rows[i]), std::get<1>(rows[i]), std::get<2>(rows[i])};
  return op;
}

OperationRows toRows(const SymOp& op) {
  OperationRows rows;
  for (int i = 0; i < 3; ++i)
    rows[i] = {op.rows[i].translation, op.rows[i].code1, op.rows[i].code2};
  return rows;
}

SiteValues toSiteValues(const Site& s) {
  return {s.label, s.charge, s.W, s.x, s.y, s.z};
}

std::vector<OperationRows> operationList(const std::vector<SymOp>& ops) {
  std::vector<OperationRows> out;
  for (const SymOp& op : ops)
    out.push_back(toRows(op));
  return out;
}

std::vector<SiteValues> siteList(const std::vector<Site>& sites) {
  std::vector<SiteValues> out;
  for (const Site& s : sites)
    out.push_back(toSiteValues(s));
  return out;
}

// The values of a crystal that no computation can use, refused with the texts
// the listing program gives for the same values in an input file; an axis
// code that names no axis besides, which a front end may be handed.
void checkCrystal(const Crystal& crystal) {
  if (const std::string defect = crystalDefect(crystal); !defect.empty())
    throw Fault{faults::invalidValue, defect};
  for (const SymOp& op : crystal.symOps)
    for (const SymOpRow& row : op.rows)
      for (AxisCode code : {row.code1, row.code2})
        if (code < -3 || code > 3)
          throw Fault{faults::invalidValue,
                      "axis code " + std::to_string(code) +
                          " of a symmetry operation names no axis: use 0 or +-1, +-2, +-3"};
}

// Sites handed over as arrays, for crystals too large for a list of tuples:
// charges Z and weights W of shape (n,), fractional coordinates of shape
// (n, 3), copied once into the core's sites (labels blank; no computation
// reads them). Python's Crystal builds one of these for every computation.
struct SiteTable {
  std::vector<Site> sites;
};

using DoubleArray = py::array_t<double, py::array::c_style | py::array::forcecast>;

SiteTable siteTable(const DoubleArray& charges, const DoubleArray& weights,
                    const DoubleArray& coordinates) {
  if (charges.ndim() != 1 || weights.ndim() != 1)
    throw Fault{faults::invalidValue, "charges and weights must be arrays of shape (n,)"};
  if (coordinates.ndim() != 2 || coordinates.shape(1) != 3)
    throw Fault{faults::invalidValue, "coordinates must be an array of shape (n, 3)"};
  const py::ssize_t n = charges.shape(0);
  if (weights.shape(0) != n || coordinates.shape(0) != n)
    throw Fault{faults::invalidValue,
                "charges, weights and coordinates must have one row per site: " +
                    std::to_string(n) + ", " + std::to_string(weights.shape(0)) + " and " +
                    std::to_string(coordinates.shape(0)) + " rows"};
  SiteTable table;
  table.sites.resize(static_cast<std::size_t>(n));
  const double* z = charges.data();
  const double* w = weights.data();
  const double* xyz = coordinates.data();
  for (py::ssize_t i = 0; i < n; ++i) {
    Site& s = table.sites[static_cast<std::size_t>(i)];
    s.charge = z[i];
    s.W = w[i];
    s.x = xyz[3 * i], s.y = xyz[3 * i + 1], s.z = xyz[3 * i + 2];
  }
  return table;
}

Crystal makeCrystal(const std::array<double, 6>& lattice,
                    const std::vector<OperationRows>& operations, bool inversion,
                    const SiteTable& sites) {
  Crystal crystal;
  crystal.lattice = lattice;
  for (const OperationRows& rows : operations)
    crystal.symOps.push_back(toSymOp(rows));
  crystal.inversionAtOrigin = inversion;
  crystal.sites = sites.sites;
  checkCrystal(crystal);
  return crystal;
}

Crystal makeCrystal(const std::array<double, 6>& lattice,
                    const std::vector<OperationRows>& operations, bool inversion,
                    const std::vector<SiteValues>& sites) {
  SiteTable table;
  for (const auto& [label, charge, w, x, y, z] : sites)
    table.sites.push_back({label, charge, w, x, y, z});
  return makeCrystal(lattice, operations, inversion, table);
}

// 0 for the machine's thread count, else the count asked for (1 to 256).
int threadArgument(std::optional<int> threads) {
  if (!threads) return 0;
  if (*threads < 1 || *threads > 256)
    throw Fault{faults::invalidValue,
                "threads must be a whole number from 1 to 256, not " + std::to_string(*threads)};
  return *threads;
}

py::dict readInput(const std::string& path) {
  InputFile input(openInputFile(path), path);
  const InputHead head = readHeadQuietly(input, false);
  std::vector<std::array<double, 3>> positions;
  while (const std::optional<Position> p = readPosition(input))
    positions.push_back({p->x, p->y, p->z});
  py::dict out;
  out["title"] = head.title;
  out["radius"] = head.radius;
  out["qmax"] = head.range;
  out["lattice"] = head.lattice;
  out["operations"] = operationList(head.symOps);
  out["inversion"] = head.inversionAtOrigin != 0;
  out["sites"] = siteList(head.sites);
  out["positions"] = positions;
  return out;
}

// The largest count the input file's three-column count fields hold.
constexpr std::size_t maxCountRecord = 999;

// The head of an input file held in memory.
InputHead readInputText(std::string text, const std::string& name) {
  std::FILE* stream = fmemopen(text.data(), text.size(), "rb");
  if (!stream) throw std::bad_alloc();
  InputFile input(stream, name);
  return readHeadQuietly(input, false);
}

py::dict convertCif(const std::string& path,
                    const std::vector<std::pair<std::string, double>>& charges, bool strict,
                    bool guessCharges, const std::string& block, std::optional<double> radius,
                    std::optional<double> qmax) {
  ConversionOptions options;
  for (const auto& [name, z] : charges) {
    // The name as --charge reads it ("Fe", "Fe1", "element:Fe", "label:Fe1").
    ChargeOverride charge = parseChargeAssignment(name + "=0");
    charge.charge = z;
    options.charges.push_back(charge);
  }
  options.strict = strict;
  options.guessCharges = guessCharges;
  options.block = block;
  options.radius = radius;
  options.qmax = qmax;
  options.listingCapacities = false;
  const Conversion conversion = convertCifFile(path, options);
  std::vector<double> occupancies;
  std::vector<std::string> elements;
  for (const WrittenRecord& r : conversion.records) {
    occupancies.push_back(r.occupancy);
    elements.push_back(r.element);
  }
  py::dict out;
  out["title"] = conversion.title;
  out["formula"] = conversion.formulaSum;
  out["formula_units"] = conversion.formulaUnitsZ;
  // The crystal as telva reads the written input file, so that the sphere
  // method gives the listing of telva-cif's output; the values themselves
  // when the file's three-column counts cannot hold them.
  Crystal read = conversion.crystal;
  double radiusRead = conversion.radius, qmaxRead = conversion.qmax;
  if (conversion.sites.size() <= maxCountRecord && conversion.symOps.size() <= maxCountRecord) {
    const InputHead head = readInputText(conversion.inputText, path);
    read = {head.lattice, head.symOps, head.inversionAtOrigin != 0, head.sites};
    radiusRead = head.radius;
    qmaxRead = head.range;
  }
  out["radius"] = radiusRead;
  out["qmax"] = qmaxRead;
  out["lattice"] = read.lattice;
  out["operations"] = operationList(read.symOps);
  out["inversion"] = read.inversionAtOrigin;
  out["group_order"] = conversion.groupOrder;
  out["sites"] = siteList(read.sites);
  out["multiplicities"] = conversion.multiplicities;
  out["occupancies"] = occupancies;
  out["elements"] = elements;
  out["net_charge"] = conversion.netCharge;
  out["warnings"] = conversion.warnings;
  std::vector<std::string> notes = conversion.notes;
  notes.insert(notes.end(), conversion.sphereNotes.begin(), conversion.sphereNotes.end());
  out["notes"] = notes;
  return out;
}

OperationRows operationRows(const std::string& text) {
  return toRows(toAxisCodeRows(parseTriplet(text)));
}

// The sphere method's computation: the crystal (owned, so that the model's
// pointer to it stays valid), the model, and the site potentials and energy
// as the listing gives them.
struct SphereComputation {
  std::unique_ptr<Crystal> crystal;
  SphereModel model;
  std::vector<double> potentials;
  double energy = 0; // per asymmetric unit, e^2/Angstrom
};

SphereComputation computeSphere(Crystal crystal, double radius, double qmax, int threads,
                                std::int64_t memoryLimit) {
  SphereComputation c;
  c.crystal = std::make_unique<Crystal>(std::move(crystal));
  c.model = prepareSphere(*c.crystal, radius, qmax, threads, memoryLimit);
  // The listing's values: where the production synthesis could print
  // otherwise, the term-by-term one.
  c.potentials = stableSitePotentials(c.model.table, c.model.geometry.volume, radius,
                                      c.crystal->sites, threads);
  c.energy = energyPerAsymmetricUnit(c.crystal->sites, c.potentials);
  for (double value : c.potentials)
    if (!std::isfinite(value)) throw Fault{faults::notFinite, notFiniteText};
  if (!std::isfinite(c.energy)) throw Fault{faults::notFinite, notFiniteText};
  return c;
}

std::vector<Position>
pointsFromArray(const py::array_t<double, py::array::c_style | py::array::forcecast>& points) {
  if (points.ndim() != 2 || points.shape(1) != 3)
    throw Fault{faults::invalidValue, "points must be an (n, 3) array of fractional coordinates"};
  std::vector<Position> out(points.shape(0));
  auto view = points.unchecked<2>();
  for (py::ssize_t i = 0; i < points.shape(0); ++i) {
    out[i] = {view(i, 0), view(i, 1), view(i, 2)};
    if (!std::isfinite(out[i].x) || !std::isfinite(out[i].y) || !std::isfinite(out[i].z))
      throw Fault{faults::invalidValue, "coordinates of a position must be finite numbers"};
  }
  return out;
}

// phiw, phic, the neighbour's site index (-1 for none) and its distance (NaN
// for none) of every point. A point whose potentials are not finite numbers
// (beyond the point charge itself at distance zero) is refused as the
// listing program refuses it.
py::tuple sphereAt(const SphereComputation& c,
                   const py::array_t<double, py::array::c_style | py::array::forcecast>& points,
                   std::optional<int> threads) {
  const std::vector<Position> positions = pointsFromArray(points);
  const int threadCap = threadArgument(threads);
  std::vector<PositionResult> results;
  {
    py::gil_scoped_release release;
    results = stablePositions(positionContext(c.model), positions, threadCap);
  }
  const py::ssize_t n = static_cast<py::ssize_t>(results.size());
  py::array_t<double> phiw(n), phic(n), distance(n);
  py::array_t<std::int64_t> neighbour(n);
  const bool anyImage = !c.crystal->sites.empty() && !c.crystal->symOps.empty();
  for (py::ssize_t i = 0; i < n; ++i) {
    const PositionResult& r = results[i];
    const bool found = r.neighbour.site >= 0;
    const bool onAtom = found && r.neighbour.inSphere && r.neighbour.distance < coincidenceDistance;
    if ((anyImage && !found) || !std::isfinite(r.phiw) ||
        !(std::isfinite(r.phic) || (onAtom && !std::isnan(r.phic))))
      throw Fault{faults::notFinite, notFiniteText};
    phiw.mutable_at(i) = r.phiw;
    phic.mutable_at(i) = r.phic;
    neighbour.mutable_at(i) = r.neighbour.site;
    distance.mutable_at(i) = found ? r.neighbour.distance : std::nan("");
  }
  return py::make_tuple(phiw, phic, neighbour, distance);
}

MapQuantity mapQuantity(const std::string& quantity, bool smearedAllowed) {
  if (quantity == "phic") return MapQuantity::phic;
  if (quantity == "phiw") return MapQuantity::phiw;
  if (quantity == "smeared" && smearedAllowed) return MapQuantity::smeared;
  throw Fault{faults::invalidValue, "quantity must be phic or phiw" +
                                        std::string(smearedAllowed ? " or smeared" : "") +
                                        ", not " + quantity};
}

py::array_t<double> mapArray(const PotentialMap& map, const std::array<int, 3>& shape) {
  for (double value : map.values)
    if (std::isnan(value)) throw Fault{faults::notFinite, notFiniteText};
  py::array_t<double> out({shape[0], shape[1], shape[2]});
  std::copy(map.values.begin(), map.values.end(), out.mutable_data());
  return out;
}

// One quantity of the sphere method at every node (i/n1, j/n2, k/n3), as
// telva-map computes it (a node on an atom holds phiw), shaped (n1, n2, n3).
py::array_t<double> sphereGrid(const SphereComputation& c, const std::array<int, 3>& shape,
                               const std::string& quantity, std::optional<int> threads) {
  const MapQuantity which = mapQuantity(quantity, true);
  const int threadCap = threadArgument(threads);
  PotentialMap map;
  {
    py::gil_scoped_release release;
    map = sphereMap(positionContext(c.model), {shape[0], shape[1], shape[2]}, which, threadCap);
  }
  return mapArray(map, shape);
}

// A map written as telva-map writes it, through its writers and a scratch
// file renamed over the target: `format` cube, xsf or ccp4, the values (in
// the grid's order, k fastest) already in their unit.
void writeMap(const std::string& path, const std::string& format, const std::string& title,
              const std::string& description, const std::array<double, 6>& lattice,
              const std::vector<OperationRows>& operations, bool inversion,
              const std::vector<SiteValues>& sites, const std::vector<std::string>& elements,
              const py::array_t<double, py::array::c_style | py::array::forcecast>& values) {
  if (format != "cube" && format != "xsf" && format != "ccp4")
    throw Fault{faults::invalidValue, "a map is written as cube, xsf or ccp4, not " + format};
  if (values.ndim() != 3) throw Fault{faults::invalidValue, "a map's values must be a 3-D array"};
  MapCrystal crystal;
  crystal.title = title;
  crystal.crystal = makeCrystal(lattice, operations, inversion, sites);
  crystal.elements = elements;
  const GridSize grid{static_cast<int>(values.shape(0)), static_cast<int>(values.shape(1)),
                      static_cast<int>(values.shape(2))};
  for (py::ssize_t n = 0; n < values.size(); ++n)
    if (!std::isfinite(values.data()[n]) ||
        (format == "ccp4" && std::abs(values.data()[n]) > FLT_MAX))
      throw Fault{faults::notFinite,
                  "a value of the map is not a finite number" +
                      std::string(format == "ccp4" ? " in single precision" : "") +
                      "; no file written"};
  const CellGeometry geometry = buildCellGeometry(crystal.crystal.lattice, 0);
  const MapFile file{crystal.title,
                     description,
                     geometry,
                     cartesianAxes(geometry),
                     cellAtoms(crystal, geometry),
                     grid,
                     std::span<const double>(values.data(), values.size())};
  try {
    OutputFile output(path);
    if (format == "cube") writeCube(output.stream(), file);
    if (format == "xsf") writeXsf(output.stream(), file);
    if (format == "ccp4") writeCcp4(output.stream(), file);
    output.close();
    output.commit();
  } catch (const Fault& fault) {
    // The map's own number for a file it cannot write is the write fault here.
    if (fault.number == mapFaults::output) throw Fault{faults::writeFailure, fault.text};
    throw;
  }
}

// Either split method's computation: the model (the direct table or the
// mesh, each holding its own copy of the crystal) and the site potentials
// and energy.
template <class Model> struct SplitComputation {
  Model model;
  EwaldSites sites;
};
using EwaldComputation = SplitComputation<EwaldModel>;
using PmeComputation = SplitComputation<PmeModel>;

// Each method's kernels under one name, so that the computation, its points
// and its grid are written once for both.
EwaldSites splitSites(const EwaldModel& m) {
  return ewaldSitePotentials(m);
}
EwaldSites splitSites(const PmeModel& m) {
  return pmeSitePotentials(m);
}
EwaldPoints splitPoints(const EwaldModel& m, const std::vector<Position>& p) {
  return ewaldPoints(m, p);
}
EwaldPoints splitPoints(const PmeModel& m, const std::vector<Position>& p) {
  return pmePoints(m, p);
}
PotentialMap splitMap(const EwaldModel& m, const GridSize& g, MapQuantity q) {
  return ewaldMap(m, g, q);
}
PotentialMap splitMap(const PmeModel& m, const GridSize& g, MapQuantity q) {
  return pmeMap(m, g, q);
}

// Either split method's sites, refused when a value is not finite.
void checkSitesFinite(const EwaldSites& sites) {
  for (double value : sites.potentials)
    if (!std::isfinite(value)) throw Fault{faults::notFinite, notFiniteText};
  if (!std::isfinite(sites.energy)) throw Fault{faults::notFinite, notFiniteText};
}

// Either split method's points as (phiw, phic, neighbour, distance) arrays.
py::tuple pointsTuple(const EwaldPoints& results) {
  const py::ssize_t n = static_cast<py::ssize_t>(results.points.size());
  py::array_t<double> phiw(n), phic(n), distance(n);
  py::array_t<std::int64_t> neighbour(n);
  for (py::ssize_t i = 0; i < n; ++i) {
    const EwaldPoint& r = results.points[i];
    if (!std::isfinite(r.phiw) || std::isnan(r.phic)) throw Fault{faults::notFinite, notFiniteText};
    phiw.mutable_at(i) = r.phiw;
    phic.mutable_at(i) = r.phic;
    neighbour.mutable_at(i) = r.site;
    distance.mutable_at(i) = r.site >= 0 ? r.distance : std::nan("");
  }
  return py::make_tuple(phiw, phic, neighbour, distance);
}

template <class Model> SplitComputation<Model> splitComputation(Model model) {
  SplitComputation<Model> c;
  c.model = std::move(model);
  c.sites = splitSites(c.model);
  checkSitesFinite(c.sites);
  return c;
}

EwaldComputation computeEwald(const Crystal& crystal, double tolerance, int threads,
                              std::int64_t memoryLimit) {
  return splitComputation(prepareEwald(crystal, tolerance, threads, memoryLimit));
}

PmeComputation computePme(const Crystal& crystal, double tolerance, int threads,
                          std::int64_t memoryLimit) {
  return splitComputation(preparePme(crystal, tolerance, threads, memoryLimit));
}

// As sphereAt, by a split method: the neighbour is the nearest atom, and on
// an atom phic is the point charge's own infinity.
template <class Model>
py::tuple splitAt(const SplitComputation<Model>& c,
                  const py::array_t<double, py::array::c_style | py::array::forcecast>& points) {
  const std::vector<Position> positions = pointsFromArray(points);
  EwaldPoints results;
  {
    py::gil_scoped_release release;
    results = splitPoints(c.model, positions);
  }
  return pointsTuple(results);
}

// The same on a grid, as telva-map computes it (the mesh interpolated); the
// model's thread count serves.
template <class Model>
py::array_t<double> splitGrid(const SplitComputation<Model>& c, const std::array<int, 3>& shape,
                              const std::string& quantity) {
  const MapQuantity which = mapQuantity(quantity, false);
  PotentialMap map;
  {
    py::gil_scoped_release release;
    map = splitMap(c.model, {shape[0], shape[1], shape[2]}, which);
  }
  return mapArray(map, shape);
}

// What both split methods' computations give Python: the energy, the site
// potentials, the parameters shared by both, and points and grids.
template <class Model>
py::class_<SplitComputation<Model>> bindSplitComputation(py::module_& m, const char* name,
                                                         const char* doc, const char* gridDoc) {
  using C = SplitComputation<Model>;
  py::class_<C> bound(m, name, doc);
  bound.def_property_readonly("energy", [](const C& c) { return c.sites.energy; })
      .def_property_readonly("site_potentials",
                             [](const C& c) {
                               return py::array_t<double>(c.sites.potentials.size(),
                                                          c.sites.potentials.data());
                             })
      .def_property_readonly("alpha", [](const C& c) { return c.model.parameters.alpha; })
      .def_property_readonly("cutoff", [](const C& c) { return c.model.parameters.cutoff; })
      .def_property_readonly("tolerance", [](const C& c) { return c.model.parameters.tolerance; })
      .def_property_readonly("estimate", [](const C& c) { return c.model.parameters.estimate(); })
      .def(
          "at",
          [](const C& c,
             const py::array_t<double, py::array::c_style | py::array::forcecast>& points,
             std::optional<int> threads) {
            threadArgument(threads); // checked; the model's own count is used
            return splitAt(c, points);
          },
          py::arg("points"), py::arg("threads") = py::none(),
          "(phiw, phic, neighbour, distance) at fractional points of shape (n, 3).")
      .def(
          "grid",
          [](const C& c, const std::array<int, 3>& shape, const std::string& quantity,
             std::optional<int> threads) {
            threadArgument(threads); // checked; the model's own count is used
            return splitGrid(c, shape, quantity);
          },
          py::arg("shape"), py::arg("quantity"), py::arg("threads") = py::none(), gridDoc);
  return bound;
}

// compute_ewald or compute_pme for one form of the sites (a list of site
// values, or a SiteTable of arrays).
template <class Sites, class Compute>
void defineSplitCompute(py::module_& m, const char* name, Compute compute, const char* doc) {
  m.def(
      name,
      [compute](const std::array<double, 6>& lattice, const std::vector<OperationRows>& operations,
                bool inversion, const Sites& sites, double tolerance, std::optional<int> threads,
                std::optional<std::int64_t> maxMemory) {
        const Crystal crystal = makeCrystal(lattice, operations, inversion, sites);
        const int threadCap = threadArgument(threads);
        const std::int64_t limit = maxMemory ? *maxMemory : defaultMemoryLimit;
        py::gil_scoped_release release;
        return compute(crystal, tolerance, threadCap, limit);
      },
      py::arg("lattice"), py::arg("operations"), py::arg("inversion"), py::arg("sites"),
      py::arg("tolerance"), py::arg("threads") = py::none(), py::arg("max_memory") = py::none(),
      doc);
}

// Every fault of the core as the Python exception that fits it, with the
// program's text.
void translateFaults(std::exception_ptr thrown, PyObject* conversionError,
                     PyObject* memoryLimitError) {
  try {
    if (thrown) std::rethrow_exception(thrown);
  } catch (const Fault& fault) {
    switch (fault.number) {
    case faults::fileNotFound:
      PyErr_SetString(PyExc_FileNotFoundError, fault.text.c_str());
      break;
    case faults::openFailure:
    case faults::writeFailure:
      PyErr_SetString(PyExc_OSError, fault.text.c_str());
      break;
    case faults::outOfMemory:
      PyErr_SetString(memoryLimitError, fault.text.c_str());
      break;
    default:
      PyErr_SetString(PyExc_ValueError, fault.text.c_str());
    }
  } catch (const CifError& error) {
    PyErr_SetString(conversionError, error.what());
  } catch (const std::length_error&) {
    PyErr_SetString(PyExc_MemoryError, "insufficient memory");
  } catch (const std::system_error& error) {
    PyErr_SetString(PyExc_OSError, error.what());
  }
}

} // namespace

} // namespace telva

PYBIND11_MODULE(_core, m) {
  using namespace telva;
  m.doc() = "The compiled core of telva: crystals in, potentials out. Use the telva package.";
  m.attr("__version__") = version;

  // ConversionError: what telva-cif refuses, a ValueError. MemoryLimitError: a
  // table beyond the memory limit, both a ValueError and a MemoryError.
  // Both live as long as the interpreter; they are never released.
  static PyObject* conversionError = PyErr_NewExceptionWithDoc(
      "telva._core.ConversionError",
      "A CIF that cannot be converted; str() is telva-cif's message.", PyExc_ValueError, nullptr);
  py::tuple memoryBases =
      py::make_tuple(py::handle(PyExc_ValueError), py::handle(PyExc_MemoryError));
  static PyObject* memoryLimitError = PyErr_NewExceptionWithDoc(
      "telva._core.MemoryLimitError",
      "A computation refused before allocating: it would take more memory than allowed.",
      memoryBases.ptr(), nullptr);
  if (!conversionError || !memoryLimitError) throw py::error_already_set();
  m.attr("ConversionError") = py::handle(conversionError);
  m.attr("MemoryLimitError") = py::handle(memoryLimitError);
  py::register_exception_translator([](std::exception_ptr thrown) {
    translateFaults(thrown, conversionError, memoryLimitError);
  });

  m.attr("ELECTRON_VOLTS_PER_UNIT") = electronVoltsPerUnit;
  m.attr("MEGAJOULES_PER_MOLE_PER_UNIT") = megajoulesPerMolePerUnit;
  m.attr("MEMORY_LIMIT") = defaultMemoryLimit;
  m.attr("DEFAULT_TABLE_LIMIT") = defaultTableLimit;
  m.attr("DEFAULT_CIF_TOLERANCE") = ConversionOptions{}.tolerance;
  m.attr("RADIUS_FRACTION") = radiusFraction;
  m.attr("SAME_POINT_TOLERANCE") = samePointToleranceA;
  m.attr("NEUTRALITY_TOLERANCE") = neutralityTolerance;
  m.attr("NOT_FINITE_TEXT") = notFiniteText;

  m.def("read_input", &readInput, py::arg("path"),
        "The head and position records of a TELVA input file, as a dict of plain values.");
  m.def(
      "weights_as_group_fractions",
      [](std::vector<double> weights, int order) {
        for (double& w : weights)
          w = weightAsGroupFraction(w, order).value_or(w);
        return weights;
      },
      py::arg("weights"), py::arg("group_order"),
      "Each W as the k/group_order its nine-column field rounds, where it rounds one.");
  m.def("convert_cif", &convertCif, py::arg("path"), py::arg("charges"), py::arg("strict"),
        py::arg("guess_charges") = false, py::arg("block") = "", py::arg("radius") = py::none(),
        py::arg("qmax") = py::none(),
        "telva-cif's conversion of a CIF, as a dict of plain values.");
  m.def("qmax_for_tolerance", &qmaxForTolerance, py::arg("charge"), py::arg("radius"),
        py::arg("tolerance"),
        "The range whose truncation estimate for a charge meets the tolerance (telva-cif's "
        "default).");
  m.def(
      "operation_rows", &operationRows, py::arg("text"),
      "The three AxisCode rows (translation, code1, code2) of an operation such as '-y,x,z+1/2'.");
  m.def(
      "check_crystal",
      [](const std::array<double, 6>& lattice, const std::vector<OperationRows>& operations,
         bool inversion, const std::vector<SiteValues>& sites) {
        makeCrystal(lattice, operations, inversion, sites);
      },
      py::arg("lattice"), py::arg("operations"), py::arg("inversion"), py::arg("sites"),
      "Raises ValueError for values no computation can use.");
  m.def(
      "site_geometry",
      [](const std::array<double, 6>& lattice, const std::vector<OperationRows>& operations,
         bool inversion, const std::vector<SiteValues>& sites) {
        const Crystal crystal = makeCrystal(lattice, operations, inversion, sites);
        const SiteGeometry geometry = siteGeometry(crystal, samePointToleranceA);
        return py::make_tuple(geometry.multiplicities, geometry.closest.distance);
      },
      py::arg("lattice"), py::arg("operations"), py::arg("inversion"), py::arg("sites"),
      "(multiplicities, closest): each site's distinct atoms in the cell (images within "
      "SAME_POINT_TOLERANCE count once), and the shortest distance between charged atoms at "
      "different positions (inf when there is none).");
  m.def("write_map", &writeMap, py::arg("path"), py::arg("format"), py::arg("title"),
        py::arg("description"), py::arg("lattice"), py::arg("operations"), py::arg("inversion"),
        py::arg("sites"), py::arg("elements"), py::arg("values"),
        "Writes a map as telva-map does (cube, xsf or ccp4), whole or not at all.");
  m.def("largest_qmax", &largestRange, py::arg("lattice"), py::arg("limit"),
        "The largest qmax whose table for these lattice parameters holds at most `limit` "
        "entries.");
  m.def(
      "cell_volume",
      [](const std::array<double, 6>& lattice) {
        if (!describesCell(lattice))
          throw Fault{faults::invalidValue, "lattice parameters describe no cell"};
        return buildCellGeometry(lattice, 0).volume;
      },
      py::arg("lattice"), "The volume of the cell in Angstrom^3.");

  m.def(
      "cell_parameters",
      [](const std::array<double, 6>& lattice) {
        if (!describesCell(lattice))
          throw Fault{faults::invalidValue, "lattice parameters describe no cell"};
        const CellGeometry g = buildCellGeometry(lattice, 0);
        const double degree = 180 / 3.141592653589793;
        return std::array<double, 6>{g.a,
                                     g.b,
                                     g.c,
                                     std::acos(g.cosAlpha) * degree,
                                     std::acos(g.cosBeta) * degree,
                                     std::acos(g.cosGamma) * degree};
      },
      py::arg("lattice"),
      "a, b, c in Angstrom and alpha, beta, gamma in degrees of lattice parameters in any "
      "of the input file's forms.");

  py::class_<SphereComputation>(m, "SphereComputation",
                                "The sphere method's table, site potentials and energy.")
      .def_property_readonly("radius", [](const SphereComputation& c) { return c.model.radius; })
      .def_property_readonly("qmax", [](const SphereComputation& c) { return c.model.range; })
      .def_readonly("energy", &SphereComputation::energy)
      .def_property_readonly(
          "table_entries",
          [](const SphereComputation& c) { return c.model.geometry.requiredEntries; })
      .def_property_readonly("volume",
                             [](const SphereComputation& c) { return c.model.geometry.volume; })
      .def_property_readonly("site_potentials",
                             [](const SphereComputation& c) {
                               return py::array_t<double>(c.potentials.size(), c.potentials.data());
                             })
      .def("grid", &sphereGrid, py::arg("shape"), py::arg("quantity"),
           py::arg("threads") = py::none(),
           "One quantity (phic, phiw, smeared) at the nodes of a grid, as telva-map gives it.")
      .def("at", &sphereAt, py::arg("points"), py::arg("threads") = py::none(),
           "(phiw, phic, neighbour, distance) at fractional points of shape (n, 3).");

  bindSplitComputation<EwaldModel>(m, "EwaldComputation",
                                   "The Gaussian method's model, site potentials and energy.",
                                   "phic or phiw at the nodes of a grid, as telva-map gives it.")
      .def_property_readonly("range",
                             [](const EwaldComputation& c) { return c.model.parameters.range; })
      .def_property_readonly("table_entries", [](const EwaldComputation& c) {
        return c.model.parameters.tableEntries;
      });

  defineSplitCompute<std::vector<SiteValues>>(
      m, "compute_ewald", computeEwald,
      "The Gaussian method's computation: converged point-charge potentials within tolerance.");

  bindSplitComputation<PmeModel>(m, "PmeComputation",
                                 "The mesh method's model, site potentials and energy.",
                                 "phic or phiw at the nodes of a grid, the mesh interpolated.")
      .def_property_readonly("mesh",
                             [](const PmeComputation& c) { return c.model.parameters.mesh; })
      .def_property_readonly("spline_order",
                             [](const PmeComputation& c) { return c.model.parameters.splineOrder; })
      .def_property_readonly("table_entries", [](const PmeComputation&) { return 0; });

  defineSplitCompute<std::vector<SiteValues>>(
      m, "compute_pme", computePme,
      "The mesh method's computation: converged point-charge potentials within tolerance.");

  m.def(
      "split_method",
      [](const std::array<double, 6>& lattice, const std::vector<OperationRows>& operations,
         bool inversion, const std::vector<SiteValues>& sites, double tolerance) {
        const Crystal crystal = makeCrystal(lattice, operations, inversion, sites);
        py::gil_scoped_release release;
        return chooseSplitMethod(crystal, tolerance) == SplitMethod::mesh ? std::string("pme")
                                                                          : std::string("ewald");
      },
      py::arg("lattice"), py::arg("operations"), py::arg("inversion"), py::arg("sites"),
      py::arg("tolerance"),
      "'ewald' or 'pme': the method of the least predicted work for this crystal and tolerance.");

  m.def(
      "compute_sphere",
      [](const std::array<double, 6>& lattice, const std::vector<OperationRows>& operations,
         bool inversion, const std::vector<SiteValues>& sites, double radius, double qmax,
         std::optional<int> threads, std::optional<std::int64_t> maxMemory) {
        Crystal crystal = makeCrystal(lattice, operations, inversion, sites);
        const int threadCap = threadArgument(threads);
        const std::int64_t limit = maxMemory ? *maxMemory : defaultMemoryLimit;
        py::gil_scoped_release release;
        return computeSphere(std::move(crystal), radius, qmax, threadCap, limit);
      },
      py::arg("lattice"), py::arg("operations"), py::arg("inversion"), py::arg("sites"),
      py::arg("radius"), py::arg("qmax"), py::arg("threads") = py::none(),
      py::arg("max_memory") = py::none(),
      "The sphere method's computation, with the listing program's numbers.");

  defineOrder(m);
  // The same calls with the sites as a SiteTable of arrays: no Python object
  // per site, for cells of a million atoms.
  py::class_<SiteTable>(m, "SiteTable",
                        "Sites as arrays: charges (n,), weights (n,), coordinates (n, 3).")
      .def(py::init(&siteTable), py::arg("charges"), py::arg("weights"), py::arg("coordinates"))
      .def("__len__", [](const SiteTable& t) { return t.sites.size(); });
  m.def(
      "check_crystal",
      [](const std::array<double, 6>& lattice, const std::vector<OperationRows>& operations,
         bool inversion,
         const SiteTable& sites) { makeCrystal(lattice, operations, inversion, sites); },
      py::arg("lattice"), py::arg("operations"), py::arg("inversion"), py::arg("sites"));
  m.def(
      "site_geometry",
      [](const std::array<double, 6>& lattice, const std::vector<OperationRows>& operations,
         bool inversion, const SiteTable& sites) {
        SiteGeometry geometry;
        {
          py::gil_scoped_release release;
          geometry =
              siteGeometry(makeCrystal(lattice, operations, inversion, sites), samePointToleranceA);
        }
        py::array_t<std::int64_t> multiplicities(
            static_cast<py::ssize_t>(geometry.multiplicities.size()));
        std::copy(geometry.multiplicities.begin(), geometry.multiplicities.end(),
                  multiplicities.mutable_data());
        return py::make_tuple(multiplicities, geometry.closest.distance);
      },
      py::arg("lattice"), py::arg("operations"), py::arg("inversion"), py::arg("sites"));
  defineSplitCompute<SiteTable>(
      m, "compute_ewald", computeEwald,
      "The Gaussian method's computation: converged point-charge potentials within tolerance.");
  m.def(
      "compute_sphere",
      [](const std::array<double, 6>& lattice, const std::vector<OperationRows>& operations,
         bool inversion, const SiteTable& sites, double radius, double qmax,
         std::optional<int> threads, std::optional<std::int64_t> maxMemory) {
        const int threadCap = threadArgument(threads);
        const std::int64_t limit = maxMemory ? *maxMemory : defaultMemoryLimit;
        py::gil_scoped_release release;
        return computeSphere(makeCrystal(lattice, operations, inversion, sites), radius, qmax,
                             threadCap, limit);
      },
      py::arg("lattice"), py::arg("operations"), py::arg("inversion"), py::arg("sites"),
      py::arg("radius"), py::arg("qmax"), py::arg("threads") = py::none(),
      py::arg("max_memory") = py::none());
  defineSplitCompute<SiteTable>(
      m, "compute_pme", computePme,
      "The mesh method's computation: converged point-charge potentials within tolerance.");
  m.def(
      "split_method",
      [](const std::array<double, 6>& lattice, const std::vector<OperationRows>& operations,
         bool inversion, const SiteTable& sites, double tolerance) {
        py::gil_scoped_release release;
        return chooseSplitMethod(makeCrystal(lattice, operations, inversion, sites), tolerance) ==
                       SplitMethod::mesh
                   ? std::string("pme")
                   : std::string("ewald");
      },
      py::arg("lattice"), py::arg("operations"), py::arg("inversion"), py::arg("sites"),
      py::arg("tolerance"));
}
