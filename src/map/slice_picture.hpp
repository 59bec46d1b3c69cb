// A picture of one plane of a map: the values on a diverging colour scale
// centred on zero, the plane drawn true to the cell's geometry with its axes
// in Angstrom, the ions near the plane marked with their labels, a colour bar
// labelled in the unit and a title.
#pragma once

#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "map/map_arguments.hpp"
#include "map/map_file.hpp"

typedef struct _cairo_surface cairo_surface_t;

namespace telva {

// The nodes of the plane of the grid nearest the requested height.
struct SlicePlane {
  int axis = 2;               // the axis the plane cuts
  int index = 0;              // the plane's node index along it
  double height = 0;          // index / N along it
  int uAxis = 0, vAxis = 1;   // the plane's own axes, in cell order
  int nu = 0, nv = 0;         // nodes along them
  std::vector<double> values; // value of node (p, q) at q * nu + p
  double at(int p, int q) const { return values[std::size_t(q) * nu + p]; }
};

SlicePlane slicePlane(const MapFile& map, const SliceRequest& request);

// RGB in [0, 1] of a value on the diverging scale from blue (-limit) through
// white (0) to red (+limit), the depth of colour growing as the square root
// of |value| / limit.
std::array<double, 3> divergingColour(double value, double limit);

// Where things are drawn, in pixels of the picture.
struct SliceLayout {
  int width = 0, height = 0;
  // Device position of the plane's fractional point (s, t): origin + s U + t V.
  double originX = 0, originY = 0, ux = 0, uy = 0, vx = 0, vy = 0;
  double barLeft = 0, barTop = 0, barWidth = 0, barHeight = 0; // the bar: max at the top
  double minimum = 0, maximum = 0;                             // of the plane's values
  // The colours span low (bottom of the bar) to high (top); a value beyond
  // takes the nearer end's. The scale's depth is |value| / limit.
  double low = 0, high = 0, limit = 0;
  std::array<double, 3> colour(double value) const;
};

// The default colour range: -P to +P, P the 99th percentile (nearest rank) of
// |value| over the values, so that the few nodes next to an ion, where phic
// grows without bound, do not wash out the landscape between the ions.
ColourRange robustColourRange(const std::vector<double>& values);

// The layout, its colours spanning `range` (the robust range without one).
SliceLayout sliceLayout(const MapFile& map, const SlicePlane& plane,
                        const std::optional<ColourRange>& range = std::nullopt);

// Draws the picture on an image surface of layout.width x layout.height.
// `radius` is the distance from the plane within which ions are marked;
// `heading` the title (map.title when empty).
void drawSlice(cairo_surface_t* surface, const MapFile& map, const SlicePlane& plane,
               const SliceLayout& layout, double radius, const std::string& unit,
               const std::string& heading = "");

// The picture as PNG into an open stream.
void writeSlicePng(std::FILE* file, const MapFile& map, const SliceRequest& request, double radius,
                   const std::string& unit, const std::optional<ColourRange>& range = std::nullopt,
                   const std::string& heading = "");

} // namespace telva
