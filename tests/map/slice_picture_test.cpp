// The picture of a plane: nodes equal by symmetry have equal colours, the
// colour bar's ends are the colours of the plane's minimum and maximum, the
// plane keeps the cell's lengths and angle, and the ions in the plane are
// marked.
#include "map/slice_picture.hpp"

#include <gtest/gtest.h>

#include <cairo.h>
#include <cmath>
#include <cstring>
#include <fontconfig/fontconfig.h>
#include <optional>

#include "map/potential_map.hpp"
#include "map_test_support.hpp"

namespace telva {
namespace {

// Cairo and the font configuration keep their caches for the life of the
// process; released at the end, the leak checker sees only the tests' own
// allocations.
struct ReleaseFontCaches : ::testing::Environment {
  void TearDown() override {
    cairo_debug_reset_static_data();
    FcFini();
  }
};
const auto* const releaseFontCaches = ::testing::AddGlobalTestEnvironment(new ReleaseFontCaches);

struct Picture {
  test::MapModel model;
  PotentialMap map;
  MapFile file;

  Picture(const std::string& example, const GridSize& grid)
      : model(test::exampleCrystal(example), 3.0),
        map(sphereMap(model.context(), grid, MapQuantity::phic)), file{
                                                                      model.crystal.title,
                                                                      "phic in e/A",
                                                                      model.geometry,
                                                                      cartesianAxes(model.geometry),
                                                                      cellAtoms(model.crystal,
                                                                                model.geometry),
                                                                      grid,
                                                                      map.values} {}
};

using Rgb = std::array<int, 3>;

struct Canvas {
  cairo_surface_t* surface;
  explicit Canvas(const SliceLayout& l)
      : surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, l.width, l.height)) {}
  ~Canvas() { cairo_surface_destroy(surface); }
  Rgb pixel(double x, double y) const {
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    std::uint32_t p;
    std::memcpy(&p, data + int(std::floor(y)) * stride + 4 * int(std::floor(x)), 4);
    return {int(p >> 16 & 255), int(p >> 8 & 255), int(p & 255)};
  }
};

Rgb quantised(const std::array<double, 3>& c) {
  return {int(std::lround(c[0] * 255)), int(std::lround(c[1] * 255)), int(std::lround(c[2] * 255))};
}

void expectClose(const Rgb& p, const Rgb& q, const std::string& what) {
  for (int i = 0; i < 3; ++i)
    EXPECT_LE(std::abs(p[i] - q[i]), 1) << what << " channel " << i;
}

TEST(SlicePicture, NodesEqualBySymmetryHaveEqualColours) {
  // Rock salt's (001) plane through the origin: mirrors along x, y and the
  // diagonal. The plane is laid out with ten pixels a node, each node on a
  // pixel's centre.
  const int n = 12;
  const Picture picture("rocksalt", {n, n, n});
  const SlicePlane plane = slicePlane(picture.file, {2, 0.0});
  SliceLayout layout = sliceLayout(picture.file, plane);
  layout.originX = 100.5;
  layout.originY = 300.5;
  layout.ux = 10 * n, layout.uy = 0, layout.vx = 0, layout.vy = -10 * n;
  Canvas canvas(layout);
  drawSlice(canvas.surface, picture.file, plane, layout, -1, "e/A"); // no ions marked
  auto at = [&](int p, int q) { return canvas.pixel(100.5 + 10 * p, 300.5 - 10 * q); };
  // Nodes of the edges lie under the plane's outline.
  for (int p = 1; p < n; ++p)
    for (int q = 1; q < n; ++q) {
      const std::string node = std::to_string(p) + "," + std::to_string(q);
      // Each node's own colour, and its mirror images'.
      expectClose(at(p, q), quantised(layout.colour(plane.at(p, q))), node);
      expectClose(at(p, q), at(q, p), node + " and its diagonal mirror");
      expectClose(at(p, q), at(n - p, q), node + " and its mirror in x");
      expectClose(at(p, q), at(p, n - q), node + " and its mirror in y");
    }
}

// The bar runs from the range's low end to its high end: the robust range
// by default, --range's when given; the plane's extremes are kept apart.
TEST(SlicePicture, ColourBarEndsAreTheRangesEnds) {
  const Picture picture("wurtzite", {9, 9, 14});
  for (int axis = 0; axis < 3; ++axis)
    for (const std::optional<ColourRange>& given :
         {std::optional<ColourRange>(), std::optional<ColourRange>(ColourRange{-0.4, 0.9})}) {
      SCOPED_TRACE("axis " + std::to_string(axis) + (given ? " given" : " robust"));
      const SlicePlane plane = slicePlane(picture.file, {axis, 0.3});
      const SliceLayout layout = sliceLayout(picture.file, plane, given);
      EXPECT_EQ(layout.minimum, *std::min_element(plane.values.begin(), plane.values.end()));
      EXPECT_EQ(layout.maximum, *std::max_element(plane.values.begin(), plane.values.end()));
      const ColourRange expected = given ? *given : robustColourRange(plane.values);
      EXPECT_EQ(layout.low, expected.low);
      EXPECT_EQ(layout.high, expected.high);
      EXPECT_EQ(layout.limit, std::max(std::abs(layout.low), std::abs(layout.high)));
      Canvas canvas(layout);
      drawSlice(canvas.surface, picture.file, plane, layout, 1.0, "e/A");
      const double middle = layout.barLeft + layout.barWidth / 2;
      expectClose(canvas.pixel(middle, layout.barTop + 0.5),
                  quantised(divergingColour(layout.high, layout.limit)), "top of the bar");
      expectClose(canvas.pixel(middle, layout.barTop + layout.barHeight - 1 + 0.5),
                  quantised(divergingColour(layout.low, layout.limit)), "bottom of the bar");
      // A value beyond an end takes that end's colour.
      expectClose(quantised(layout.colour(layout.maximum + 10)),
                  quantised(divergingColour(layout.high, layout.limit)), "above the range");
      expectClose(quantised(layout.colour(layout.minimum - 10)),
                  quantised(divergingColour(layout.low, layout.limit)), "below the range");
    }
}

