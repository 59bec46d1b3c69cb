#!/usr/bin/env python3
"""The energy distribution of a telva-order run as a picture: the histogram
of summary.json (energy above the lowest per atom, every configuration
counted with its ordering's weight), for the README.

    tools/order-histogram.py RUN_DIR OUT.png [--title TEXT] [RUN_DIR2 --label ...]

    /usr/bin/python3 tools/order-histogram.py /tmp/pyro docs/order-pyrochlore.png
"""

import argparse
import json
import pathlib

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def histogram(run_dir):
    """(left edges in meV per atom, widths, counts, summary) of one run."""
    summary = json.loads((pathlib.Path(run_dir) / "summary.json").read_text())
    bins = summary["histogram_above_lowest_per_atom_ev"]
    left = [1000.0 * lo for lo, _, _ in bins]
    width = [1000.0 * (hi - lo) for lo, hi, _ in bins]
    counts = [float(n) for _, _, n in bins]
    return left, width, counts, summary


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("run_dir", help="a telva-order output folder (with summary.json)")
    parser.add_argument("out", help="the PNG to write")
    parser.add_argument("--title", default=None)
    args = parser.parse_args()
    left, width, counts, summary = histogram(args.run_dir)
    total = sum(counts)
    fig, ax = plt.subplots(figsize=(6.4, 3.6), dpi=120)
    ax.bar(left, [c / total for c in counts], width=width, align="edge",
           color="#3b6ea8", edgecolor="white", linewidth=0.4)
    ax.set_xlabel("energy above the lowest ordering (meV per atom)")
    ax.set_ylabel("share of all configurations")
    title = args.title or (f"{pathlib.Path(summary['source']).stem}: "
                           f"{summary['configurations']} configurations, "
                           f"{summary['distinct']} distinct")
    ax.set_title(title, fontsize=10)
    ax.margins(x=0.01)
    fig.tight_layout()
    fig.savefig(args.out)
    print(f"wrote {args.out}")


if __name__ == "__main__":
    main()
