// Fuzz target: the whole program on the fuzzed bytes as the input file, the
// listing written to memory, with a small table capacity so that every run
// stays short. Beside crashes and undefined behaviour it stops on a run that
// ends with a status the program never returns, and on a normal end whose
// listing shows a NaN that the input did not bring in as text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "listing/run.hpp"

namespace {

bool isKnownStatus(int status) {
  for (int known : {0, 1, 24, 30, 38, 41, 64, 65, 66, 67})
    if (status == known) return true;
  return false;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // One thread: the fuzzer runs inputs one after another, and a thread pool
  // per run would only slow it down.
  setenv("TELVA_THREADS", "1", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // fmemopen reads from a buffer of its own, so that the input is not changed.
  std::vector<char> bytes(data, data + size);
  std::FILE* input = size > 0 ? fmemopen(bytes.data(), size, "rb") : std::fopen("/dev/null", "rb");
  if (!input) std::abort();
  char* listingText = nullptr;
  std::size_t listingSize = 0;
  std::FILE* listing = open_memstream(&listingText, &listingSize);
  if (!listing) std::abort();

  telva::RunOptions options;
  options.tableCapacity = 20'000;
  std::ostringstream err;
  const int status = telva::runStreams(input, "fuzz.inp", listing, "fuzz.lst", options, err);

  const std::string_view written(listingText, listingSize);
  const std::string_view given(reinterpret_cast<const char*>(data), size);
  if (!isKnownStatus(status)) {
    std::fprintf(stderr, "unknown exit status %d\n", status);
    std::abort();
  }
  if (status == 0 && written.find("NaN") != std::string_view::npos &&
      given.find("NaN") == std::string_view::npos) {
    std::fprintf(stderr, "normal end with NaN in the listing\n");
    std::abort();
  }
  const std::string diagnostic = err.str();
  if ((status != 0) != !diagnostic.empty()) {
    std::fprintf(stderr, "status %d with diagnostic '%s'\n", status, diagnostic.c_str());
    std::abort();
  }
  std::free(listingText);
  return 0;
}