// -P to +P with P the 99th percentile (nearest rank) of |value|: the one
// value in a hundred that stands out (a node next to an ion) is clipped.
TEST(SlicePicture, RobustRangeIsSymmetricAboutTheNinetyNinthPercentileOfTheSize) {
  auto ramp = [](int n, double scale) {
    std::vector<double> v;
    for (int i = 1; i <= n; ++i)
      v.push_back((i % 2 ? -1 : 1) * scale * i);
    return v;
  };
  std::vector<double> spike = ramp(100, 1.0);
  spike[37] = -1e6; // one node on top of an anion
  struct Case {
    std::string name;
    std::vector<double> values;
    double limit;
  };
  const std::vector<Case> cases = {
      {"one value", {-3.0}, 3.0},
      {"all zero", {0.0, 0.0, 0.0}, 0.0},
      {"a hundred alternating", ramp(100, 1.0), 99.0},
      {"a thousand alternating", ramp(1000, 0.5), 495.0},
      {"ten: the largest", ramp(10, 2.0), 20.0},
      {"a spike clipped", spike, 100.0},
  };
  for (const Case& c : cases) {
    const ColourRange r = robustColourRange(c.values);
    EXPECT_EQ(r.high, c.limit) << c.name;
    EXPECT_EQ(r.low, -c.limit) << c.name;
  }
}

TEST(SlicePicture, PlaneKeepsTheCellsLengthsAndAngle) {
  const Picture picture("wurtzite", {9, 9, 14});
  struct Case {
    int axis;
    double lengthU, lengthV, cosine;
  };
  const CellGeometry& g = picture.model.geometry;
  for (const Case& c : {Case{2, g.a, g.b, g.cosGamma}, Case{0, g.b, g.c, g.cosAlpha},
                        Case{1, g.a, g.c, g.cosBeta}}) {
    const SliceLayout l = sliceLayout(picture.file, slicePlane(picture.file, {c.axis, 0}));
    const double u = std::hypot(l.ux, l.uy), v = std::hypot(l.vx, l.vy);
    EXPECT_NEAR(u / v, c.lengthU / c.lengthV, 1e-12) << "axis " << c.axis;
    EXPECT_NEAR((l.ux * l.vx + l.uy * l.vy) / (u * v), c.cosine, 1e-12) << "axis " << c.axis;
  }
}

TEST(SlicePicture, IonsInThePlaneAreMarked) {
  const Picture picture("rocksalt", {12, 12, 12});
  const SlicePlane plane = slicePlane(picture.file, {2, 0.0});
  const SliceLayout layout = sliceLayout(picture.file, plane);
  // The cell's centre of the face, (1/2, 1/2, 0), holds a sodium ion.
  const double x = layout.originX + 0.5 * layout.ux + 0.5 * layout.vx;
  const double y = layout.originY + 0.5 * layout.uy + 0.5 * layout.vy;
  Canvas marked(layout), bare(layout);
  drawSlice(marked.surface, picture.file, plane, layout, 1.0, "e/A");
  drawSlice(bare.surface, picture.file, plane, layout, -1, "e/A");
  EXPECT_EQ(marked.pixel(x, y), (Rgb{255, 255, 255})) << "a white marker";
  EXPECT_NE(bare.pixel(x, y), (Rgb{255, 255, 255}));
}

TEST(SlicePicture, SliceTakesTheNearestPlaneOfNodes) {
  const Picture picture("rocksalt", {4, 5, 8});
  struct Case {
    SliceRequest request;
    int index;
    int nu, nv;
  };
  for (const Case& c : {Case{{2, 0.5}, 4, 4, 5}, Case{{2, 0.97}, 0, 4, 5}, Case{{0, 0.3}, 1, 5, 8},
                        Case{{1, 0.55}, 3, 4, 8}}) {
    const SlicePlane plane = slicePlane(picture.file, c.request);
    EXPECT_EQ(plane.index, c.index);
    EXPECT_EQ(plane.nu, c.nu);
    EXPECT_EQ(plane.nv, c.nv);
  }
}

} // namespace
} // namespace telva
