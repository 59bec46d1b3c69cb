// The one fatal fault of a run: its number (the exit status) and its text.
// Thrown where the fault arises; each program reports it in one place (the
// listing program as the line "telva: severe (N): TEXT" and the exit status N).
#pragma once

#include <string>

namespace telva {

struct Fault {
  int number;
  std::string text;
};

// Fault numbers, also the exit statuses.
namespace faults {
inline constexpr int endOfFile = 24;
inline constexpr int fileNotFound = 29;
inline constexpr int openFailure = 30;
inline constexpr int listingIsInput = 31;
inline constexpr int writeFailure = 38;
inline constexpr int outOfMemory = 41;
inline constexpr int conversionError = 64;
inline constexpr int overCapacity = 65;
inline constexpr int invalidValue = 66;
inline constexpr int notFinite = 67;
} // namespace faults

// The text of the not-finite fault, before its unit and file.
inline constexpr const char* notFiniteText =
    "result is not a finite number: a value of the input is too large or too small";

// "<what>, unit <unit>, file <path>", the tail every file fault carries.
inline std::string unitText(const std::string& what, int unit, const std::string& path) {
  return what + ", unit " + std::to_string(unit) + ", file " + path;
}

} // namespace telva
