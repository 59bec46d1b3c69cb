#include "listing/sections.hpp"

#include <cmath>
#include <optional>

#include "base/capacities.hpp"
#include "base/fault.hpp"
#include "electrostatics/energy_units.hpp"
#include "electrostatics/site_potentials.hpp"
#include "listing/input_file.hpp"
#include "listing/stable_values.hpp"
#include "records/fixed_column.hpp"

namespace telva {

namespace {

const Layout banner = {literal(" ********************************"), recordEnd(),
                       literal(" *            TELVA             *"), recordEnd(),
                       literal(" *   Electrostatic potentials   *"), recordEnd(),
                       literal(" *   and energies of crystals   *"), recordEnd(),
                       literal(" ********************************"), recordEnd()};

const Layout requiredMemoryLine = {recordEnd(),     literal(" Required memory size:"),
                                   integerField(6), integerField(6),
                                   integerField(6), integerField(10),
                                   literal(" ("),   integerField(8),
                                   literal(")")};

const Layout siteHeading = {
    recordEnd(), literal(" Potentials of sites in the asymmetric unit"), recordEnd(), recordEnd(),
    literal("          Charge      W        x        y        z           phi")};
const Layout siteLine = {literal(" "),     textField(8),          fixedField(9, 6),
                         fixedField(9, 6), fixedField(9, 6),      fixedField(9, 6),
                         fixedField(9, 6), scientificField(15, 6)};
const Layout energySection = {recordEnd(),
                              recordEnd(),
                              literal(" Electrostatic energy per asymmetric unit"),
                              recordEnd(),
                              literal(" "),
                              fixedField(13, 6),
                              literal(" e**2/\u00c5 = "),
                              textField(),
                              literal(" ="),
                              fixedField(11, 6),
                              literal(" MJ/mol"),
                              recordEnd()};

// Position records evaluated together.
constexpr std::size_t positionBatch = 256;

const Layout heading = {
    recordEnd(),
    recordEnd(),
    literal(" Potentials at arbitrary positions"),
    recordEnd(),
    recordEnd(),
    literal("   phiw: Potential without contributions from neighboring atoms (N.atom)"),
    recordEnd(),
    literal("   phic: Potential containing contributions from neighboring atoms"),
    recordEnd(),
    recordEnd(),
    literal("      x        y        z          phiw           phic          N.atom   Distance")};
const Layout positionLine = {skip(2),          fixedField(9, 6),       fixedField(9, 6),
                             fixedField(9, 6), scientificField(15, 6), scientificField(15, 6),
                             skip(5),          textField(8),           fixedField(8, 4)};
// The same line when no atom was found to be the neighbour: the label and
// distance columns stay blank, and the line keeps its 80 columns.
const Layout lonePositionLine = {skip(2),          fixedField(9, 6),       fixedField(9, 6),
                                 fixedField(9, 6), scientificField(15, 6), scientificField(15, 6),
                                 skip(21)};

} // namespace

void writeBanner(Listing& listing) {
  listing.write(banner);
}

void writeRequiredMemory(Listing& listing, const CellGeometry& g) {
  listing.write(requiredMemoryLine,
                std::vector<Value>{std::int64_t{g.hmax}, std::int64_t{g.kmax}, std::int64_t{g.lmax},
                                   g.requiredEntries, tableCapacity});
}

std::string electronVoltText(double energy) {
  const std::string field = formatFixed(energy * electronVoltsPerUnit, 13, 5);
  const std::size_t begin = field.find_first_not_of(' ');
  const std::size_t end = field.find_last_not_of(' ');
  return field.substr(begin, end + 1 - begin) + " eV";
}

std::vector<double> listSitePotentials(const CoefficientTable& table, double volume, double radius,
                                       std::span<const Site> sites, Listing& listing) {
  listing.write(siteHeading);
  const std::vector<double> phi = stableSitePotentials(table, volume, radius, sites);
  for (std::size_t i = 0; i < sites.size(); ++i) {
    const Site& site = sites[i];
    listing.write(siteLine, std::vector<Value>{site.label, site.charge, site.W, site.x, site.y,
                                               site.z, phi[i]});
  }
  const double energy = energyPerAsymmetricUnit(sites, phi);
  listing.write(energySection, std::vector<Value>{energy, electronVoltText(energy),
                                                  energy * megajoulesPerMolePerUnit});
  return phi;
}

void listPositions(const PositionContext& context, InputFile& input, Listing& listing) {
  listing.write(heading);
  std::vector<Position> batch;
  // A line whose potentials are not finite numbers (beyond the point charge
  // itself at a distance of zero) is listed, and then ends the run; so is a
  // line without a neighbour among atoms that exist, whose distance to every
  // atom overflowed.
  const bool anyImage = !context.sites.empty() && !context.symOps.empty();
  auto finite = [&](const PositionResult& r) {
    if (anyImage && r.neighbour.site < 0) return false;
    const bool onAtom =
        r.neighbour.site >= 0 && r.neighbour.distance < coincidenceDistance && r.neighbour.inSphere;
    return std::isfinite(r.phiw) && (std::isfinite(r.phic) || (onAtom && !std::isnan(r.phic)));
  };
  auto flush = [&] {
    const std::vector<PositionResult> results = stablePositions(context, batch);
    batch.clear();
    for (const PositionResult& r : results) {
      const Position& p = r.point;
      if (r.neighbour.site < 0) {
        listing.write(lonePositionLine, std::vector<Value>{p.x, p.y, p.z, r.phiw, r.phic});
      } else {
        listing.write(positionLine, std::vector<Value>{p.x, p.y, p.z, r.phiw, r.phic,
                                                       context.sites[r.neighbour.site].label,
                                                       r.neighbour.distance});
      }
      if (!finite(r))
        throw Fault{faults::notFinite, unitText(notFiniteText, inputUnit, input.path())};
    }
  };
  // Records are read a batch at a time and listed in file order; a record
  // that cannot be read still leaves every earlier one listed.
  try {
    while (const std::optional<Position> point = readPosition(input)) {
      batch.push_back(*point);
      if (batch.size() == positionBatch) flush();
    }
  } catch (const Fault&) {
    flush();
    throw;
  }
  flush();
}

} // namespace telva
