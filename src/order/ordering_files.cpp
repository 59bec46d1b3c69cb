#include "order/ordering_files.hpp"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

#include "cif/charges.hpp"

namespace telva {

namespace {

namespace fs = std::filesystem;

std::string jsonString(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out += buffer;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// A count as a JSON integer while a double holds it exactly, else a string.
std::string jsonCount(const BigCount& c) {
  const BigCount limit(std::uint64_t{1} << 53);
  return c <= limit ? c.toString() : std::string("\"") + c.toString() + "\"";
}

std::string jsonNumber(double v) {
  return std::isfinite(v) ? exactNumber(v) : "null";
}

// The type symbol of a species: its element and charge (Na1+, O2-), or the
// label of a pseudo-atom.
std::string typeSymbol(const std::string& element, const std::string& label, double charge) {
  std::string base = element.empty() ? label : element;
  if (charge == 0) return base;
  const std::string magnitude = chargeText(std::abs(charge));
  return base + magnitude + (charge > 0 ? "+" : "-");
}

} // namespace

std::string exactNumber(double value) {
  char buffer[64];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value + 0.0).ptr;
  return std::string(buffer, end);
}

std::string fileNameOf(const OrderedRecord& record) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "ordering_%04d.cif", record.rank);
  return buffer;
}

std::string orderingsCsv(const OrderResult& r) {
  std::string text =
      "rank,energy_per_cell_ev,energy_per_atom_ev,above_lowest_per_atom_ev,weight,probability,"
      "file\n";
  for (const OrderedRecord& rec : r.records)
    text += std::to_string(rec.rank) + "," + exactNumber(rec.energyPerCell) + "," +
            exactNumber(rec.energyPerAtom) + "," + exactNumber(rec.aboveLowestPerAtom) + "," +
            rec.weight.toString() + "," + exactNumber(rec.probability) + "," + fileNameOf(rec) +
            "\n";
  return text;
}

std::string orderingCif(const OrderResult& r, const OrderedRecord& rec) {
  const std::string name = fileNameOf(rec).substr(0, 13);
  const auto& pc = r.crystal.cell;
  std::string parentCell;
  for (int k = 0; k < 6; ++k)
    parentCell += std::string(k ? " " : "") + exactNumber(pc[k]);
  std::string matrix;
  for (const auto& row : r.supercell.matrix)
    for (int v : row)
      matrix += std::string(matrix.empty() ? "" : " ") + std::to_string(v);
  std::string t = "# An ordering of " + r.crystal.source + " by telva-order: rank " +
                  std::to_string(rec.rank) + ", " + exactNumber(rec.energyPerCell) +
                  " eV per cell, standing for " + rec.weight.toString() + " configurations\n";
  t += "# parent cell (a b c alpha beta gamma): " + parentCell + "\n";
  t += "# supercell matrix (rows: supercell vectors in parent lattice vectors): " + matrix + "\n";
  t += "data_" + name + "\n";
  t += "_audit_creation_method 'telva-order'\n";
  t += "_telva_order_rank " + std::to_string(rec.rank) + "\n";
  t += "_telva_order_weight " + rec.weight.toString() + "\n";
  t += "_telva_order_energy_per_cell_ev " + exactNumber(rec.energyPerCell) + "\n";
  t += "_telva_order_parent_cell '" + parentCell + "'\n";
  t += "_telva_order_supercell_matrix '" + matrix + "'\n";
  const char* cellTags[6] = {"_cell_length_a",    "_cell_length_b",   "_cell_length_c",
                             "_cell_angle_alpha", "_cell_angle_beta", "_cell_angle_gamma"};
  for (int k = 0; k < 6; ++k)
    t += std::string(cellTags[k]) + " " + exactNumber(r.supercell.cell[k]) + "\n";
  t += "_symmetry_space_group_name_H-M 'P 1'\n_symmetry_Int_Tables_number 1\n";
  t += "loop_\n_symmetry_equiv_pos_as_xyz\n'x, y, z'\n";
  const std::vector<OrderedAtom> atoms = orderedAtoms(r, rec.configuration);
  std::map<std::string, double> types;
  for (const OrderedAtom& a : atoms)
    types[typeSymbol(a.element, a.label.substr(0, a.label.rfind('_')), a.charge)] = a.charge;
  t += "loop_\n_atom_type_symbol\n_atom_type_oxidation_number\n";
  for (const auto& [symbol, charge] : types)
    t += symbol + " " + exactNumber(charge) + "\n";
  t += "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n"
       "_atom_site_fract_y\n_atom_site_fract_z\n_atom_site_occupancy\n";
  for (const OrderedAtom& a : atoms)
    t += a.label + " " + typeSymbol(a.element, a.label.substr(0, a.label.rfind('_')), a.charge) +
         " " + exactNumber(a.fractional.x) + " " + exactNumber(a.fractional.y) + " " +
         exactNumber(a.fractional.z) + " 1\n";
  return t;
}

