#include "cif/charges.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <set>

#include "cif/charge_guess.hpp"

namespace telva {

namespace {

bool sameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

const char* scopePrefix(ChargeScope scope) {
  switch (scope) {
  case ChargeScope::element:
    return "element:";
  case ChargeScope::label:
    return "label:";
  case ChargeScope::type:
    return "type:";
  case ChargeScope::any:
    break;
  }
  return "";
}

// The sites a name picks out in one scope.
std::vector<std::size_t> sitesNamed(const CifCrystal& crystal, const std::string& name,
                                    ChargeScope scope) {
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i < crystal.sites.size(); ++i) {
    const CifSite& s = crystal.sites[i];
    // A type symbol that spells the element itself ("Fe", "fe") names it as
    // the element does; as a type it only names pseudo-atoms and charged forms.
    const bool named =
        scope == ChargeScope::element ? !s.element.empty() && sameText(s.element, name)
        : scope == ChargeScope::label ? s.label == name
                                      : s.typeSymbol == name && !sameText(s.typeSymbol, s.element);
    if (named) out.push_back(i);
  }
  return out;
}

std::string labelList(const CifCrystal& crystal, const std::vector<std::size_t>& sites) {
  std::string out;
  const std::size_t shown = std::min<std::size_t>(sites.size(), 6);
  for (std::size_t k = 0; k < shown; ++k)
    out += (k ? ", " : "") + crystal.sites[sites[k]].label;
  if (sites.size() > shown) out += ", ... (" + std::to_string(sites.size()) + " sites)";
  return out;
}

// The scope a bare name stands for: the one set of sites it names in any
// scope (the most specific scope when several name the same set). nullopt
// when it names nothing; CifError when it names different sets.
std::optional<ChargeScope> bareScope(const CifCrystal& crystal, const ChargeOverride& o) {
  std::vector<std::pair<ChargeScope, std::vector<std::size_t>>> found;
  for (ChargeScope scope : {ChargeScope::label, ChargeScope::type, ChargeScope::element}) {
    auto sites = sitesNamed(crystal, o.name, scope);
    if (!sites.empty()) found.push_back({scope, std::move(sites)});
  }
  if (found.empty()) return std::nullopt;
  std::set<std::vector<std::size_t>> distinct;
  for (const auto& f : found)
    distinct.insert(f.second);
  if (distinct.size() > 1) {
    std::string text = "--charge " + chargeAssignmentText(o) + " names different sites as ";
    std::string choices;
    for (std::size_t k = 0; k < found.size(); ++k) {
      const char* what = found[k].first == ChargeScope::element ? "element"
                         : found[k].first == ChargeScope::label ? "label"
                                                                : "type symbol";
      text +=
          std::string(k ? "; as " : "") + what + " (" + labelList(crystal, found[k].second) + ")";
      ChargeOverride explicitForm = o;
      explicitForm.scope = found[k].first;
      choices += std::string(k ? " or " : "") + "--charge " + chargeAssignmentText(explicitForm);
    }
    CifError e = commandLineError(text + "; say which: " + choices);
    e.showUsage = false; // the command line is well formed; the name needs a scope
    throw e;
  }
  return found.front().first;
}

// A capital and at most one lower-case letter, as an element symbol is written.
bool looksLikeElement(const std::string& name) {
  return (name.size() == 1 || name.size() == 2) &&
         std::isupper(static_cast<unsigned char>(name[0])) &&
         (name.size() == 1 || std::islower(static_cast<unsigned char>(name[1])));
}

const ChargeScope namedScopes[] = {ChargeScope::label, ChargeScope::type, ChargeScope::element};

std::string number(double value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

// The charge suffix of an element's most common oxidation state: O2-, Fe3+, Cl-.
std::string modelSymbol(const std::string& element) {
  const std::vector<int> states = commonOxidationStates(element);
  const int state = states.empty() ? 2 : states.front();
  const int magnitude = std::abs(state);
  return element + (magnitude == 1 ? "" : std::to_string(magnitude)) + (state < 0 ? "-" : "+");
}

// The value of digits already matched as a decimal number; nullopt when it
// overflows.
std::optional<double> decimal(const std::string& digits) {
  const double value = std::strtod(digits.c_str(), nullptr);
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

// A magnitude with the sign "-" or "+" (or none) before or after it.
std::optional<double> withSign(const std::string& sign, std::optional<double> magnitude) {
  if (!magnitude) return std::nullopt;
  return sign == "-" ? -*magnitude : *magnitude;
}

} // namespace

std::string chargeText(double charge) {
  for (int decimals = 0; decimals < 4; ++decimals) {
    const std::string text = number(charge + 0.0, decimals);
    if (std::stod(text) == charge) return text;
  }
  return number(charge + 0.0, 4);
}

std::optional<double> chargeValue(std::string_view text) {
  static const std::regex signed_(R"(^([+-]?)(\d+(?:\.\d*)?|\.\d+)(?:/(\d+))?$)");
  static const std::regex suffixed(R"(^(\d+(?:\.\d*)?|\.\d+)([+-])$)");
  // Longer text is no charge; the regular expressions recurse once a character.
  if (text.size() > 40) return std::nullopt;
  const std::string s(text);
  std::smatch m;
  if (std::regex_match(s, m, signed_)) {
    std::optional<double> value = decimal(m[2].str());
    if (value && m[3].matched) {
      const std::optional<double> denominator = decimal(m[3].str());
      if (!denominator || *denominator == 0 || m[2].str().find('.') != std::string::npos)
        return std::nullopt;
      *value /= *denominator;
    }
    return withSign(m[1].str(), value);
  }
  if (std::regex_match(s, m, suffixed)) return withSign(m[2].str(), decimal(m[1].str()));
  return std::nullopt;
}

ChargeOverride parseChargeAssignment(const std::string& text) {
  const std::size_t eq = text.rfind('=');
  const std::string usage = "--charge needs NAME=Z (as in --charge Fe=3, --charge O=2-, "
                            "--charge Ta=7/3, --charge label:Ge1=3, --charge type:OH=-1), not '" +
                            text + "'";
  if (eq == std::string::npos) throw commandLineError(usage);
  ChargeOverride o;
  std::string name = text.substr(0, eq);
  for (ChargeScope scope : {ChargeScope::element, ChargeScope::label, ChargeScope::type}) {
    const std::string prefix = scopePrefix(scope);
    if (name.compare(0, prefix.size(), prefix) == 0) {
      o.scope = scope;
      name.erase(0, prefix.size());
      break;
    }
  }
  if (name.empty()) throw commandLineError(usage);
  o.name = name;
  const std::optional<double> value = chargeValue(text.substr(eq + 1));
  if (!value)
    throw commandLineError("--charge " + name + ": '" + text.substr(eq + 1) +
                           "' is no charge; write it as 3, -2, 3+, 2- or 7/3");
  o.charge = *value;
  return o;
}

std::string chargeAssignmentText(const ChargeOverride& o) {
  return scopePrefix(o.scope) + o.name + "=" + chargeText(o.charge);
}

std::optional<double> chargeFromTypeSymbol(std::string_view symbol) {
  static const std::regex suffixAfter(R"(^[A-Za-z]+(\d+(?:\.\d+)?)?([+-])$)");
  static const std::regex signFirst(R"(^[A-Za-z]+([+-])(\d+(?:\.\d+)?)$)");
  if (symbol.size() > 40)
    return std::nullopt; // no type symbol; the matching recurses per character
  const std::string s(symbol);
  std::smatch m;
  if (std::regex_match(s, m, suffixAfter))
    return withSign(m[2].str(), m[1].matched ? decimal(m[1].str()) : 1.0);
  if (std::regex_match(s, m, signFirst)) return withSign(m[1].str(), decimal(m[2].str()));
  return std::nullopt;
}

std::vector<UnusedCharge> unusedCharges(const CifCrystal& crystal,
                                        const std::vector<ChargeOverride>& overrides) {
  std::vector<UnusedCharge> unused;
  for (const ChargeOverride& o : overrides) {
    const bool names =
        o.scope == ChargeScope::any
            ? std::any_of(std::begin(namedScopes), std::end(namedScopes),
                          [&](ChargeScope s) { return !sitesNamed(crystal, o.name, s).empty(); })
            : !sitesNamed(crystal, o.name, o.scope).empty();
    if (names) continue;
    const std::string what = o.scope == ChargeScope::label  ? "labelled "
                             : o.scope == ChargeScope::type ? "of type symbol "
                             : o.scope == ChargeScope::element || looksLikeElement(o.name)
                                 ? "of element "
                                 : "labelled or of type symbol ";
    unused.push_back(
        {o, "no site " + what + o.name + "; --charge " + chargeAssignmentText(o) + " not used"});
  }
  return unused;
}

std::vector<std::optional<double>> knownCharges(const CifCrystal& crystal,
                                                const std::vector<ChargeOverride>& overrides) {
  // Each assignment with the scope it stands for.
  std::vector<ChargeOverride> scoped;
  for (ChargeOverride o : overrides) {
    if (o.scope == ChargeScope::any) {
      const std::optional<ChargeScope> scope = bareScope(crystal, o);
      if (!scope)
        throw commandLineError("--charge " + chargeAssignmentText(o) + ": no site is labelled " +
                               o.name + ", has the type symbol " + o.name + " or is of element " +
                               o.name);
      o.scope = *scope;
    } else if (sitesNamed(crystal, o.name, o.scope).empty()) {
      throw commandLineError("--charge " + chargeAssignmentText(o) + ": no site has the " +
                             (o.scope == ChargeScope::element ? "element "
                              : o.scope == ChargeScope::label ? "label "
                                                              : "type symbol ") +
                             o.name);
    }
    scoped.push_back(o);
  }
  // The sites each assignment names, found once (not once per site).
  std::vector<std::vector<bool>> names(scoped.size(),
                                       std::vector<bool>(crystal.sites.size(), false));
  for (std::size_t k = 0; k < scoped.size(); ++k)
    for (std::size_t i : sitesNamed(crystal, scoped[k].name, scoped[k].scope))
      names[k][i] = true;
  std::vector<std::optional<double>> charges;
  for (std::size_t i = 0; i < crystal.sites.size(); ++i) {
    std::optional<double> charge;
    for (ChargeScope scope : {ChargeScope::label, ChargeScope::type, ChargeScope::element}) {
      // The last of repeated assignments wins, as on most command lines.
      for (std::size_t k = 0; k < scoped.size(); ++k)
        if (scoped[k].scope == scope && names[k][i]) charge = scoped[k].charge;
      if (charge) break;
    }
    const CifSite& site = crystal.sites[i];
    if (!charge) {
      const auto found = crystal.oxidationNumbers.find(site.typeSymbol);
      if (found != crystal.oxidationNumbers.end()) charge = found->second;
    }
    if (!charge) charge = chargeFromTypeSymbol(site.typeSymbol);
    charges.push_back(charge);
  }
  return charges;
}

std::vector<double> resolveCharges(const CifCrystal& crystal,
                                   const std::vector<ChargeOverride>& overrides) {
  const std::vector<std::optional<double>> known = knownCharges(crystal, overrides);
  std::vector<double> charges;
  for (const std::optional<double>& c : known) {
    if (!c) throw CifError(missingChargesMessage(crystal, overrides, known, {}));
    charges.push_back(*c);
  }
  return charges;
}

std::string missingChargesMessage(const CifCrystal& crystal,
                                  const std::vector<ChargeOverride>& overrides,
                                  const std::vector<std::optional<double>>& known,
                                  const std::vector<std::pair<std::string, double>>& suggested) {
  // The missing sites grouped by the assignment that would charge them: the
  // element where known, else the type symbol, else the label; the bare name
  // where it is unambiguous.
  struct Group {
    ChargeOverride form;
    std::string element;
    std::vector<std::size_t> sites;
  };
  std::vector<Group> groups;
  for (std::size_t i = 0; i < crystal.sites.size(); ++i) {
    if (known[i]) continue;
    const CifSite& s = crystal.sites[i];
    ChargeOverride form;
    if (!s.element.empty()) {
      form = {s.element, 0, ChargeScope::element};
    } else if (s.typeSymbol != s.label) {
      form = {s.typeSymbol, 0, ChargeScope::type};
    } else {
      form = {s.label, 0, ChargeScope::label};
    }
    ChargeOverride bare = form;
    bare.scope = ChargeScope::any;
    try {
      const std::optional<ChargeScope> scope = bareScope(crystal, bare);
      if (scope &&
          sitesNamed(crystal, form.name, *scope) == sitesNamed(crystal, form.name, form.scope))
        form.scope = ChargeScope::any;
    } catch (const CifError&) {
      // Ambiguous as a bare name: keep the explicit spelling.
    }
    auto same = std::find_if(groups.begin(), groups.end(), [&](const Group& g) {
      return g.form.name == form.name && g.form.scope == form.scope;
    });
    if (same == groups.end()) {
      groups.push_back({form, s.element, {}});
      same = groups.end() - 1;
    }
    same->sites.push_back(i);
  }
  std::size_t missing = 0;
  for (const Group& g : groups)
    missing += g.sites.size();
  std::string text = std::to_string(missing) +
                     (missing == 1 ? " site has no known charge: the CIF gives no "
                                     "_atom_type_oxidation_number for its type, and its type "
                                     "symbol carries no charge"
                                   : " sites have no known charge: the CIF gives no "
                                     "_atom_type_oxidation_number for their types, and their type "
                                     "symbols carry no charge");
  std::string command = crystal.program + " " + (crystal.source.empty() ? "FILE" : crystal.source);
  for (const ChargeOverride& o : overrides)
    command += " --charge " + chargeAssignmentText(o);
  bool allSuggested = true;
  for (const Group& g : groups) {
    text += std::string("\n  ") + (g.sites.size() == 1 ? "site " : "sites ") +
            labelList(crystal, g.sites) + " (type " + crystal.sites[g.sites[0]].typeSymbol;
    if (!g.element.empty())
      text += ", as in " + modelSymbol(g.element) + "): --charge " + scopePrefix(g.form.scope) +
              g.form.name + "=Z";
    else {
      const auto why = crystal.pseudoAtomNotes.find(g.sites[0]);
      text += ", no element" +
              (why == crystal.pseudoAtomNotes.end() ? std::string() : ": " + why->second) +
              "): --charge " + std::string(scopePrefix(g.form.scope)) + g.form.name + "=Z";
    }
    std::string value = "Z";
    for (const auto& [element, charge] : suggested)
      if (!g.element.empty() && element == g.element) value = chargeText(charge);
    if (value == "Z") allSuggested = false;
    command += " --charge " + std::string(scopePrefix(g.form.scope)) + g.form.name + "=" + value;
  }
  text += allSuggested && !suggested.empty()
              ? "\nthe charges --guess-charges would choose, to check and run:\n  " + command
              : "\nrun again with every charge given:\n  " + command;
  return text;
}

} // namespace telva
