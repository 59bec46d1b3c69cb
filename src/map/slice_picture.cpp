#include "map/slice_picture.hpp"

#include <algorithm>
#include <cairo.h>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "map/map_fault.hpp"
#include "map/output_file.hpp"

namespace telva {

namespace {

// The plane fits in a square of this many pixels.
constexpr double planePixels = 640;
constexpr double marginLeft = 70, marginTop = 70, marginBottom = 70, marginRight = 170;
constexpr double barWidthPixels = 24;
// Ends of the scale: blue for negative, red for positive values.
constexpr std::array<double, 3> negativeEnd = {0.019, 0.188, 0.380};
constexpr std::array<double, 3> positiveEnd = {0.404, 0.0, 0.051};
constexpr std::array<double, 3> white = {1, 1, 1};

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using Context = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

// The in-plane axes of the plane across `axis`: (b, c), (a, c), (a, b).
void planeAxes(int axis, int& u, int& v) {
  u = axis == 0 ? 1 : 0;
  v = axis == 2 ? 1 : 2;
}

double cosineBetween(const CellGeometry& g, int u, int v) {
  if (u + v == 1) return g.cosGamma; // a, b
  if (u + v == 2) return g.cosBeta;  // a, c
  return g.cosAlpha;                 // b, c
}

double edge(const CellGeometry& g, int axis) {
  return axis == 0 ? g.a : axis == 1 ? g.b : g.c;
}

// A round step for axis ticks: 1, 2 or 5 times a power of ten, about a fifth
// of the length.
double tickStep(double length) {
  const double rough = length / 5;
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  for (double m : {1.0, 2.0, 5.0})
    if (m * power >= rough) return m * power;
  return 10 * power;
}

std::string number(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// Decimals that tell the ends of a range of this width apart.
int decimalsFor(double span) {
  if (!(span > 0)) return 3;
  return std::clamp(3 - static_cast<int>(std::floor(std::log10(span))), 0, 6);
}

void showText(cairo_t* cr, double x, double y, const std::string& text, double alignX,
              double alignY) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, text.c_str(), &e);
  cairo_move_to(cr, x - e.x_bearing - alignX * e.width, y - e.y_bearing - alignY * e.height);
  cairo_show_text(cr, text.c_str());
  cairo_new_path(cr);
}

std::array<double, 3> cross(const std::array<double, 3>& p, const std::array<double, 3>& q) {
  return {p[1] * q[2] - p[2] * q[1], p[2] * q[0] - p[0] * q[2], p[0] * q[1] - p[1] * q[0]};
}
double dot(const std::array<double, 3>& p, const std::array<double, 3>& q) {
  return p[0] * q[0] + p[1] * q[1] + p[2] * q[2];
}

} // namespace

SlicePlane slicePlane(const MapFile& map, const SliceRequest& request) {
  SlicePlane plane;
  plane.axis = request.axis;
  planeAxes(plane.axis, plane.uAxis, plane.vAxis);
  const int counts[3] = {map.grid.n1, map.grid.n2, map.grid.n3};
  const int n = counts[plane.axis];
  plane.index = static_cast<int>(std::lround(request.height * n)) % n;
  plane.height = double(plane.index) / n;
  plane.nu = counts[plane.uAxis];
  plane.nv = counts[plane.vAxis];
  plane.values.resize(std::size_t(plane.nu) * plane.nv);
  for (int q = 0; q < plane.nv; ++q)
    for (int p = 0; p < plane.nu; ++p) {
      int node[3];
      node[plane.axis] = plane.index;
      node[plane.uAxis] = p;
      node[plane.vAxis] = q;
      plane.values[std::size_t(q) * plane.nu + p] =
          map.values[map.grid.index(node[0], node[1], node[2])];
    }
  return plane;
}

std::array<double, 3> divergingColour(double value, double limit) {
  const double t = limit > 0 ? std::clamp(value / limit, -1.0, 1.0) : 0.0;
  const std::array<double, 3>& end = t < 0 ? negativeEnd : positiveEnd;
  // The square root spreads the colours over the values between the ions,
  // where the potential is flat, rather than over its peaks at the ions.
  const double w = std::sqrt(std::abs(t));
  return {white[0] + (end[0] - white[0]) * w, white[1] + (end[1] - white[1]) * w,
          white[2] + (end[2] - white[2]) * w};
}

