// telva-cif: turns a CIF into a TELVA input file.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "cif/cif_reader.hpp"
#include "cif/conversion.hpp"

namespace {

using namespace telva;

constexpr int statusFault = 1;
constexpr int statusUsage = 2;

const char* const usage =
    "usage: telva-cif CIF [options] > INPUT\n"
    "       telva-cif CIF -o INPUT [options]\n"
    "\n"
    "  -o, --output FILE    write the input file there instead of to standard output\n"
    "  --charge NAME=Z      charge of every site of element NAME, or of the site\n"
    "                       labelled NAME (a label takes precedence); repeatable\n"
    "  --radius R           sphere radius in A (default: 0.45 x the shortest\n"
    "                       distance between ions of opposite charge)\n"
    "  --qmax Q             reciprocal-space range in 1/A (default: the largest that\n"
    "                       keeps the table within 2,000,000 entries)\n"
    "  --strict             a cell that is not neutral is an error, not a warning\n"
    "  --positions FILE     append position records: x y z a line, fractional\n"
    "  --at-sites           append one position record per site\n"
    "  -h, --help           show this text\n";

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

double numberArgument(const std::string& option, const std::string& text) {
  const std::optional<double> value = wholeNumber(text);
  if (!value) throw UsageError(option + " needs a number, not '" + text + "'");
  return *value;
}

std::string readWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw CifError("cannot open " + path);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

// Writes `text` to `path` through a scratch file in the same folder that is
// renamed over it at the end: the path never holds a half-written input.
void writeWhole(const std::string& path, const std::string& text) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string scratch = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = mkstemp(scratch.data());
  if (fd < 0) throw CifError("cannot write " + path + ": " + std::strerror(errno));
  std::FILE* file = fdopen(fd, "wb");
  bool ok = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
  ok = file && std::fflush(file) == 0 && ok;
  ok = file && std::fclose(file) == 0 && ok;
  if (!file) close(fd);
  if (ok) {
    // mkstemp makes the file private; give it the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    chmod(scratch.c_str(), 0666 & ~mask);
  }
  if (!ok || std::rename(scratch.c_str(), path.c_str()) != 0) {
    const std::string why = std::strerror(errno);
    std::remove(scratch.c_str());
    throw CifError("cannot write " + path + ": " + why);
  }
}

int runConversion(const std::vector<std::string>& args) {
  std::string cifPath, outputPath, positionsPath;
  ConversionOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= args.size()) throw UsageError(arg + " needs a value");
      return args[++i];
    };
    if (arg == "-h" || arg == "--help") {
      std::cout << usage;
      return 0;
    } else if (arg == "-o" || arg == "--output") {
      outputPath = value();
    } else if (arg == "--charge") {
      const std::string assignment = value();
      const std::size_t eq = assignment.find('=');
      if (eq == std::string::npos || eq == 0)
        throw UsageError("--charge needs NAME=Z, as in --charge Fe=3, not '" + assignment + "'");
      options.charges.push_back(
          {assignment.substr(0, eq),
           numberArgument("--charge " + assignment.substr(0, eq), assignment.substr(eq + 1))});
    } else if (arg == "--radius") {
      options.radius = numberArgument(arg, value());
    } else if (arg == "--qmax") {
      options.qmax = numberArgument(arg, value());
    } else if (arg == "--strict") {
      options.strict = true;
    } else if (arg == "--positions") {
      positionsPath = value();
    } else if (arg == "--at-sites") {
      options.atSites = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw UsageError("unknown option " + arg);
    } else if (cifPath.empty()) {
      cifPath = arg;
    } else {
      throw UsageError("one CIF at a time: '" + cifPath + "' and '" + arg + "'");
    }
  }
  if (cifPath.empty()) throw UsageError("no CIF named");
  if (!outputPath.empty() && std::filesystem::exists(outputPath) &&
      std::filesystem::equivalent(outputPath, cifPath))
    throw UsageError("the output file would replace the CIF " + cifPath);

  if (!positionsPath.empty())
    options.positions = parsePositions(readWhole(positionsPath), positionsPath);
  CifCrystal crystal;
  Conversion conversion;
  try {
    crystal = readCifFile(cifPath);
    conversion = convertCrystal(crystal, options);
  } catch (const CifError& e) {
    throw CifError(cifPath + ": " + e.what());
  }

  std::cerr << "telva-cif: " << crystal.sites.size() << " sites; " << conversion.groupOrder
            << " symmetry operations from " << crystal.operationsSource << ", "
            << conversion.symOps.size() << " written"
            << (conversion.inversionAtOrigin ? " with the inversion flag" : "") << '\n';
  for (const std::string& note : conversion.notes)
    std::cerr << "telva-cif: " << note << '\n';
  for (const std::string& warning : conversion.warnings)
    std::cerr << "telva-cif: warning: " << warning << '\n';

  if (outputPath.empty()) {
    std::cout << conversion.inputText << std::flush;
    if (!std::cout) throw CifError("cannot write to standard output");
  } else {
    writeWhole(outputPath, conversion.inputText);
  }
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  try {
    return runConversion(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const UsageError& e) {
    std::cerr << "telva-cif: " << e.what() << "\n\n" << usage;
    return statusUsage;
  } catch (const std::exception& e) {
    std::cerr << "telva-cif: error: " << e.what() << '\n';
    return statusFault;
  }
}
