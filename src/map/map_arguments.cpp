#include "map/map_arguments.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <initializer_list>
#include <set>
#include <utility>

#include "cif/conversion_options.hpp"

#include "map/map_fault.hpp"

namespace telva {

const char* const mapUsage =
    "usage: telva-map INPUT|CIF [options]\n"
    "\n"
    "  --grid N1,N2,N3      nodes (i/N1, j/N2, k/N3) of the cell (or --grid N for N,N,N)\n"
    "  --spacing D          Ni = ceil(|ai|/D) nodes along each axis (default 0.2 A)\n"
    "  --method M           auto (the default): ewald, or pme for a large cell;\n"
    "                       ewald: the converged point-charge potential;\n"
    "                       pme: the same by a particle mesh, for large cells;\n"
    "                       sphere: the value telva lists for a position record\n"
    "  --tolerance T        the absolute tolerance of auto, ewald and pme in e/A\n"
    "                       (default 1e-8)\n"
    "  --quantity Q         phic (all point charges, the default), phiw (without the\n"
    "                       neighbouring atom) or smeared (P, the synthesis alone)\n"
    "  --unit V|e/A         volts (the default) or e/A\n"
    "  --cube F             Gaussian cube file\n"
    "  --xsf F              XSF file\n"
    "  --ccp4 F             CCP4/MRC map\n"
    "  --png F --slice A=H  picture of the plane at fractional height H across axis\n"
    "                       A (a, b or c), e.g. --slice c=0.5\n"
    "  --range LO,HI        the picture's colours span LO to HI in the unit (default:\n"
    "                       -P to +P, P the 99th percentile of |value| in the plane)\n"
    "  --threads N          threads (default: every core)\n"
    "  --max-memory M       refuse maps above M bytes (K, M, G suffixes; default 8G)\n"
    "  -h, --help           show this text\n"
    "      --version        show the version\n"
    "for a CIF (INPUT named *.cif), as telva-cif takes them: --charge NAME=Z,\n"
    "--guess-charges, --radius R, --qmax Q, --strict, --block NAME\n";

namespace {

[[noreturn]] void refuse(const std::string& text) {
  throw Fault{mapFaults::usage, text};
}

// The value a word names among `choices`; a refusal saying `what` the choices
// are, and what was given, for any other word.
template <typename Choice>
Choice chosen(const std::string& word,
              std::initializer_list<std::pair<const char*, Choice>> choices,
              const std::string& what) {
  for (const auto& [name, choice] : choices)
    if (word == name) return choice;
  refuse(what + ", not '" + word + "'");
}

double number(const std::string& option, const std::string& text) {
  const std::optional<double> value = wholeNumber(text);
  if (!value) refuse(option + " needs a number, not '" + text + "'");
  return *value;
}

// A whole count from 1 to maxMapNodesPerAxis.
int nodeCount(const std::string& text, const std::string& whole) {
  const std::string hint = "--grid needs whole numbers from 1 to " +
                           std::to_string(maxMapNodesPerAxis) + ", as in --grid 48,48,64, not '" +
                           whole + "'";
  if (text.empty() || text.size() > 7) refuse(hint);
  for (char ch : text)
    if (!std::isdigit(static_cast<unsigned char>(ch))) refuse(hint);
  const int n = std::stoi(text);
  if (n < 1 || n > maxMapNodesPerAxis) refuse(hint);
  return n;
}

GridSize parseGrid(const std::string& text) {
  std::vector<std::string> parts{""};
  for (char ch : text) {
    if (ch == ',')
      parts.emplace_back();
    else
      parts.back() += ch;
  }
  if (parts.size() == 1) {
    const int n = nodeCount(parts[0], text);
    return {n, n, n};
  }
  if (parts.size() != 3)
    refuse("--grid needs three node counts N1,N2,N3 (or one N), not '" + text + "'");
  return {nodeCount(parts[0], text), nodeCount(parts[1], text), nodeCount(parts[2], text)};
}

SliceRequest parseSlice(const std::string& text) {
  const std::string hint =
      "--slice needs an axis a, b or c and a fractional height, as in --slice c=0.5, not '" + text +
      "'";
  if (text.size() < 3 || text[1] != '=') refuse(hint);
  const char axis = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  if (axis != 'a' && axis != 'b' && axis != 'c') refuse(hint);
  const std::optional<double> height = wholeNumber(text.substr(2));
  if (!height) refuse(hint);
  return {axis - 'a', *height - std::floor(*height)};
}

ColourRange parseRange(const std::string& text) {
  const std::string hint = "--range needs two numbers LO,HI with LO below HI, in the map's unit, "
                           "as in --range -5,5, not '" +
                           text + "'";
  const std::size_t comma = text.find(',');
  if (comma == std::string::npos || text.find(',', comma + 1) != std::string::npos) refuse(hint);
  const std::optional<double> low = wholeNumber(text.substr(0, comma));
  const std::optional<double> high = wholeNumber(text.substr(comma + 1));
  if (!low || !high || !std::isfinite(*low) || !std::isfinite(*high) || !(*low < *high))
    refuse(hint);
  return {*low, *high};
}

std::string lowerCase(std::string text) {
  for (char& ch : text)
    ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return text;
}

} // namespace

bool isCifPath(const std::string& path) {
  return lowerCase(std::filesystem::path(path).extension().string()) == ".cif";
}

GridSize gridForSpacing(double a, double b, double c, double spacing) {
  auto count = [&](double edge) {
    const double n = std::ceil(edge / spacing);
    if (!(n <= maxMapNodesPerAxis))
      refuse("--spacing " + std::to_string(spacing) + " gives more than " +
             std::to_string(maxMapNodesPerAxis) + " nodes along an edge of " +
             std::to_string(edge) + " A; give a larger spacing");
    return std::max(1, static_cast<int>(n));
  };
  return {count(a), count(b), count(c)};
}

std::optional<std::uint64_t> parseMemory(const std::string& text) {
  if (text.empty()) return std::nullopt;
  std::string digits = text;
  double scale = 1;
  switch (std::toupper(static_cast<unsigned char>(text.back()))) {
  case 'K':
    scale = 1024.0;
    break;
  case 'M':
    scale = 1024.0 * 1024;
    break;
  case 'G':
    scale = 1024.0 * 1024 * 1024;
    break;
  case 'T':
    scale = 1024.0 * 1024 * 1024 * 1024;
    break;
  default:
    scale = 0;
  }
  if (scale != 0)
    digits.pop_back();
  else
    scale = 1;
  const std::optional<double> value = wholeNumber(digits);
  if (!value || !(*value > 0) || !(*value * scale < 1.8e19)) return std::nullopt;
  return static_cast<std::uint64_t>(*value * scale);
}

MapArguments parseMapArguments(const std::vector<std::string>& args) {
  MapArguments a;
  // telva-cif's options that bear on a map; its --tolerance (the default
  // range's target) is not among them, as telva-map's --tolerance is the
  // Gaussian method's.
  static const std::set<std::string> conversionOptions = {
      "--charge", "--radius", "--qmax", "--strict", "--block", "--guess-charges"};
  std::vector<std::string> conversionArgs;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= args.size()) refuse(arg + " needs a value");
      return args[++i];
    };
    auto path = [&](std::string& target) {
      if (!target.empty()) refuse(arg + " given twice");
      target = value();
      if (target.empty()) refuse(arg + " needs a file name");
    };
    if (arg == "-h" || arg == "--help") {
      a.help = true;
    } else if (arg == "--version") {
      a.version = true;
    } else if (arg == "--grid") {
      a.grid = parseGrid(value());
    } else if (arg == "--spacing") {
      const double d = number(arg, value());
      if (!(d > 0)) refuse("--spacing needs a distance above 0 A, not " + args[i]);
      a.spacing = d;
    } else if (arg == "--method") {
      a.method = chosen<MapMethod>(value(),
                                   {{"ewald", MapMethod::ewald},
                                    {"sphere", MapMethod::sphere},
                                    {"pme", MapMethod::pme},
                                    {"auto", MapMethod::automatic}},
                                   "--method is auto, ewald, pme or sphere");
    } else if (arg == "--tolerance") {
      const double t = number(arg, value());
      if (!(t > 0)) refuse("--tolerance needs a number above 0 (e/A), not " + args[i]);
      a.tolerance = t;
    } else if (arg == "--quantity") {
      a.quantity = chosen<MapQuantity>(value(),
                                       {{"phic", MapQuantity::phic},
                                        {"phiw", MapQuantity::phiw},
                                        {"smeared", MapQuantity::smeared}},
                                       "--quantity is phic, phiw or smeared");
    } else if (arg == "--unit") {
      a.unit =
          chosen<MapUnit>(value(), {{"V", MapUnit::volts}, {"e/A", MapUnit::electronsPerAngstrom}},
                          "--unit is V or e/A");
    } else if (arg == "--cube") {
      path(a.cube);
    } else if (arg == "--xsf") {
      path(a.xsf);
    } else if (arg == "--ccp4") {
      path(a.ccp4);
    } else if (arg == "--png") {
      path(a.png);
    } else if (arg == "--slice") {
      a.slice = parseSlice(value());
    } else if (arg == "--range") {
      a.range = parseRange(value());
    } else if (arg == "--threads") {
      const std::string t = value();
      const std::optional<double> n = wholeNumber(t);
      if (!n || *n != std::floor(*n) || *n < 1 || *n > 256)
        refuse("--threads needs a whole number from 1 to 256, not '" + t + "'");
      a.threads = static_cast<int>(*n);
    } else if (arg == "--max-memory") {
      const std::string m = value();
      const std::optional<std::uint64_t> bytes = parseMemory(m);
      if (!bytes)
        refuse("--max-memory needs a size such as 8G, 512M or 100000000, not '" + m + "'");
      a.maxMemory = *bytes;
    } else if (conversionOptions.count(arg)) {
      // The converter's own options, parsed below by its own parser.
      a.cifOptionGiven = true;
      conversionArgs.push_back(arg);
      if (arg != "--strict" && arg != "--guess-charges") conversionArgs.push_back(value());
    } else if (arg.size() > 1 && arg[0] == '-') {
      refuse("unknown option " + arg);
    } else if (a.input.empty()) {
      a.input = arg;
    } else {
      refuse("one input at a time: '" + a.input + "' and '" + arg + "'");
    }
  }
  if (a.help || a.version) return a;
  try {
    parseConversionOptions(conversionArgs, a.conversion);
  } catch (const CifError& e) {
    refuse(e.what());
  }
  if (a.input.empty()) refuse("no input named: give a TELVA input file or a CIF");
  if (a.grid && a.spacing) refuse("--grid and --spacing both given: give one");
  if (a.tolerance && a.method == MapMethod::sphere)
    refuse("--tolerance is for --method auto, ewald or pme; the sphere method's accuracy is set by "
           "its range");
  if (a.quantity == MapQuantity::smeared && a.method != MapMethod::sphere)
    refuse("--quantity smeared is the sphere method's P: add --method sphere");
  if (!a.png.empty() && !a.slice) refuse("--png needs --slice, as in --slice c=0.5");
  if (a.png.empty() && a.slice) refuse("--slice needs --png F to draw the plane into");
  if (a.png.empty() && a.range)
    refuse("--range sets the colours of --png F: give --png and --slice");
  if (a.cifOptionGiven && !isCifPath(a.input))
    refuse("--charge, --radius, --qmax, --strict, --block and --guess-charges are for a CIF (a "
           "file named *.cif), not " +
           a.input);
  // No two outputs, and no output and the input, may be one file.
  std::vector<std::string> outputs;
  for (const std::string* p : {&a.cube, &a.xsf, &a.ccp4, &a.png})
    if (!p->empty()) outputs.push_back(*p);
  namespace fs = std::filesystem;
  auto same = [](const std::string& p, const std::string& q) {
    std::error_code e1, e2;
    if (fs::exists(p, e1) && fs::exists(q, e2)) return fs::equivalent(p, q, e1);
    return fs::weakly_canonical(p, e1) == fs::weakly_canonical(q, e2);
  };
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (same(outputs[i], a.input)) refuse("the output " + outputs[i] + " would replace the input");
    for (std::size_t j = i + 1; j < outputs.size(); ++j)
      if (same(outputs[i], outputs[j])) refuse("two outputs name one file: " + outputs[i]);
  }
  return a;
}

} // namespace telva