SliceLayout sliceLayout(const MapFile& map, const SlicePlane& plane,
                        const std::optional<ColourRange>& range) {
  SliceLayout l;
  const double lu = edge(map.geometry, plane.uAxis), lv = edge(map.geometry, plane.vAxis);
  const double c = cosineBetween(map.geometry, plane.uAxis, plane.vAxis);
  const double s = std::sqrt(1 - c * c);
  // Corners in Angstrom: 0, U = (lu, 0), V = (lv c, lv s), U + V.
  const double xMin = std::min(0.0, lv * c), xMax = std::max(lu, lu + lv * c), yMax = lv * s;
  const double scale = planePixels / std::max(xMax - xMin, yMax);
  l.originX = marginLeft - xMin * scale;
  l.originY = marginTop + yMax * scale;
  l.ux = lu * scale;
  l.uy = 0;
  l.vx = lv * c * scale;
  l.vy = -lv * s * scale;
  const double planeRight = marginLeft + (xMax - xMin) * scale;
  l.width = static_cast<int>(std::ceil(planeRight + marginRight));
  l.height = static_cast<int>(std::ceil(marginTop + yMax * scale + marginBottom));
  // Whole pixels, so that the bar's first and last rows are its ends.
  l.barLeft = std::round(planeRight + 50);
  l.barTop = marginTop;
  l.barWidth = barWidthPixels;
  l.barHeight = std::round(std::max(yMax * scale, 200.0));
  l.height = std::max(l.height, static_cast<int>(l.barTop + l.barHeight + marginBottom));
  l.minimum = *std::min_element(plane.values.begin(), plane.values.end());
  l.maximum = *std::max_element(plane.values.begin(), plane.values.end());
  const ColourRange colours = range ? *range : robustColourRange(plane.values);
  l.low = colours.low;
  l.high = colours.high;
  l.limit = std::max(std::abs(l.low), std::abs(l.high));
  return l;
}

std::array<double, 3> SliceLayout::colour(double value) const {
  return divergingColour(std::clamp(value, std::min(low, high), high), limit);
}

ColourRange robustColourRange(const std::vector<double>& values) {
  if (values.empty()) return {};
  std::vector<double> sizes(values.size());
  std::transform(values.begin(), values.end(), sizes.begin(), [](double v) { return std::abs(v); });
  // Nearest rank: the smallest |value| that at least 99% of the values do not exceed.
  const std::size_t rank = static_cast<std::size_t>(std::ceil(0.99 * double(sizes.size())));
  const auto at = sizes.begin() + static_cast<std::ptrdiff_t>(std::max<std::size_t>(rank, 1) - 1);
  std::nth_element(sizes.begin(), at, sizes.end());
  return {-*at, *at};
}

