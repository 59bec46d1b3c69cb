// telva-map as a program: the files it writes read back by independent
// readers (ASE's cube and XSF readers, gemmi's CCP4 reader, under the
// system's Python), and every bad argument or input refused with one line, a
// non-zero status and no file left behind.
#include "map/map_program.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>

#include "electrostatics/energy_units.hpp"
#include "map/elements.hpp"
#include "map/ewald_map.hpp"
#include "map/potential_map.hpp"
#include "map_test_support.hpp"
#include "test_support.hpp"

namespace telva {
namespace {

namespace fs = std::filesystem;

struct MapRun {
  int status;
  std::string out, err;
};

MapRun runMapInProcess(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = runMap(args, out, err, false);
  return {status, out.str(), err.str()};
}

// What an independent reader found in a file.
struct ReadBack {
  std::array<double, 9> cell{};
  std::array<int, 3> grid{};
  std::vector<std::array<double, 4>> atoms; // Z, x, y, z
  std::vector<double> values;
};

ReadBack readBack(const std::string& kind, const std::string& path) {
  const std::string command = std::string(TELVA_SYSTEM_PYTHON) + " " + TELVA_SOURCE_DIR +
                              "/tests/map/read_back.py " + kind + " '" + path + "'";
  std::unique_ptr<std::FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) throw std::runtime_error("cannot run " + command);
  std::string text;
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0)
    text.append(buffer, n);
  std::istringstream in(text);
  ReadBack r;
  std::string word;
  std::size_t count = 0;
  in >> word;
  if (word != "cell") throw std::runtime_error(kind + " reader said: " + text.substr(0, 300));
  for (double& v : r.cell)
    in >> v;
  in >> word >> r.grid[0] >> r.grid[1] >> r.grid[2] >> word >> count;
  r.atoms.resize(count);
  for (auto& atom : r.atoms)
    in >> atom[0] >> atom[1] >> atom[2] >> atom[3];
  in >> word >> count;
  r.values.resize(count);
  for (double& v : r.values)
    in >> v;
  if (!in) throw std::runtime_error(kind + " reader's output is cut short");
  return r;
}

// The map the program should have written: the library's own values.
struct Expected {
  MapCrystal crystal;
  CellGeometry geometry;
  GridSize grid;
  std::vector<double> values;
};

Expected expectedMap(const std::string& input, const GridSize& grid, MapQuantity quantity,
                     double factor) {
  const test::MapModel model(readInputFileCrystal(input), readInputFileCrystal(input).range);
  Expected e{model.crystal, model.geometry, grid,
             sphereMap(model.context(), grid, quantity).values};
  for (double& v : e.values)
    v *= factor;
  return e;
}

void expectSameMap(const std::string& kind, const ReadBack& r, const Expected& e, double relative,
                   bool withAtoms) {
  const CellAxes axes = cartesianAxes(e.geometry);
  for (int i = 0; i < 9; ++i)
    EXPECT_NEAR(r.cell[i], axes[i / 3][i % 3], 2e-6 * e.geometry.a) << kind << " cell " << i;
  EXPECT_EQ(r.grid, (std::array<int, 3>{e.grid.n1, e.grid.n2, e.grid.n3})) << kind;
  ASSERT_EQ(r.values.size(), e.values.size()) << kind;
  double largest = 0;
  for (double v : e.values)
    largest = std::max(largest, std::abs(v));
  for (std::size_t n = 0; n < e.values.size(); ++n)
    ASSERT_NEAR(r.values[n], e.values[n], relative * std::abs(e.values[n]) + 1e-9 * largest)
        << kind << " node " << n;
  if (!withAtoms) return;
  const std::vector<CellAtom> atoms = cellAtoms(e.crystal, e.geometry);
  ASSERT_EQ(r.atoms.size(), atoms.size()) << kind;
  for (std::size_t n = 0; n < atoms.size(); ++n) {
    EXPECT_EQ(r.atoms[n][0], atomicNumber(atoms[n].element)) << kind << " atom " << n;
    const auto p = cartesian(axes, atoms[n].x, atoms[n].y, atoms[n].z);
    for (int i = 0; i < 3; ++i)
      EXPECT_NEAR(r.atoms[n][1 + i], p[i], 2e-6 * e.geometry.a) << kind << " atom " << n;
  }
}

