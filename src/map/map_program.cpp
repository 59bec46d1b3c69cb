#include "map/map_program.hpp"

#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <sstream>

#include "base/parallel.hpp"
#include "base/version.hpp"
#include "crystal/cell_geometry.hpp"
#include "crystal/weight_fractions.hpp"
#include "electrostatics/energy_units.hpp"
#include "electrostatics/ewald_model.hpp"
#include "electrostatics/pme_model.hpp"
#include "electrostatics/sphere_model.hpp"
#include "electrostatics/split_method.hpp"
#include "map/ewald_map.hpp"
#include "map/map_arguments.hpp"
#include "map/map_extremes.hpp"
#include "map/map_fault.hpp"
#include "map/map_input.hpp"
#include "map/map_writers.hpp"
#include "map/output_file.hpp"
#include "map/pme_map.hpp"
#include "map/slice_picture.hpp"

namespace telva {

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string fixed(double value, int decimals) {
  std::ostringstream text;
  text.setf(std::ios::fixed);
  text.precision(decimals);
  text << value;
  return text.str();
}

// A value of the map: six decimals, or six significant digits with an
// exponent when it is too large or too small for those to tell.
std::string valueText(double value) {
  if (value != 0 && (std::abs(value) >= 1e6 || std::abs(value) < 1e-3)) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6e", value);
    return text;
  }
  return fixed(value, 6);
}

std::string megabytes(double bytes) {
  return fixed(bytes / (1024.0 * 1024.0), 1) + " MB";
}

// A line on a terminal that tells how far the map has come, once the work
// has taken a second; rewritten at most five times a second.
struct ProgressLine {
  ProgressLine(std::ostream& stream, bool terminal) : err(stream), enabled(terminal) {}
  std::ostream& err;
  bool enabled;
  Clock::time_point start = Clock::now();
  Clock::time_point last = start;
  std::mutex lock;
  bool shown = false;

  void update(int done, int total) {
    if (!enabled || total <= 0) return;
    std::lock_guard<std::mutex> guard(lock);
    const Clock::time_point now = Clock::now();
    if (now - start < std::chrono::seconds(1) || now - last < std::chrono::milliseconds(200))
      return;
    last = now;
    shown = true;
    err << "\rtelva-map: computing the map, " << (100 * done / total) << "% " << std::flush;
  }
  void clear() {
    if (shown) err << "\r" << std::string(40, ' ') << "\r" << std::flush;
    shown = false;
  }
};

// The memory a map takes at its peak: the table, the values, the threads'
// scratch, and a single-precision copy for a CCP4 file.
struct MemoryEstimate {
  double table = 0, grid = 0, scratch = 0, copy = 0;
  double total() const { return (table + grid + scratch + copy) * 1.1; }
};

MemoryEstimate estimateMemory(const CellGeometry& g, bool sineTable, const GridSize& grid,
                              int threads, bool ccp4) {
  MemoryEstimate m;
  m.table = double(g.requiredEntries) * sizeof(double) * (sineTable ? 2 : 1);
  m.grid = double(grid.nodes()) * sizeof(double);
  m.scratch = double(gridScratchBytes(g.hmax, g.kmax, grid)) * threads;
  if (ccp4) m.copy = double(grid.nodes()) * sizeof(float);
  return m;
}

int mapThreads(const MapArguments& a) {
  return a.threads > 0 ? a.threads : threadCount();
}

std::string nodeText(const GridSize& g, std::size_t node) {
  const int k = int(node % g.n3), j = int(node / g.n3 % g.n2), i = int(node / g.n3 / g.n2);
  std::string text = "(";
  text += fixed(double(i) / g.n1, 4);
  text += ", ";
  text += fixed(double(j) / g.n2, 4);
  text += ", ";
  text += fixed(double(k) / g.n3, 4);
  text += ")";
  return text;
}

// What the reported extremes leave out.
std::string extremesScope(const MapExtremes& e) {
  const std::string within = fixed(extremeAtomDistance, 1) + " A of an atom";
  if (e.allNearAtoms) return " (of every node: each lies within " + within + ")";
  return ", leaving out the " + std::to_string(e.nodesLeftOut) + " nodes within " + within;
}

