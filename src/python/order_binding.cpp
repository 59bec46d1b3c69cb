// telva._core.order: telva-order's ranking from Python, on a CIF or on a
// crystal given as plain values. The summary is the program's summary.json
// read back; each record carries its ordered supercell.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cif/charges.hpp"
#include "order/ordering_files.hpp"
#include "order/ordering_run.hpp"

namespace py = pybind11;

namespace telva {

namespace {

using OrderSpecies = std::tuple<std::string, std::string, double, double, double, double, double>;

SearchKind searchKind(const std::string& s) {
  if (s == "auto") return SearchKind::automatic;
  if (s == "exhaustive") return SearchKind::exhaustive;
  if (s == "stochastic") return SearchKind::stochastic;
  throw commandLineError("search takes auto, exhaustive or stochastic, not '" + s + "'");
}

IntMatrix supercellArgument(const std::variant<std::string, std::vector<int>>& given,
                            bool& automatic) {
  automatic = false;
  if (const std::string* text = std::get_if<std::string>(&given)) {
    if (*text == "auto") {
      automatic = true;
      return {};
    }
    return parseSupercellMatrix(*text);
  }
  const std::vector<int>& v = std::get<std::vector<int>>(given);
  std::string text;
  for (int x : v)
    text += std::to_string(x) + " ";
  return parseSupercellMatrix(text);
}

py::dict recordDict(const OrderResult& r, const OrderedRecord& rec) {
  py::dict d;
  d["rank"] = rec.rank;
  d["energy_per_cell_ev"] = rec.energyPerCell;
  d["energy_per_atom_ev"] = rec.energyPerAtom;
  d["above_lowest_per_atom_ev"] = rec.aboveLowestPerAtom;
  d["weight"] = py::int_(py::str(rec.weight.toString()));
  d["probability"] = rec.probability;
  d["file"] = fileNameOf(rec);
  d["lattice"] = cartesianRows(r.supercell.cell);
  d["cell"] = r.supercell.cell;
  const std::vector<OrderedAtom> atoms = orderedAtoms(r, rec.configuration);
  const py::ssize_t n = static_cast<py::ssize_t>(atoms.size());
  py::array_t<double> fractional({n, py::ssize_t{3}}), charges(n);
  py::list labels, elements;
  for (py::ssize_t i = 0; i < n; ++i) {
    fractional.mutable_at(i, 0) = atoms[i].fractional.x;
    fractional.mutable_at(i, 1) = atoms[i].fractional.y;
    fractional.mutable_at(i, 2) = atoms[i].fractional.z;
    charges.mutable_at(i) = atoms[i].charge;
    labels.append(atoms[i].label);
    elements.append(atoms[i].element);
  }
  d["fractional"] = fractional;
  d["labels"] = labels;
  d["elements"] = elements;
  d["charges"] = charges;
  return d;
}

py::dict order(std::optional<std::string> source, std::optional<std::array<double, 6>> lattice,
               std::optional<std::vector<std::string>> operations,
               std::optional<std::vector<std::vector<OrderSpecies>>> positions,
               const std::variant<std::string, std::vector<int>>& supercell,
               const std::vector<std::pair<std::string, double>>& charges, bool guessCharges,
               const std::string& block, int lowest, int random, double temperature,
               double tolerance, double maxConfigurations, int maxAtoms, double occupancyTolerance,
               const std::string& search, std::uint64_t seed, std::optional<std::int64_t> steps,
               std::optional<int> threads) {
  OrderOptions options;
  bool automatic = false;
  const IntMatrix matrix = supercellArgument(supercell, automatic);
  if (!automatic) options.supercell = matrix;
  options.lowest = lowest;
  options.random = random;
  options.temperature = temperature;
  options.tolerance = tolerance;
  options.maxConfigurations = maxConfigurations;
  options.maxAtoms = maxAtoms;
  options.occupancyTolerance = occupancyTolerance;
  options.search = searchKind(search);
  options.seed = seed;
  if (steps) {
    if (*steps < 1) throw commandLineError("steps must be positive");
    options.steps = *steps;
  }
  if (threads && *threads < 0) throw commandLineError("threads must be 0 or more");
  options.threads = threads.value_or(0);
  const bool arrays = lattice || operations || positions;
  if (source.has_value() == arrays)
    throw commandLineError("give either a CIF path or lattice, operations and positions");
  if (arrays && !(lattice && positions))
    throw commandLineError("a crystal as arrays needs lattice and positions (operations "
                           "default to P1)");
  std::vector<std::vector<SpeciesAt>> given;
  if (positions)
    for (const auto& list : *positions) {
      given.emplace_back();
      for (const auto& [label, element, charge, occupancy, x, y, z] : list)
        given.back().push_back({label, element, charge, occupancy, {x, y, z}});
    }
  ConversionOptions conversion;
  for (const auto& [name, z] : charges) {
    ChargeOverride charge = parseChargeAssignment(name + "=0");
    charge.charge = z;
    conversion.charges.push_back(charge);
  }
  conversion.guessCharges = guessCharges;
  conversion.block = block;
  conversion.listingCapacities = false;
  OrderResult result;
  std::string summary;
  {
    py::gil_scoped_release release;
    const DisorderedCrystal crystal =
        source
            ? readDisorderedCif(*source, conversion)
            : disorderedCrystal(*lattice, operations.value_or(std::vector<std::string>{}), given);
    result = runOrdering(crystal, options);
    summary = summaryJson(result, options);
  }
  py::dict out;
  out["summary"] = py::module_::import("json").attr("loads")(summary);
  py::list records;
  for (const OrderedRecord& rec : result.records)
    records.append(recordDict(result, rec));
  out["records"] = records;
  std::vector<std::string> notes = result.crystal.notes;
  notes.insert(notes.end(), result.notes.begin(), result.notes.end());
  out["notes"] = notes;
  out["warnings"] = result.crystal.warnings;
  return out;
}

} // namespace

void defineOrder(py::module_& m) {
  m.def("order", &order, py::arg("source") = py::none(), py::kw_only(),
        py::arg("lattice") = py::none(), py::arg("operations") = py::none(),
        py::arg("positions") = py::none(), py::arg("supercell") = "auto",
        py::arg("charges") = std::vector<std::pair<std::string, double>>{},
        py::arg("guess_charges") = false, py::arg("block") = "", py::arg("lowest") = 10,
        py::arg("random") = 0, py::arg("temperature") = 1000.0, py::arg("tolerance") = 1e-8,
        py::arg("max_configurations") = 1e8, py::arg("max_atoms") = 1000,
        py::arg("occupancy_tolerance") = 0.02, py::arg("search") = "auto", py::arg("seed") = 1,
        py::arg("steps") = py::none(), py::arg("threads") = py::none(),
        "telva-order's ranking of the orderings of a disordered crystal (see _core.pyi).");
}

} // namespace telva