TEST(TelvaMap, IndependentReadersFindTheCellGridValuesAndAtoms) {
  struct Case {
    std::string example;
    GridSize grid;
    std::vector<std::string> options;
    MapQuantity quantity;
    double factor;
  };
  const std::vector<Case> cases = {
      {"wurtzite", {6, 6, 9}, {}, MapQuantity::phic, electronVoltsPerUnit},
      {"rocksalt", {4, 5, 7}, {"--quantity", "phiw", "--unit", "e/A"}, MapQuantity::phiw, 1.0},
      {"corundum",
       {5, 5, 11},
       {"--quantity", "smeared"},
       MapQuantity::smeared,
       electronVoltsPerUnit},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    const std::string input = test::examplePath(c.example + ".inp");
    std::vector<std::string> args = {input,
                                     "--method",
                                     "sphere",
                                     "--grid",
                                     std::to_string(c.grid.n1) + "," + std::to_string(c.grid.n2) +
                                         "," + std::to_string(c.grid.n3),
                                     "--cube",
                                     dir / "m.cube",
                                     "--xsf",
                                     dir / "m.xsf",
                                     "--ccp4",
                                     dir / "m.ccp4"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const MapRun run = runMapInProcess(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const Expected e = expectedMap(input, c.grid, c.quantity, c.factor);
    expectSameMap("cube", readBack("cube", dir / "m.cube"), e, 1e-6, true);
    expectSameMap("xsf", readBack("xsf", dir / "m.xsf"), e, 1e-6, true);
    expectSameMap("ccp4", readBack("ccp4", dir / "m.ccp4"), e, 1e-7, false);
    // Only the three files: no scratch file stays behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);
  }
}

// The written XSF map against the Gaussian method's phic for `crystal` at the
// default tolerance, in V.
void expectGaussianMap(const MapCrystal& crystal, const GridSize& grid, const std::string& xsf) {
  Expected e{crystal, buildCellGeometry(crystal.crystal.lattice, 0.0), grid,
             ewaldMap(prepareEwald(crystal.crystal, 1e-8, 0, defaultMemoryLimit,
                                   std::int64_t(grid.nodes())),
                      grid, MapQuantity::phic)
                 .values};
  for (double& v : e.values)
    v *= electronVoltsPerUnit;
  expectSameMap("xsf", readBack("xsf", xsf), e, 1e-6, true);
}

TEST(TelvaMap, DefaultMethodIsTheGaussianOneAtItsDefaultTolerance) {
  test::TempDir dir;
  const std::string input = test::examplePath("wurtzite.inp");
  const GridSize grid{5, 5, 8};
  const MapRun run = runMapInProcess({input, "--grid", "5,5,8", "--xsf", dir / "m.xsf"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("ewald method, tolerance 1e-08 e/A"), std::string::npos) << run.err;
  expectGaussianMap(readInputFileCrystal(input), grid, dir / "m.xsf");
}

TEST(TelvaMap, MeshMethodWritesTheDirectMethodsMapWithinItsTolerance) {
  test::TempDir dir;
  const std::string input = test::examplePath("rutile.inp");
  const GridSize grid{6, 6, 4};
  const MapRun run = runMapInProcess({input, "--method", "pme", "--tolerance", "1e-6", "--unit",
                                      "e/A", "--grid", "6,6,4", "--xsf", dir / "m.xsf"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("pme method, tolerance 1e-06 e/A"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("B-splines of order"), std::string::npos) << run.err;
  const MapCrystal crystal = readInputFileCrystal(input);
  const std::vector<double> direct =
      ewaldMap(prepareEwald(crystal.crystal, 1e-10), grid, MapQuantity::phic).values;
  const ReadBack r = readBack("xsf", dir / "m.xsf");
  ASSERT_EQ(r.values.size(), direct.size());
  // The file's values carry about seven significant digits.
  for (std::size_t n = 0; n < direct.size(); ++n)
    EXPECT_NEAR(r.values[n], direct[n], 1e-6 + 1e-6 * std::abs(direct[n])) << "node " << n;
}

TEST(TelvaMap, ReportTellsGridNodesOnAtomsExtremesAndTime) {
  test::TempDir dir;
  const MapRun run = runMapInProcess({test::examplePath("rocksalt.inp"), "--method", "sphere",
                                      "--grid", "4", "--cube", dir / "m.cube"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("grid 4 x 4 x 4 (64 nodes"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("nodes on atoms: 8 (written as phiw)"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("phic minimum"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("maximum"), std::string::npos) << run.err;
  // The extremes of the nodes between the ions: the eight on ions left out.
  EXPECT_NE(run.err.find(", leaving out the 8 nodes within 0.5 A of an atom\n"), std::string::npos)
      << run.err;
  for (const char* ion : {"(0.0000, 0.0000, 0.0000)", "(0.5000, 0.0000, 0.0000)"})
    EXPECT_EQ(run.err.find(std::string(" at ") + ion), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("time "), std::string::npos) << run.err;
  const std::string cube = test::readFile(dir / "m.cube");
  EXPECT_NE(cube.find("phic in V"), std::string::npos);
  EXPECT_EQ(cube.find("inf"), std::string::npos);
  EXPECT_EQ(cube.find("nan"), std::string::npos);
}

TEST(TelvaMap, CifInputIsConvertedAsTelvaCifConvertsIt) {
  test::TempDir dir;
  const MapRun run = runMapInProcess({test::examplePath("rocksalt.cif"), "--method", "sphere",
                                      "--grid", "6", "--cube", dir / "m.cube"});
  ASSERT_EQ(run.status, 0) << run.err;
  const ReadBack r = readBack("cube", dir / "m.cube");
  ASSERT_EQ(r.atoms.size(), 8u);
  int sodium = 0, chlorine = 0;
  for (const auto& atom : r.atoms) {
    sodium += atom[0] == 11;
    chlorine += atom[0] == 17;
  }
  EXPECT_EQ(sodium, 4);
  EXPECT_EQ(chlorine, 4);
}

// A picture is titled with the formula and the data block of a CIF, with the
// title of an input file.
TEST(TelvaMap, PictureTitleIsTheFormulaAndBlockOrTheTitle) {
  std::ostringstream notes;
  const MapCrystal cif =
      readCifCrystal(test::examplePath("corundum.cif"), ConversionOptions{}, notes, false);
  EXPECT_EQ(cif.heading, "Al2 O3 (data block corundum)");
  EXPECT_EQ(cifHeading("", "x"), "data block x");
  const MapCrystal input = readInputFileCrystal(test::examplePath("rocksalt.inp"));
  EXPECT_EQ(input.heading, "Rock salt NaCl, a = 5.64 A: the eight ions of the cell, identity only");
  // And the picture is drawn with it, from either input, with a range given.
  for (const char* example : {"rocksalt.cif", "rocksalt.inp"}) {
    test::TempDir dir;
    const MapRun run = runMapInProcess({test::examplePath(example), "--grid", "6", "--png",
                                        dir / "p.png", "--slice", "c=0", "--range", "-3,3"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(test::readFile(dir / "p.png").substr(1, 3), "PNG") << example;
  }
}

// The converter's choice of R and qmax is told only where the map uses it.
TEST(TelvaMap, SphereChoicesAreToldForTheSphereMethodOnly) {
  for (const char* method : {"sphere", "ewald"}) {
    SCOPED_TRACE(method);
    const MapRun run =
        runMapInProcess({test::examplePath("rocksalt.cif"), "--method", method, "--grid", "4"});
    ASSERT_EQ(run.status, 0) << run.err;
    const bool sphere = std::string(method) == "sphere";
    EXPECT_EQ(run.err.find("telva-map: R = ") != std::string::npos, sphere) << run.err;
    EXPECT_EQ(run.err.find("telva-map: qmax = ") != std::string::npos, sphere) << run.err;
  }
}

// W of an input file is nine digits (.04166667 for 8/192): the Gaussian
// method takes the k/N they round, says so once, and its map is that of the
// exact W (to the file's digits); the sphere method keeps W as read.
TEST(TelvaMap, GaussianMethodTakesWAsTheFractionItsDigitsRound) {
  const std::string input =
      std::string(TELVA_SOURCE_DIR) + "/tests/cif/cases/readme_magnetite/expected.inp";
  const std::string note =
      "telva-map: the Gaussian method takes W of 3 sites as k/192, the fraction the written "
      "digits round\n";
  for (const char* method : {"sphere", "ewald"}) {
    SCOPED_TRACE(method);
    test::TempDir dir;
    const MapRun run =
        runMapInProcess({input, "--method", method, "--grid", "4", "--xsf", dir / "m.xsf"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::size_t at = run.err.find(note);
    EXPECT_EQ(at != std::string::npos, std::string(method) == "ewald") << run.err;
    if (at == std::string::npos) continue;
    EXPECT_EQ(run.err.find(note, at + 1), std::string::npos) << run.err;
    MapCrystal crystal = readInputFileCrystal(input);
    for (Site& site : crystal.crystal.sites)
      site.W = std::round(site.W * 192) / 192;
    expectGaussianMap(crystal, GridSize{4, 4, 4}, dir / "m.xsf");
  }
}

// The diagnostic after the program's name: "severe (N): TEXT".
std::string diagnostic(const std::string& err, const std::string& program) {
  const std::string prefix = program + ": ";
  const std::size_t at = err.rfind(prefix);
  if (at == std::string::npos) return err;
  std::string line = err.substr(at + prefix.size());
  if (!line.empty() && line.back() == '\n') line.pop_back();
  return line;
}

TEST(TelvaMap, InputFileFaultsAreTelvasOwn) {
  const std::vector<std::pair<std::string, std::string>> inputs = {
      {"empty", ""},
      {"cut short", "Title\n  1.0   6.0\n  1  2  0\n"},
      {"radius zero", "Title\n  0.0   6.0\n  1  0  0\n   5.0 5.0 5.0 90.0 90.0 90.0\n"
                      "        0.0 1 0        0.0 2 0        0.0 3 0\n"},
      {"lattice not a number", "Title\n  1.0   6.0\n  1  0  0\n   5.x 5.0 5.0 90.0 90.0 90.0\n"},
  };
  for (const auto& [name, text] : inputs) {
    test::TempDir dir;
    const std::string input = dir / "crystal.inp";
    test::writeFile(input, text);
    const test::RunResult telva = test::runInProcess({input, dir / "crystal.lst"});
    fs::remove(dir / "crystal.lst");
    const MapRun map = runMapInProcess({input, "--method", "sphere", "--cube", dir / "m.cube"});
    EXPECT_NE(telva.status, 0) << name;
    EXPECT_EQ(map.status, telva.status) << name;
    EXPECT_EQ(diagnostic(map.err, "telva-map"), diagnostic(telva.err, "telva")) << name;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1)
        << name << ": a file was left behind";
  }
  // A path that does not exist.
  const test::RunResult telva = test::runInProcess({"/no/such/crystal.inp", "/dev/null"});
  const MapRun map = runMapInProcess({"/no/such/crystal.inp", "--method", "sphere"});
  EXPECT_EQ(map.status, telva.status);
  EXPECT_EQ(diagnostic(map.err, "telva-map"), diagnostic(telva.err, "telva"));
}

TEST(TelvaMap, CifRefusalsAreTelvaCifsOwn) {
  test::TempDir dir;
  const std::string cif = dir / "bad.cif";
  test::writeFile(cif, "data_bad\n_cell_length_a 5\n_cell_length_b 5\n_cell_length_c 5\n"
                       "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n"
                       "_symmetry_space_group_name_H-M 'P 1'\n"
                       "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n"
                       "_atom_site_fract_z\nFe1 0 0 0\n");
  const test::RunResult converter = test::runBinary(TELVA_CIF_BINARY, {cif}, dir.path());
  const MapRun map = runMapInProcess({cif, "--method", "sphere", "--cube", dir / "m.cube"});
  EXPECT_NE(map.status, 0);
  EXPECT_EQ(diagnostic(map.err, "telva-map"), diagnostic(converter.err, "telva-cif"));
  EXPECT_FALSE(fs::exists(dir / "m.cube"));
}

TEST(TelvaMap, BadArgumentsAreRefusedWithOneLineAndNoFile) {
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const std::vector<Case> cases = {
      {{"--grid", "0"}, "--grid needs whole numbers from 1"},
      {{"--grid", "-3"}, "--grid needs whole numbers from 1"},
      {{"--grid", "ten"}, "--grid needs whole numbers from 1"},
      {{"--grid", "4,4"}, "--grid needs three node counts"},
      {{"--grid", "4,,4"}, "--grid needs whole numbers from 1"},
      {{"--grid", "4.5"}, "--grid needs whole numbers from 1"},
      {{"--spacing", "0"}, "--spacing needs a distance above 0"},
      {{"--spacing", "x"}, "--spacing needs a number"},
      {{"--grid", "4", "--spacing", "0.3"}, "--grid and --spacing both given"},
      {{"--png", "p.png", "--slice", "d=0.5"}, "--slice needs an axis a, b or c"},
      {{"--png", "p.png", "--slice", "c"}, "--slice needs an axis a, b or c"},
      {{"--png", "p.png", "--slice", "c=half"}, "--slice needs an axis a, b or c"},
      {{"--png", "p.png"}, "--png needs --slice"},
      {{"--slice", "c=0"}, "--slice needs --png"},
      {{"--png", "p.png", "--slice", "c=0", "--range", "5,-5"}, "--range needs two numbers LO,HI"},
      {{"--png", "p.png", "--slice", "c=0", "--range", "1,1"}, "--range needs two numbers LO,HI"},
      {{"--png", "p.png", "--slice", "c=0", "--range", "-5"}, "--range needs two numbers LO,HI"},
      {{"--png", "p.png", "--slice", "c=0", "--range", "-5,5,6"}, "--range needs two numbers"},
      {{"--png", "p.png", "--slice", "c=0", "--range", "a,b"}, "--range needs two numbers LO,HI"},
      {{"--png", "p.png", "--slice", "c=0", "--range", "-inf,5"}, "--range needs two numbers"},
      {{"--png", "p.png", "--slice", "c=0", "--range", "nan,5"}, "--range needs two numbers"},
      {{"--range", "-5,5"}, "--range sets the colours of --png F"},
      {{"--quantity", "phi"}, "--quantity is phic, phiw or smeared"},
      {{"--unit", "eV"}, "--unit is V or e/A"},
      {{"--threads", "0"}, "--threads needs a whole number from 1 to 256"},
      {{"--max-memory", "lots"}, "--max-memory needs a size"},
      {{"--charge", "Na=1"}, "are for a CIF"},
      {{"--tolerance", "1e-6"}, "--tolerance is for --method auto, ewald or pme"},
      {{"--quantity", "smeared", "--method", "ewald"}, "add --method sphere"},
      {{"--method", "fast"}, "--method is auto, ewald, pme or sphere"},
      {{"--bogus"}, "unknown option --bogus"},
      {{"--cube"}, "--cube needs a value"},
      {{"--grid", "300", "--max-memory", "100M"}, "raise it with --max-memory"},
      {{"--cube", "no/such/folder/m.cube"}, "cannot write no/such/folder/m.cube"},
      {{"--cube", "."}, "cannot write ."},
      {{"--cube", "m.cube", "--xsf", "m.cube"}, "two outputs name one file"},
      {{"--cube", "rocksalt.inp"}, "would replace the input"},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    const std::string input = dir / "rocksalt.inp";
    test::writeFile(input, test::readFile(test::examplePath("rocksalt.inp")));
    std::vector<std::string> args = {"rocksalt.inp", "--method", "sphere"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const fs::path here = fs::current_path();
    fs::current_path(dir.path());
    const MapRun run = runMapInProcess(args);
    fs::current_path(here);
    EXPECT_NE(run.status, 0) << c.says;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1)
        << c.says << ": a file was left behind";
  }
}

TEST(TelvaMap, ValuesThatAreNotFiniteAreRefusedAndNoFileWritten) {
  test::TempDir dir;
  const std::string input =
      std::string(TELVA_SOURCE_DIR) + "/tests/end_to_end/cases/not_finite_tiny_radius/input.inp";
  const MapRun run = runMapInProcess({input, "--method", "sphere", "--grid", "4", "--cube",
                                      dir / "m.cube", "--xsf", dir / "m.xsf"});
  EXPECT_EQ(run.status, 5);
  EXPECT_NE(run.err.find("is not a finite number"), std::string::npos) << run.err;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 0);
}

TEST(TelvaMap, MemoryRefusalGivesTheFigure) {
  const MapRun run = runMapInProcess({test::examplePath("rocksalt.inp"), "--method", "sphere",
                                      "--grid", "1000", "--max-memory", "1G"});
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.err.find("the map needs 8"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("above the limit of 1024.0 MB"), std::string::npos) << run.err;
}

} // namespace
} // namespace telva
