#include "order/order_program.hpp"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <unistd.h>

#include "base/fault.hpp"
#include "base/version.hpp"
#include "cif/charges.hpp"
#include "cif/conversion_options.hpp"
#include "order/ordering_files.hpp"
#include "order/ordering_run.hpp"

namespace telva {

namespace {

constexpr int statusFault = 1;
constexpr int statusUsage = 2;

std::string usage() {
  return "usage: telva-order CIF -o DIR [options]\n"
         "\n"
         "Ranks the orderings of a disordered crystal (mixed sites, partial sites,\n"
         "vacancies) in a supercell by their electrostatic (Ewald) energy; writes\n"
         "DIR/orderings.csv, DIR/ordering_0001.cif ... and DIR/summary.json.\n"
         "\n"
         "  -o, --output DIR          the folder to write into (made if missing)\n"
         "  --supercell S             auto (default: the smallest supercell in which every\n"
         "                            occupancy is a whole number of atoms), AxBxC, or nine\n"
         "                            integers, the rows of the supercell vectors in parent\n"
         "                            lattice vectors\n"
         "  --charge NAME=Z          charge Z of every site of element, label or type NAME;\n"
         "                            repeatable (as telva-cif)\n"
         "  --guess-charges           charge-balanced charges from common oxidation states\n"
         "  --block NAME              the data block to read\n"
         "  --lowest N                write the N lowest orderings (default 10)\n"
         "  --random N                write N orderings drawn uniformly instead\n"
         "  --temperature K           for the Boltzmann probabilities (default 1000)\n"
         "  --tolerance T             on the potentials, e/A (default 1e-8)\n"
         "  --max-configurations N    distinct orderings ranked exhaustively (default 1e8)\n"
         "  --max-atoms N             sites of the automatic supercell (default 1000)\n"
         "  --occupancy-tolerance X   rounding allowed on an occupancy (default 0.02)\n"
         "  --search S                auto (default), exhaustive or stochastic\n"
         "  --seed S                  of the stochastic search and the random draw (default 1)\n"
         "  --steps N                 swaps per annealing run (default 1000000)\n"
         "  --threads N               threads (default: all cores); the result is the same\n"
         "  -h, --help                show this text\n"
         "      --version             show the version\n";
}

double numberValue(const std::string& option, const std::string& text) {
  const std::optional<double> v = wholeNumber(text);
  if (!v) throw commandLineError(option + " needs a number, not '" + text + "'");
  return *v;
}

long long integerValue(const std::string& option, const std::string& text, long long low) {
  const double v = numberValue(option, text);
  if (v != std::floor(v) || v < double(low) || v > 9.0e18)
    throw commandLineError(option + " needs a whole number of at least " + std::to_string(low) +
                           ", not '" + text + "'");
  return static_cast<long long>(v);
}

// A bar on standard error when it is a terminal.
struct ProgressBar {
  bool shown = isatty(STDERR_FILENO) != 0;
  std::mutex lock;
  std::string stage;
  int drawn = -1;
  void operator()(const std::string& what, double fraction) {
    if (!shown) return;
    const std::lock_guard<std::mutex> guard(lock);
    const int percent = static_cast<int>(fraction * 100);
    if (what == stage && percent == drawn) return;
    stage = what;
    drawn = percent;
    const int filled = percent * 30 / 100;
    std::fprintf(stderr, "\rtelva-order: %-11s [%s%s] %3d%%", what.c_str(),
                 std::string(filled, '#').c_str(), std::string(30 - filled, ' ').c_str(), percent);
    if (percent >= 100) std::fprintf(stderr, "\n");
    std::fflush(stderr);
  }
};

int run(const std::vector<std::string>& args) {
  ConversionOptions conversion;
  conversion.listingCapacities = false;
  const std::vector<std::string> rest = parseConversionOptions(args, conversion);
  OrderOptions options;
  std::string cif, folder;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    const std::string& arg = rest[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= rest.size()) throw commandLineError(arg + " needs a value");
      return rest[++i];
    };
    if (arg == "-h" || arg == "--help") {
      std::cout << usage();
      return 0;
    } else if (arg == "--version") {
      std::cout << versionLine("telva-order");
      return 0;
    } else if (arg == "-o" || arg == "--output") {
      folder = value();
    } else if (arg == "--supercell") {
      std::string text = value();
      if (text == "auto") {
        options.supercell.reset();
        continue;
      }
      // Nine integers may come as nine arguments.
      if (text.find_first_of(" ,xX") == std::string::npos && i + 8 < rest.size() + 0) {
        bool nine = true;
        for (std::size_t k = 1; k <= 8 && nine; ++k)
          nine = i + k < rest.size() && !rest[i + k].empty() &&
                 rest[i + k].find_first_not_of("-0123456789") == std::string::npos;
        if (nine)
          for (int k = 0; k < 8; ++k)
            text += " " + rest[++i];
      }
      options.supercell = parseSupercellMatrix(text);
    } else if (arg == "--lowest") {
      options.lowest = static_cast<int>(integerValue(arg, value(), 0));
    } else if (arg == "--random") {
      options.random = static_cast<int>(integerValue(arg, value(), 1));
    } else if (arg == "--temperature") {
      options.temperature = numberValue(arg, value());
    } else if (arg == "--max-configurations") {
      options.maxConfigurations = numberValue(arg, value());
    } else if (arg == "--max-atoms") {
      options.maxAtoms = static_cast<int>(integerValue(arg, value(), 1));
    } else if (arg == "--occupancy-tolerance") {
      options.occupancyTolerance = numberValue(arg, value());
    } else if (arg == "--search") {
      const std::string s = value();
      if (s == "auto")
        options.search = SearchKind::automatic;
      else if (s == "exhaustive")
        options.search = SearchKind::exhaustive;
      else if (s == "stochastic")
        options.search = SearchKind::stochastic;
      else
        throw commandLineError("--search takes auto, exhaustive or stochastic, not '" + s + "'");
    } else if (arg == "--seed") {
      options.seed = static_cast<std::uint64_t>(integerValue(arg, value(), 0));
    } else if (arg == "--steps") {
      options.steps = integerValue(arg, value(), 1);
    } else if (arg == "--threads") {
      options.threads = static_cast<int>(integerValue(arg, value(), 0));
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw commandLineError("unknown option " + arg);
    } else if (cif.empty()) {
      cif = arg;
    } else {
      throw commandLineError("one CIF at a time: '" + cif + "' and '" + arg + "'");
    }
  }
  if (cif.empty()) throw commandLineError("no CIF named");
  if (folder.empty()) throw commandLineError("no output folder: give it with -o DIR");
  if (conversion.radius || conversion.qmax || conversion.strict || conversion.atSites ||
      !conversion.positions.empty())
    throw commandLineError("--radius, --qmax, --strict, --positions and --at-sites belong to "
                           "telva-cif; telva-order computes by the Gaussian method");
  // --tolerance is the converter's option too: its value is the Ewald tolerance here.
  for (std::size_t i = 0; i + 1 < args.size(); ++i)
    if (args[i] == "--tolerance") options.tolerance = conversion.tolerance;

