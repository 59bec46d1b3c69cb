"""A picture of one plane of the potential map: the (001) plane z = Z of a
crystal, as a colour map in volts with the atoms of the plane marked.

    python3 examples/python/map_slice.py examples/rocksalt.inp map.png [Z]
"""

import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import telva  # noqa: E402


def main(argv: list[str]) -> int:
    if len(argv) < 2:
        print(__doc__.strip().split("\n\n")[1], file=sys.stderr)
        return 2
    crystal = (telva.from_cif(argv[0]) if argv[0].endswith(".cif")
               else telva.read_input(argv[0]))
    z = float(argv[2]) if len(argv) > 2 else 0.0
    n = 64
    u, v = np.meshgrid(np.arange(n) / n, np.arange(n) / n, indexing="ij")
    points = np.stack([u.ravel(), v.ravel(), np.full(n * n, z)], axis=1)
    result = crystal.compute()  # converged point charges
    phiw, phic, neighbour, distance = result.at(points)
    # On an atom the point charge's own potential is infinite: leave it blank.
    volts = np.where(np.isfinite(phic), phic, np.nan).reshape(n, n) * telva.VOLTS_PER_UNIT
    limit = np.nanpercentile(np.abs(volts), 98)
    figure, axes = plt.subplots(figsize=(5, 4.2))
    image = axes.imshow(volts.T, origin="lower", extent=(0, 1, 0, 1), cmap="RdBu_r",
                        vmin=-limit, vmax=limit)
    figure.colorbar(image, label="potential (V)")
    for site in crystal.sites:
        if abs((site.z - z + 0.5) % 1.0 - 0.5) < 1e-6:
            axes.plot(site.x % 1.0, site.y % 1.0, "o", color="k", markersize=4)
            axes.annotate(site.label, (site.x % 1.0, site.y % 1.0), fontsize=7,
                          xytext=(3, 3), textcoords="offset points")
    axes.set_xlabel("x (fraction of a)")
    axes.set_ylabel("y (fraction of b)")
    axes.set_title(f"{crystal.title[:40]}\nplane z = {z:g}", fontsize=9)
    figure.tight_layout()
    figure.savefig(argv[1], dpi=100)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