int runMapFaulting(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   bool errIsTerminal) {
  const Clock::time_point start = Clock::now();
  const MapArguments a = parseMapArguments(args);
  if (a.help) {
    out << mapUsage;
    return 0;
  }
  if (a.version) {
    out << versionLine("telva-map");
    return 0;
  }
  const MapCrystal crystal =
      isCifPath(a.input) ? readCifCrystal(a.input, a.conversion, err, a.method == MapMethod::sphere)
                         : readInputFileCrystal(a.input);
  const CellGeometry geometry = buildCellGeometry(crystal.crystal.lattice, crystal.range);
  const GridSize grid = a.grid ? *a.grid
                               : gridForSpacing(geometry.a, geometry.b, geometry.c,
                                                a.spacing.value_or(defaultSpacing));
  const int threads = mapThreads(a);

  // Refused before anything is allocated.
  const bool sphere = a.method == MapMethod::sphere;
  MemoryEstimate memory =
      estimateMemory(geometry, !crystal.crystal.inversionAtOrigin, grid, threads, !a.ccp4.empty());
  // The Gaussian method's table is sized by its own range, checked when it
  // is prepared against what the grid leaves of the limit.
  if (!sphere) memory.table = memory.scratch = 0;
  if (memory.total() > double(a.maxMemory))
    throw Fault{mapFaults::memory,
                "the map needs " + megabytes(memory.total()) + " (table " +
                    megabytes(memory.table) + ", grid of " + std::to_string(grid.nodes()) +
                    " nodes " + megabytes(memory.grid) + "), above the limit of " +
                    megabytes(double(a.maxMemory)) + "; raise it with --max-memory " +
                    std::to_string(std::uint64_t(std::ceil(memory.total() / (1 << 20)))) +
                    "M or choose a coarser grid"};

  // Every output is taken before the work starts, so that one that cannot be
  // written is told at once; none is renamed into place before all are done.
  std::vector<std::unique_ptr<OutputFile>> outputs;
  auto take = [&](const std::string& path) -> OutputFile* {
    if (path.empty()) return nullptr;
    outputs.push_back(std::make_unique<OutputFile>(path));
    return outputs.back().get();
  };
  OutputFile* cube = take(a.cube);
  OutputFile* xsf = take(a.xsf);
  OutputFile* ccp4 = take(a.ccp4);
  OutputFile* png = take(a.png);

  // The Gaussian method takes each W as the k/N its nine digits stand for;
  // the sphere method keeps W as read, as the listing does.
  Crystal gaussian = crystal.crystal;
  if (!sphere)
    if (const int snapped = snapWeightsToGroupOrder(gaussian))
      err << "telva-map: the Gaussian method takes W of " << snapped
          << (snapped == 1 ? " site" : " sites") << " as k/" << groupOrder(gaussian)
          << ", the fraction the written digits round\n";

  // A split method's memory refusal, told with the grid's share.
  auto besideTheGrid = [&](const Fault& fault) {
    if (fault.number != faults::outOfMemory) return fault;
    return Fault{mapFaults::memory, fault.text + ", beside the grid of " +
                                        megabytes(memory.total()) +
                                        "; raise the limit with --max-memory or choose a "
                                        "coarser grid or a larger --tolerance"};
  };
  ProgressLine progress(err, errIsTerminal);
  const GridProgress onProgress = [&](int done, int total) { progress.update(done, total); };
  PotentialMap map;
  std::string methodText;
  if (sphere) {
    const SphereModel model = prepareSphere(crystal.crystal, crystal.radius, crystal.range, threads,
                                            static_cast<std::int64_t>(a.maxMemory));
    map = sphereMap(positionContext(model), grid, a.quantity, threads, onProgress);
    methodText = "sphere method, R " + fixed(crystal.radius, 2) + " A, qmax " +
                 fixed(crystal.range, 2) + " 1/A, " +
                 std::to_string(model.geometry.requiredEntries) + " table entries";
  } else if (const double tolerance = a.tolerance.value_or(defaultEwaldTolerance);
             a.method == MapMethod::pme ||
             (a.method == MapMethod::automatic &&
              chooseSplitMethod(gaussian, tolerance, static_cast<std::int64_t>(grid.nodes())) ==
                  SplitMethod::mesh)) {
    const double left = double(a.maxMemory) - memory.total();
    PmeModel model;
    try {
      model =
          preparePme(gaussian, tolerance, threads, static_cast<std::int64_t>(std::max(left, 0.0)),
                     static_cast<std::int64_t>(grid.nodes()));
    } catch (const Fault& fault) {
      throw besideTheGrid(fault);
    }
    map = pmeMap(model, grid, a.quantity, onProgress);
    const EwaldParameters& p = model.parameters;
    std::ostringstream text;
    text << "pme method, tolerance " << p.tolerance << " e/A: alpha " << fixed(p.alpha, 4)
         << " 1/A, rc " << fixed(p.cutoff, 3) << " A, mesh " << p.mesh[0] << " x " << p.mesh[1]
         << " x " << p.mesh[2] << ", B-splines of order " << p.splineOrder << ", estimate "
         << p.estimate() << " e/A";
    methodText = text.str();
  } else {
    const double left = double(a.maxMemory) - memory.total();
    const auto nodes = static_cast<std::int64_t>(grid.nodes());
    EwaldModel model;
    try {
      model = prepareEwald(gaussian, a.tolerance.value_or(defaultEwaldTolerance), threads,
                           static_cast<std::int64_t>(std::max(left, 0.0)), nodes);
    } catch (const Fault& fault) {
      throw besideTheGrid(fault);
    }
    map = ewaldMap(model, grid, a.quantity, onProgress);
    const EwaldParameters& p = model.parameters;
    std::ostringstream text;
    text << "ewald method, tolerance " << p.tolerance << " e/A: alpha " << fixed(p.alpha, 4)
         << " 1/A, rc " << fixed(p.cutoff, 3) << " A, qmax " << fixed(p.range, 3) << " 1/A, "
         << p.tableEntries << " table entries, estimate " << p.estimate() << " e/A";
    methodText = text.str();
  }
  progress.clear();

  // Values in the unit asked for; none may be infinite or NaN, nor, in a
  // CCP4 file, beyond single precision.
  const bool volts = a.unit == MapUnit::volts;
  const std::string unit = volts ? "V" : "e/A";
  for (std::size_t n = 0; n < map.values.size(); ++n) {
    double& v = map.values[n];
    if (volts) v *= electronVoltsPerUnit;
    if (!std::isfinite(v) || (ccp4 && std::abs(v) > FLT_MAX))
      throw Fault{mapFaults::notFinite,
                  "the map's " + std::string(quantityName(a.quantity)) + " at node " +
                      nodeText(grid, n) + " is not a finite number" +
                      (std::isfinite(v) ? " in single precision" : "") +
                      ": a value of the input is too large or too small; no file written"};
  }
  const MapExtremes extremes = mapExtremes(crystal.crystal, grid, map.values);

  MapFile file{crystal.title,
               std::string(quantityName(a.quantity)) + " in " + unit,
               geometry,
               cartesianAxes(geometry),
               cellAtoms(crystal, geometry),
               grid,
               map.values};
  if (cube) writeCube(cube->stream(), file);
  if (xsf) writeXsf(xsf->stream(), file);
  if (ccp4) writeCcp4(ccp4->stream(), file);
  if (png)
    writeSlicePng(png->stream(), file, *a.slice, crystal.radius, unit, a.range, crystal.heading);
  for (auto& output : outputs)
    output->close();
  for (auto& output : outputs)
    output->commit();

  err << "telva-map: " << crystal.title << '\n';
  err << "telva-map: grid " << grid.n1 << " x " << grid.n2 << " x " << grid.n3 << " ("
      << grid.nodes() << " nodes, spacing " << fixed(geometry.a / grid.n1, 3) << " "
      << fixed(geometry.b / grid.n2, 3) << " " << fixed(geometry.c / grid.n3, 3) << " A); "
      << methodText << '\n';
  if (a.quantity != MapQuantity::smeared)
    err << "telva-map: nodes on atoms: " << map.nodesOnAtoms
        << (map.nodesOnAtoms > 0 && a.quantity == MapQuantity::phic ? " (written as phiw)" : "")
        << '\n';
  err << "telva-map: " << quantityName(a.quantity) << " minimum " << valueText(extremes.lowest)
      << " " << unit << " at " << nodeText(grid, extremes.lowestNode) << ", maximum "
      << valueText(extremes.highest) << " " << unit << " at "
      << nodeText(grid, extremes.highestNode) << extremesScope(extremes) << '\n';
  for (auto& output : outputs)
    err << "telva-map: wrote " << output->target() << '\n';
  err << "telva-map: time " << fixed(seconds(start), 2) << " s on " << threads << " threads\n";
  return 0;
}

} // namespace

int runMap(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool errIsTerminal) {
  try {
    return runMapFaulting(args, out, err, errIsTerminal);
  } catch (const Fault& fault) {
    if (fault.number == mapFaults::usage)
      err << "telva-map: " << fault.text << " (telva-map --help shows the options)\n";
    else if (fault.number == mapFaults::crystal)
      err << "telva-map: error: " << fault.text << '\n';
    else if (fault.number < 10)
      err << "telva-map: " << fault.text << '\n';
    else
      err << "telva-map: severe (" << fault.number << "): " << fault.text << '\n';
    return fault.number;
  } catch (const std::bad_alloc&) {
    err << "telva-map: severe (" << faults::outOfMemory << "): insufficient memory\n";
    return faults::outOfMemory;
  } catch (const std::exception& e) {
    err << "telva-map: " << e.what() << '\n';
    return 1;
  }
}

} // namespace telva
