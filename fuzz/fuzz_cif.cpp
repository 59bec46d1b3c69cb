// Fuzz target of the converter: the fuzzed bytes as a CIF, converted the way
// telva-cif converts it (once as it is, once with --guess-charges). Beside
// crashes and undefined behaviour it stops on an exception other than the
// converter's own fault, and on a conversion whose input the program's reader
// refuses or reads back with other sites than the conversion reports.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/fault.hpp"
#include "cif/cif_reader.hpp"
#include "cif/conversion.hpp"
#include "listing/input_file.hpp"
#include "records/record_files.hpp"

namespace {

void checkReadBack(const telva::Conversion& c) {
  std::string text = c.inputText;
  std::FILE* in = fmemopen(text.data(), text.size(), "rb");
  std::FILE* sink = std::fopen("/dev/null", "wb");
  if (!in || !sink) std::abort();
  try {
    telva::InputFile input(in, "fuzz.inp");
    telva::Listing listing(sink, "/dev/null");
    const telva::InputHead head = telva::readHead(input, listing);
    telva::checkHeadValues(head, "fuzz.inp");
    listing.close();
    if (head.sites.size() != c.sites.size()) {
      std::fprintf(stderr, "%zu sites read back, %zu written\n", head.sites.size(), c.sites.size());
      std::abort();
    }
    for (std::size_t i = 0; i < c.sites.size(); ++i)
      if (head.sites[i].charge != c.sites[i].charge || head.sites[i].W != c.sites[i].W) {
        std::fprintf(stderr, "site %zu reads back otherwise\n", i);
        std::abort();
      }
  } catch (const telva::Fault& f) {
    std::fprintf(stderr, "the written input is refused: %s\n%s", f.text.c_str(), text.c_str());
    std::abort();
  }
}

void convert(const std::string& text, bool guess) {
  telva::ConversionOptions options;
  options.guessCharges = guess;
  try {
    checkReadBack(telva::convertCrystal(telva::readCifText(text, "fuzz.cif"), options));
  } catch (const telva::CifError&) {
    // A refusal with its reason: what the converter is for.
  } catch (const std::exception& e) {
    std::fprintf(stderr, "exception other than CifError: %s\n", e.what());
    std::abort();
  }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  convert(text, false);
  convert(text, true);
  return 0;
}
