"""From a CIF to a small table of site potentials.

    python3 examples/python/site_potentials.py examples/rutile.cif Ti=4 O=-2

Charges come from the CIF's oxidation numbers or type symbols, or from NAME=Z
arguments (an element or a site label). The method is the converged
point-charge sum when this build has it, else the listing's sphere method.
"""

import sys

import telva


def main(argv: list[str]) -> int:
    if not argv:
        print(__doc__.strip().split("\n\n")[1], file=sys.stderr)
        return 2
    charges = {}
    for assignment in argv[1:]:
        name, _, value = assignment.partition("=")
        charges[name] = float(value)
    crystal = telva.from_cif(argv[0], charges=charges or None)
    method = "ewald" if telva.result.ewald_available() else "sphere"
    result = crystal.compute(method=method)
    print(f"{crystal.title}  ({method} method)")
    print(f"{'site':8s} {'Z':>6s} {'mult':>5s} {'phi (e/A)':>12s} {'phi (V)':>10s}")
    for site, phi in zip(crystal.sites, result.site_potentials):
        print(f"{site.label:8s} {site.charge:6.2f} {site.multiplicity:5d} {phi:12.6f} "
              f"{phi * telva.VOLTS_PER_UNIT:10.4f}")
    energy = result.energy.per_cell
    print(f"energy per cell: {energy.ev:.4f} eV = {energy.kj_per_mol:.2f} kJ/mol")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