std::string summaryJson(const OrderResult& r, const OrderOptions& o) {
  std::string j = "{\n";
  auto field = [&](const std::string& key, const std::string& value, bool last = false) {
    j += "  " + jsonString(key) + ": " + value + (last ? "\n" : ",\n");
  };
  field("program", jsonString("telva-order"));
  field("source", jsonString(r.crystal.source));
  field("block", jsonString(r.crystal.blockName));
  std::string matrix = "[";
  for (int i = 0; i < 3; ++i)
    matrix += std::string(i ? ", " : "") + "[" + std::to_string(r.supercell.matrix[i][0]) + ", " +
              std::to_string(r.supercell.matrix[i][1]) + ", " +
              std::to_string(r.supercell.matrix[i][2]) + "]";
  field("supercell", matrix + "]");
  std::string cell = "[";
  for (int k = 0; k < 6; ++k)
    cell += std::string(k ? ", " : "") + exactNumber(r.supercell.cell[k]);
  field("supercell_cell", cell + "]");
  field("atoms", std::to_string(r.space.atoms));
  field("sites", std::to_string(r.supercell.sites.size()));
  field("disordered_sites", std::to_string(r.space.size()));
  field("configurations", jsonCount(r.total));
  field("distinct", jsonCount(r.distinct));
  field("operations", std::to_string(r.group.operations));
  field("operations_on_disordered_sites", std::to_string(r.group.onDisordered.size()));
  field("search", jsonString(r.exhaustive ? "exhaustive" : "stochastic"));
  field("complete", r.exhaustive ? "true" : "false");
  field("temperature", exactNumber(o.temperature));
  field("tolerance", exactNumber(o.tolerance));
  std::string orbits = "[";
  for (std::size_t k = 0; k < r.space.orbits.size(); ++k) {
    const OrbitSpace& orbit = r.space.orbits[k];
    const DisorderedPosition& p = r.crystal.positions[orbit.position];
    orbits += std::string(k ? ",\n    " : "\n    ") + "{\"label\": " + jsonString(p.name()) +
              ", \"sites\": " + std::to_string(orbit.sites.size()) + ", \"species\": [";
    for (std::size_t s = 0; s < p.species.size(); ++s) {
      const Species& sp = p.species[s];
      orbits += std::string(s ? ", " : "") + "{\"label\": " + jsonString(sp.label) +
                ", \"element\": " + jsonString(sp.element) +
                ", \"charge\": " + exactNumber(sp.charge) +
                ", \"occupancy\": " + exactNumber(sp.occupancy) +
                ", \"count\": " + std::to_string(r.composition.counts[orbit.position][s]) + "}";
    }
    orbits += "]}";
  }
  field("orbits", orbits + (r.space.orbits.empty() ? "]" : "\n  ]"));
  std::string charges = "[";
  bool first = true;
  for (const DisorderedPosition& p : r.crystal.positions)
    for (const Species& s : p.species) {
      if (s.vacancy) continue;
      charges += std::string(first ? "" : ", ") + "{\"label\": " + jsonString(s.label) +
                 ", \"element\": " + jsonString(s.element) +
                 ", \"charge\": " + exactNumber(s.charge) + "}";
      first = false;
    }
  field("charges", charges + "]");
  field("charges_guessed", r.crystal.chargesGuessed ? "true" : "false");
  field("lowest_energy_per_cell_ev", jsonNumber(r.lowestPerCell));
  field("lowest_energy_per_atom_ev", jsonNumber(r.lowestPerAtom));
  field("written", std::to_string(r.records.size()));
  field("random", r.randomDraw ? "true" : "false");
  field("seed", std::to_string(o.seed));
  field("scored", std::to_string(r.scored));
  field("visited", r.exhaustive ? "null" : std::to_string(r.visited));
  field("found_best", r.exhaustive ? "null" : std::to_string(r.foundBest));
  field("runs", r.exhaustive ? "null" : std::to_string(r.runs));
  field("probability_over",
        jsonString(r.exhaustive ? "all configurations" : "the orderings the search kept"));
  std::string bins = "[";
  for (std::size_t b = 0; b < r.histogram.size(); ++b)
    bins += std::string(b ? ", " : "") + "[" + exactNumber(r.histogram[b].low) + ", " +
            exactNumber(r.histogram[b].high) + ", " +
            std::to_string(r.histogram[b].configurations) + "]";
  field("histogram_above_lowest_per_atom_ev", bins + "]");
  field("ewald_alpha", exactNumber(r.ewald.alpha));
  field("seconds", exactNumber(r.seconds));
  // What the reading chose (labels renamed, charges guessed), then what the run chose.
  std::vector<std::string> told = r.crystal.notes;
  told.insert(told.end(), r.notes.begin(), r.notes.end());
  std::string notes = "[";
  for (std::size_t k = 0; k < told.size(); ++k)
    notes += std::string(k ? ", " : "") + jsonString(told[k]);
  field("notes", notes + "]", true);
  return j + "}\n";
}

