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

#include "base/version.hpp"
#include "cif/cif_reader.hpp"
#include "cif/conversion.hpp"
#include "cif/conversion_options.hpp"

namespace {

using namespace telva;

constexpr int statusFault = 1;
constexpr int statusUsage = 2;

std::string usage() {
  std::string text = "usage: telva-cif CIF [options] > INPUT\n"
                     "       telva-cif CIF -o INPUT [options]\n"
                     "\n"
                     "  -o, --output FILE    write the input file there instead of to standard "
                     "output\n";
  text += conversionOptionsUsage;
  text += "  -h, --help           show this text\n"
          "      --version        show the version\n";
  return text;
}

// Writes `text` to `path` through a scratch file in the same folder that is
// renamed over it at the end: the path never holds a half-written input.
void writeWhole(const std::string& path, const std::string& text) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string name = target.filename().string();
  name.insert(0, 1, '.');
  name.append(".XXXXXX");
  std::string scratch = (folder / name).string();
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
  std::string cifPath, outputPath;
  ConversionOptions options;
  const std::vector<std::string> rest = parseConversionOptions(args, options);
  for (std::size_t i = 0; i < rest.size(); ++i) {
    const std::string& arg = rest[i];
    if (arg == "-h" || arg == "--help") {
      std::cout << usage();
      return 0;
    } else if (arg == "--version") {
      std::cout << versionLine("telva-cif");
      return 0;
    } else if (arg == "-o" || arg == "--output") {
      if (i + 1 >= rest.size()) throw commandLineError(arg + " needs a value");
      outputPath = rest[++i];
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw commandLineError("unknown option " + arg);
    } else if (cifPath.empty()) {
      cifPath = arg;
    } else {
      throw commandLineError("one CIF at a time: '" + cifPath + "' and '" + arg + "'");
    }
  }
  if (cifPath.empty()) throw commandLineError("no CIF named");
  if (!outputPath.empty() && std::filesystem::exists(outputPath) &&
      std::filesystem::exists(cifPath) && std::filesystem::equivalent(outputPath, cifPath))
    throw commandLineError("the output file would replace the CIF " + cifPath);

  const Conversion conversion = convertCifFile(cifPath, options);
  std::cerr << "telva-cif: " << conversion.siteCount << " sites; " << conversion.groupOrder
            << " symmetry operations from " << conversion.operationsSource << ", "
            << conversion.symOps.size() << " written"
            << (conversion.inversionAtOrigin ? " with the inversion flag" : "") << '\n';
  for (const std::string& note : conversion.notes)
    std::cerr << "telva-cif: " << note << '\n';
  for (const std::string& note : conversion.sphereNotes)
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
  } catch (const CifError& e) {
    if (e.commandLine) {
      std::cerr << "telva-cif: " << e.what() << '\n';
      if (e.showUsage) std::cerr << '\n' << usage();
      return statusUsage;
    }
    std::cerr << "telva-cif: error: " << e.what() << '\n';
    return statusFault;
  } catch (const std::exception& e) {
    std::cerr << "telva-cif: error: " << e.what() << '\n';
    return statusFault;
  }
}