void drawSlice(cairo_surface_t* surface, const MapFile& map, const SlicePlane& plane,
               const SliceLayout& l, double radius, const std::string& unit,
               const std::string& heading) {
  Context owned(cairo_create(surface), cairo_destroy);
  cairo_t* cr = owned.get();
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);

  // Every pixel of the plane coloured by the value at its centre,
  // interpolated bilinearly between the four nodes around it (periodically
  // across the cell's faces): at a node, the node's own value.
  cairo_surface_flush(surface);
  unsigned char* pixels = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const double det = l.ux * l.vy - l.uy * l.vx;
  for (int y = 0; y < l.height; ++y)
    for (int x = 0; x < l.width; ++x) {
      const double dx = x + 0.5 - l.originX, dy = y + 0.5 - l.originY;
      const double s = (dx * l.vy - dy * l.vx) / det, t = (l.ux * dy - l.uy * dx) / det;
      if (s < 0 || s > 1 || t < 0 || t > 1) continue;
      const double fs = s * plane.nu, ft = t * plane.nv;
      const int p = std::min(static_cast<int>(fs), plane.nu - 1);
      const int q = std::min(static_cast<int>(ft), plane.nv - 1);
      const double ws = fs - p, wt = ft - q;
      const int p1 = (p + 1) % plane.nu, q1 = (q + 1) % plane.nv;
      const double value = (1 - wt) * ((1 - ws) * plane.at(p, q) + ws * plane.at(p1, q)) +
                           wt * ((1 - ws) * plane.at(p, q1) + ws * plane.at(p1, q1));
      const auto rgb = l.colour(value);
      std::uint32_t pixel = 0;
      for (int i = 0; i < 3; ++i)
        pixel = (pixel << 8) | static_cast<std::uint32_t>(std::lround(rgb[i] * 255));
      std::memcpy(pixels + std::size_t(y) * stride + 4 * std::size_t(x), &pixel, 4);
    }
  cairo_surface_mark_dirty(surface);
  auto parallelogram = [&] {
    cairo_move_to(cr, l.originX, l.originY);
    cairo_rel_line_to(cr, l.ux, l.uy);
    cairo_rel_line_to(cr, l.vx, l.vy);
    cairo_rel_line_to(cr, -l.ux, -l.uy);
    cairo_close_path(cr);
  };
  parallelogram();
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, 1.2);
  cairo_stroke(cr);

  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 13);
  const char* axisNames[3] = {"a", "b", "c"};

  // Axes in Angstrom along the two edges from the origin: ticks outside the
  // plane, away from the other edge.
  auto axisTicks = [&](int axis, double ex, double ey, double ox, double oy) {
    const double length = edge(map.geometry, axis);
    const double step = tickStep(length);
    const double norm = std::hypot(ox, oy);
    const double nx = -ox / norm, ny = -oy / norm; // away from the other edge
    const int decimals = step < 1 ? 1 : 0;
    for (double d = 0; d <= length + 1e-9; d += step) {
      const double x = l.originX + ex * d / length, y = l.originY + ey * d / length;
      cairo_move_to(cr, x, y);
      cairo_line_to(cr, x + 6 * nx, y + 6 * ny);
      cairo_stroke(cr);
      showText(cr, x + 16 * nx, y + 16 * ny, number(d, decimals), 0.5, 0.5);
    }
    const double x = l.originX + ex * 0.5, y = l.originY + ey * 0.5;
    showText(cr, x + 50 * nx, y + 50 * ny, std::string(axisNames[axis]) + " (\u00c5)", 0.5, 0.5);
  };
  axisTicks(plane.uAxis, l.ux, l.uy, l.vx, l.vy);
  axisTicks(plane.vAxis, l.vx, l.vy, l.ux, l.uy);

  // Ions within the radius of the plane, at the foot of their perpendicular.
  const CellAxes& axes = map.axes;
  std::array<std::array<double, 3>, 3> reciprocal;
  for (int i = 0; i < 3; ++i) {
    const auto c = cross(axes[(i + 1) % 3], axes[(i + 2) % 3]);
    for (int k = 0; k < 3; ++k)
      reciprocal[i][k] = c[k] / map.geometry.volume;
  }
  const auto& normal = reciprocal[plane.axis];
  const double spacing = 1 / std::sqrt(dot(normal, normal)); // Angstrom per unit of height
  cairo_set_font_size(cr, 11);
  for (const CellAtom& atom : map.atoms)
    for (int na = -1; na <= 1; ++na)
      for (int nb = -1; nb <= 1; ++nb)
        for (int nc = -1; nc <= 1; ++nc) {
          const double f[3] = {atom.x + na, atom.y + nb, atom.z + nc};
          const double offset = (f[plane.axis] - plane.height) * spacing; // Angstrom
          if (std::abs(offset) > radius) continue;
          auto r = cartesian(axes, f[0], f[1], f[2]);
          const double scale = offset * spacing; // along the reciprocal normal
          for (int k = 0; k < 3; ++k)
            r[k] -= scale * normal[k];
          const double s = dot(r, reciprocal[plane.uAxis]), t = dot(r, reciprocal[plane.vAxis]);
          if (s < -1e-6 || s > 1 + 1e-6 || t < -1e-6 || t > 1 + 1e-6) continue;
          const double x = l.originX + s * l.ux + t * l.vx, y = l.originY + s * l.uy + t * l.vy;
          cairo_new_path(cr);
          cairo_arc(cr, x, y, 4, 0, 2 * M_PI);
          cairo_set_source_rgb(cr, 1, 1, 1);
          cairo_fill_preserve(cr);
          cairo_set_source_rgb(cr, 0, 0, 0);
          cairo_set_line_width(cr, 1);
          cairo_stroke(cr);
          showText(cr, x + 6, y - 6, atom.label, 0, 1);
        }

  // The colour bar from the range's low end (bottom) to its high end (top);
  // an end beyond which the plane has values is labelled with the sign that
  // says so.
  for (int row = 0; row < static_cast<int>(l.barHeight); ++row) {
    const double f = l.barHeight > 1 ? row / (l.barHeight - 1) : 0;
    const auto rgb = l.colour(l.high - f * (l.high - l.low));
    cairo_set_source_rgb(cr, rgb[0], rgb[1], rgb[2]);
    cairo_rectangle(cr, l.barLeft, l.barTop + row, l.barWidth, 1);
    cairo_fill(cr);
  }
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, l.barLeft - 0.5, l.barTop - 0.5, l.barWidth + 1, l.barHeight + 1);
  cairo_stroke(cr);
  cairo_set_font_size(cr, 12);
  const int decimals = decimalsFor(l.high - l.low);
  auto barLabel = [&](double value, const std::string& sign) {
    const double f = l.high > l.low ? (l.high - value) / (l.high - l.low) : 0;
    const double y = l.barTop + f * (l.barHeight - 1) + 0.5;
    cairo_move_to(cr, l.barLeft + l.barWidth, y);
    cairo_line_to(cr, l.barLeft + l.barWidth + 5, y);
    cairo_stroke(cr);
    showText(cr, l.barLeft + l.barWidth + 8, y, sign + number(value, decimals), 0, 0.5);
  };
  barLabel(l.high, l.maximum > l.high ? "\u2265 " : "");
  barLabel(l.low, l.minimum < l.low ? "\u2264 " : "");
  // Round values between the ends, where they leave room for their text.
  const double step = tickStep(l.high - l.low);
  const double room = 18 * (l.high - l.low) / l.barHeight;
  for (double v = std::ceil(l.low / step) * step; v < l.high; v += step)
    if (v - l.low > room && l.high - v > room) barLabel(std::abs(v) < step / 2 ? 0.0 : v, "");
  showText(cr, l.barLeft + l.barWidth / 2, l.barTop - 12, unit, 0.5, 1);

  // The title: the crystal, the quantity and the plane.
  cairo_set_font_size(cr, 15);
  showText(cr, l.width / 2.0, 16, heading.empty() ? map.title : heading, 0.5, 0);
  cairo_set_font_size(cr, 13);
  showText(cr, l.width / 2.0, 38,
           map.description + ", plane " + axisNames[plane.axis] + " = " + number(plane.height, 4) +
               " (nodes " + std::to_string(plane.nu) + " x " + std::to_string(plane.nv) +
               "; ions within " + number(radius, 2) + " \u00c5 marked)",
           0.5, 0);
}

void writeSlicePng(std::FILE* file, const MapFile& map, const SliceRequest& request, double radius,
                   const std::string& unit, const std::optional<ColourRange>& range,
                   const std::string& heading) {
  const SlicePlane plane = slicePlane(map, request);
  const SliceLayout layout = sliceLayout(map, plane, range);
  Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, layout.width, layout.height),
                  cairo_surface_destroy);
  drawSlice(surface.get(), map, plane, layout, radius, unit, heading);
  cairo_surface_flush(surface.get());
  auto write = [](void* closure, const unsigned char* data, unsigned int length) {
    return std::fwrite(data, 1, length, static_cast<std::FILE*>(closure)) == length
               ? CAIRO_STATUS_SUCCESS
               : CAIRO_STATUS_WRITE_ERROR;
  };
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS ||
      cairo_surface_write_to_png_stream(surface.get(), write, file) != CAIRO_STATUS_SUCCESS)
    throw Fault{mapFaults::output, "the picture could not be drawn or written"};
}

} // namespace telva