  const DisorderedCrystal crystal = readDisorderedCif(cif, conversion);
  ProgressBar bar;
  options.progress = [&bar](const std::string& stage, double f) { bar(stage, f); };
  const OrderResult result = runOrdering(crystal, options);
  for (const std::string& w : crystal.warnings)
    std::cerr << "telva-order: warning: " << w << '\n';
  for (const std::string& n : crystal.notes)
    std::cerr << "telva-order: " << n << '\n';
  std::string charges;
  for (const DisorderedPosition& p : crystal.positions)
    for (const Species& s : p.species)
      if (!s.vacancy)
        charges += (charges.empty() ? "" : ", ") + s.label + " " + (s.charge > 0 ? "+" : "") +
                   chargeText(s.charge);
  std::cerr << "telva-order: charges used: " << charges << '\n';

  for (const std::string& n : result.notes)
    std::cerr << "telva-order: " << n << '\n';
  std::cerr << "telva-order: supercell " << matrixText(result.supercell.matrix) << ": "
            << result.supercell.sites.size() << " sites, " << result.space.atoms << " atoms, "
            << result.space.size() << " disordered\n";
  std::cerr << "telva-order: " << result.total.toString() << " configurations, "
            << result.distinct.toString() << " distinct under " << result.group.operations
            << " operations\n";
  if (result.exhaustive) {
    std::cerr << "telva-order: exhaustive search: every configuration scored; the ranking is "
                 "complete\n";
  } else {
    std::cerr << "telva-order: stochastic search (" << result.runs << " annealing runs of "
              << options.steps << " swaps): " << result.visited
              << " distinct configurations visited; the best found by " << result.foundBest
              << " of " << result.runs
              << " runs. The ranking is NOT proven complete: a lower ordering may exist\n";
  }
  char line[160];
  std::snprintf(line, sizeof line, "telva-order: lowest %.6f eV per cell, %.6f eV per atom",
                result.lowestPerCell, result.lowestPerAtom);
  std::cerr << line << "; " << result.records.size()
            << (result.randomDraw ? " orderings drawn at random" : " lowest orderings")
            << " written to " << folder << '\n';
  writeOrderingFiles(folder, result, options);
  return 0;
}

} // namespace

int orderProgram(const std::vector<std::string>& args) {
  try {
    return run(args);
  } catch (const CifError& e) {
    if (e.commandLine) {
      std::cerr << "telva-order: " << e.what() << "\n\n" << usage();
      return statusUsage;
    }
    std::cerr << "telva-order: error: " << e.what() << '\n';
    return statusFault;
  } catch (const Fault& f) {
    std::cerr << "telva-order: error: " << f.text << '\n';
    return statusFault;
  } catch (const std::exception& e) {
    std::cerr << "telva-order: error: " << e.what() << '\n';
    return statusFault;
  }
}

} // namespace telva
