#include "cif/conversion_options.hpp"

#include <fstream>
#include <sstream>

namespace telva {

const char* const conversionOptionsUsage =
    "  --charge NAME=Z      charge Z (3, -2, 3+, 2-, 7/3) of every site of element\n"
    "                       NAME, or labelled NAME, or of type symbol NAME; say\n"
    "                       which with element:NAME, label:NAME, type:NAME when a\n"
    "                       name means more than one; repeatable\n"
    "  --guess-charges      charges read from the structure (bond-valence sums,\n"
    "                       common oxidation states) for the sites without one\n"
    "  --radius R           sphere radius in A (default: 0.45 x the shortest\n"
    "                       distance between charged atoms at different positions)\n"
    "  --qmax Q             reciprocal-space range in 1/A (default: the smallest\n"
    "                       that meets the tolerance, within the table capacity)\n"
    "  --tolerance T        truncation estimate the default qmax meets, in e/A\n"
    "                       (default 1e-5)\n"
    "  --strict             a charged cell or an atom inside another's sphere is an\n"
    "                       error, not a warning\n"
    "  --block NAME         the data block to convert (a CIF of several structures)\n"
    "  --positions FILE     append position records: x y z a line, fractional\n"
    "  --at-sites           append one position record per site\n";

namespace {

double numberArgument(const std::string& option, const std::string& text) {
  const std::optional<double> value = wholeNumber(text);
  if (!value) throw commandLineError(option + " needs a number, not '" + text + "'");
  return *value;
}

std::string readWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw CifError("cannot open " + path);
  std::ostringstream content;
  content << file.rdbuf();
  if (file.bad()) throw CifError("cannot read " + path);
  return content.str();
}

} // namespace

std::vector<std::string> parseConversionOptions(const std::vector<std::string>& args,
                                                ConversionOptions& options) {
  std::vector<std::string> rest;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= args.size()) throw commandLineError(arg + " needs a value");
      return args[++i];
    };
    if (arg == "--charge") {
      options.charges.push_back(parseChargeAssignment(value()));
    } else if (arg == "--radius") {
      options.radius = numberArgument(arg, value());
    } else if (arg == "--qmax") {
      options.qmax = numberArgument(arg, value());
    } else if (arg == "--tolerance") {
      options.tolerance = numberArgument(arg, value());
      if (!(options.tolerance > 0))
        throw commandLineError("--tolerance needs a positive number of e/A, as in 1e-5");
    } else if (arg == "--strict") {
      options.strict = true;
    } else if (arg == "--block") {
      options.block = value();
    } else if (arg == "--guess-charges") {
      options.guessCharges = true;
    } else if (arg == "--positions") {
      const std::string path = value();
      const std::vector<Position> points = parsePositions(readWhole(path), path);
      options.positions.insert(options.positions.end(), points.begin(), points.end());
    } else if (arg == "--at-sites") {
      options.atSites = true;
    } else {
      rest.push_back(arg);
    }
  }
  return rest;
}

} // namespace telva