void writeOrderingFiles(const std::string& folder, const OrderResult& r,
                        const OrderOptions& options) {
  std::error_code error;
  fs::create_directories(folder, error);
  if (error || !fs::is_directory(folder))
    throw CifError("cannot make the folder " + folder + ": " + error.message());
  std::vector<std::pair<std::string, std::string>> files;
  files.push_back({"orderings.csv", orderingsCsv(r)});
  for (const OrderedRecord& rec : r.records)
    files.push_back({fileNameOf(rec), orderingCif(r, rec)});
  files.push_back({"summary.json", summaryJson(r, options)});
  std::vector<std::string> scratch;
  auto cleanUp = [&] {
    for (const std::string& s : scratch)
      std::remove(s.c_str());
  };
  const mode_t mask = umask(0);
  umask(mask);
  for (const auto& [name, text] : files) {
    std::string path = (fs::path(folder) / ("." + name + ".XXXXXX")).string();
    const int fd = mkstemp(path.data());
    if (fd < 0) {
      const std::string why = std::strerror(errno);
      cleanUp();
      throw CifError("cannot write in " + folder + ": " + why);
    }
    scratch.push_back(path);
    std::FILE* file = fdopen(fd, "wb");
    bool ok = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    ok = file && std::fflush(file) == 0 && ok;
    ok = file && std::fclose(file) == 0 && ok;
    if (!file) close(fd);
    chmod(path.c_str(), 0666 & ~mask);
    if (!ok) {
      cleanUp();
      throw CifError("cannot write " + (fs::path(folder) / name).string());
    }
  }
  // Orderings of an earlier run that this one does not write again.
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("ordering_", 0) == 0 && name.size() > 4 &&
        name.substr(name.size() - 4) == ".cif" &&
        std::none_of(files.begin(), files.end(), [&](const auto& f) { return f.first == name; }))
      fs::remove(entry.path(), error);
  }
  for (std::size_t k = 0; k < files.size(); ++k)
    if (std::rename(scratch[k].c_str(), (fs::path(folder) / files[k].first).c_str()) != 0) {
      const std::string why = std::strerror(errno);
      for (std::size_t rest = k; rest < scratch.size(); ++rest)
        std::remove(scratch[rest].c_str());
      throw CifError("cannot write " + (fs::path(folder) / files[k].first).string() + ": " + why);
    }
}

} // namespace telva
