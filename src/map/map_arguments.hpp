// The command line of telva-map.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/capacities.hpp"
#include "cif/conversion.hpp"
#include "electrostatics/grid_synthesis.hpp"
#include "map/potential_map.hpp"

namespace telva {

// automatic: ewald or pme, whichever the predicted work favours (small
// cells always ewald).
enum class MapMethod { ewald, sphere, pme, automatic };
enum class MapUnit { volts, electronsPerAngstrom };

// A plane of nodes: the cell axis it cuts (0 a, 1 b, 2 c) at a fractional
// height in [0, 1).
struct SliceRequest {
  int axis = 2;
  double height = 0;
};

// The values the picture's colours span, in the map's unit: a value beyond
// takes the colour of the nearer end.
struct ColourRange {
  double low = 0, high = 0;
};

// The grid spacing when neither --grid nor --spacing is given, Angstrom: a
// rock-salt cell then has 29 nodes an edge, a spinel cell 41.
inline constexpr double defaultSpacing = 0.2;

struct MapArguments {
  std::string input; // a TELVA input file, or a CIF (named *.cif)
  std::optional<GridSize> grid;
  std::optional<double> spacing;
  MapMethod method = MapMethod::automatic;
  std::optional<double> tolerance; // e/Angstrom, not for sphere
  MapQuantity quantity = MapQuantity::phic;
  MapUnit unit = MapUnit::volts;
  std::string cube, xsf, ccp4, png;
  std::optional<SliceRequest> slice;
  std::optional<ColourRange> range;             // --range LO,HI; the picture's own by default
  int threads = 0;                              // 0: every core
  std::uint64_t maxMemory = defaultMemoryLimit; // bytes
  ConversionOptions conversion;                 // --charge, --radius, --qmax, --strict for a CIF
  bool cifOptionGiven = false;
  bool help = false;
  bool version = false;
};

extern const char* const mapUsage;

// The arguments after the program name; the usage fault, one line naming
// what is wrong, for anything it cannot take.
MapArguments parseMapArguments(const std::vector<std::string>& args);

// Whether the input is read as a CIF: its name ends in .cif, in any case.
bool isCifPath(const std::string& path);

// The node counts for a spacing: ceil(|a_i| / D) along each axis, at least 1.
GridSize gridForSpacing(double a, double b, double c, double spacing);

// "8G", "512M", "100K", "2.5G" or a plain count of bytes (powers of 1024).
std::optional<std::uint64_t> parseMemory(const std::string& text);

} // namespace telva
