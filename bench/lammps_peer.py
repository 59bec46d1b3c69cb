#!/usr/bin/python3
"""TELVA against LAMMPS's PPPM on large P1 cells, side by side in one run.

    bench/lammps_peer.py [--sizes 64000,216000,1000000] [--quick] [--method ewald]
                         [--tolerance 1e-6] [--reference-method ewald]
                         [--reference-tolerance 1e-8] [--reference-max 216000]
                         [--telva-max 216000] [--cutoff 14] [--timeout 1800]

The cells are rock salt (a = 5.64 A), n x n x n conventional cells of 8 ions
in P1, every ion displaced at random by up to 0.1 A along each axis (fixed
seed), so that nothing is symmetric; sizes are 8 n^3 atoms.

For each size:
  - LAMMPS (`lmp`, one process, one thread): units metal, atom_style charge,
    pair_style coul/long at the cutoff (14 A unless told), kspace_style pppm
    at the accuracy 1e-6 (LAMMPS's relative force accuracy), `run 0`, the
    per-atom energies of compute pe/atom (pair + kspace, the self term
    removed) written by a dump. The potential at atom i is
    phi_i = 2 e_i / (q_i * 14.399645) e/A: e_i = q_i phi_i / 2 in eV, and
    14.399645 eV A / e^2 is LAMMPS's own Coulomb constant in metal units
    (its qqr2e), so that the conversion undoes exactly what LAMMPS applied.
  - TELVA (`Crystal.compute(method, tolerance, threads=1)`) on the same cell,
    in a child process of its own (its time and peak memory alone).
  - The reference: TELVA's converged potentials (`--reference-method` at
    `--reference-tolerance`, the Gaussian method at 1e-8 by default), against
    which both are measured: max |phi - phi_ref| over all atoms, e/A.
  - Time: the processor time of each program's computation, and its wall
    time; LAMMPS's figure is its whole process less its own read_data time.
    The ratio printed is LAMMPS's time over TELVA's, both processor time (the
    machine may be shared; wall times are printed alongside).
Sizes above --telva-max (or --reference-max) skip TELVA's timed run (or the
reference): the direct method grows as N^1.4 and would run for many minutes.

Last, the set-up of 10^6 atoms from arrays: telva.from_arrays, and the
multiplicities and closest charged pair (the default sphere radius).

Needs LAMMPS (`tools/install-deps.sh --bench` installs Debian's lammps) and
the built package (build/python, or PYTHONPATH). Every child run is bounded
by --timeout seconds. LAMMPS's peak memory grows with the cell: about 0.45 GB
at 64,000 atoms with the 14 A cutoff, so that 10^6 atoms need several GB.
"""

from __future__ import annotations

import argparse
import json
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

import numpy as np

ROOT = Path(__file__).resolve().parent.parent
EDGE = 5.64  # A, the rock-salt cell
JITTER = 0.1  # A, the largest displacement along each axis
SEED = 1
#: LAMMPS's Coulomb constant in metal units (eV A / e^2), force->qqr2e.
LAMMPS_QQR2E_METAL = 14.399645


def rocksalt_p1(atoms: int) -> tuple[float, np.ndarray, np.ndarray]:
    """(L, fractional (n, 3) reduced into [0, 1), charges (n,)) of a cubic
    P1 cell of `atoms` = 8 n^3 rock-salt ions, every ion displaced."""
    n = round((atoms / 8) ** (1 / 3))
    if 8 * n ** 3 != atoms:
        raise SystemExit(f"a size must be 8 n^3 atoms (64000, 216000, 1000000), not {atoms}")
    base = np.array([[0, 0, 0], [.5, .5, 0], [.5, 0, .5], [0, .5, .5],
                     [.5, 0, 0], [0, .5, 0], [0, 0, .5], [.5, .5, .5]])
    charges = np.tile([1.0, 1, 1, 1, -1, -1, -1, -1], n ** 3)
    grid = np.stack(np.meshgrid(np.arange(n), np.arange(n), np.arange(n), indexing="ij"),
                    axis=-1).reshape(-1, 1, 3)
    length = EDGE * n
    fractional = ((grid + base[None]) / n).reshape(-1, 3)
    rng = np.random.default_rng(SEED)
    fractional += rng.uniform(-JITTER, JITTER, fractional.shape) / length
    fractional -= np.floor(fractional)
    fractional[fractional >= 1.0] = 0.0
    return length, fractional, charges


class Child:
    """A child process bounded in time, with its processor time and peak
    memory from the kernel's account of it."""

    def __init__(self, command: list[str], timeout: float, env: dict | None = None,
                 cwd: str | None = None) -> None:
        start = time.perf_counter()
        process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                   env=env, cwd=cwd)
        killer = threading.Timer(timeout, process.kill)
        killer.start()
        try:
            output = process.stdout.read()  # type: ignore[union-attr]
            _, status, usage = os.wait4(process.pid, 0)
        finally:
            killer.cancel()
        process.returncode = os.waitstatus_to_exitcode(status)
        self.wall = time.perf_counter() - start
        self.cpu = usage.ru_utime + usage.ru_stime
        self.peak_mb = usage.ru_maxrss / 1024
        self.output = output.decode(errors="replace")
        self.status = process.returncode
        if self.status != 0:
            tail = "\n".join(self.output.splitlines()[-15:])
            reason = f"killed after {timeout:g} s" if self.status == -9 else \
                f"status {self.status}"
            raise RuntimeError(f"{command[0]} failed ({reason}):\n{tail}")


def write_lammps_data(path: Path, length: float, fractional: np.ndarray,
                      charges: np.ndarray) -> None:
    n = charges.shape[0]
    xyz = fractional * length
    types = np.where(charges > 0, 1, 2)
    with open(path, "w") as out:
        out.write(f"rock salt P1, {n} ions, each displaced\n\n{n} atoms\n2 atom types\n\n")
        out.write(f"0 {length!r} xlo xhi\n0 {length!r} ylo yhi\n0 {length!r} zlo zhi\n\n")
        out.write("Masses\n\n1 22.98977\n2 35.453\n\nAtoms # charge\n\n")
        table = np.column_stack([np.arange(1, n + 1), types, charges, xyz])
        np.savetxt(out, table, fmt=["%d", "%d", "%.1f", "%.17g", "%.17g", "%.17g"])


LAMMPS_INPUT = """\
units metal
atom_style charge
boundary p p p
read_data {data}
pair_style coul/long {cutoff}
pair_coeff * *
kspace_style pppm {accuracy}
neighbor 1.0 bin
neigh_modify one 10000 page 200000
compute energy all pe/atom
dump potentials all custom 1 {dump} id q c_energy
dump_modify potentials sort id format float %.17g
thermo_style custom step pe
run 0
"""


def run_lammps(work: Path, length: float, fractional: np.ndarray, charges: np.ndarray,
               args: argparse.Namespace) -> dict:
    data, dump, script = work / "cell.data", work / "potentials.dump", work / "in.peer"
    write_lammps_data(data, length, fractional, charges)
    script.write_text(LAMMPS_INPUT.format(data=data, dump=dump, cutoff=args.cutoff,
                                          accuracy=args.lammps_accuracy))
    env = dict(os.environ, OMP_NUM_THREADS="1")
    child = Child([args.lmp, "-in", str(script), "-log", str(work / "log.lammps"),
                   "-screen", "none"], args.timeout, env=env, cwd=str(work))
    log = (work / "log.lammps").read_text()
    read = 0.0
    for line in log.splitlines():
        if "read_data CPU =" in line:
            read = float(line.split("=")[1].split()[0])
    energies = np.loadtxt(dump, skiprows=9)
    energies = energies[np.argsort(energies[:, 0])]
    potentials = 2 * energies[:, 2] / (energies[:, 1] * LAMMPS_QQR2E_METAL)
    return {"cpu": child.cpu - read, "wall": child.wall - read, "read": read,
            "peak_mb": child.peak_mb, "potentials": potentials}


def telva_child(args: argparse.Namespace) -> None:
    """In the child: one computation of one size, its times and potentials."""
    sys.path.insert(0, str(ROOT / "build" / "python"))
    import telva
    length, fractional, charges = rocksalt_p1(args.atoms)
    cpu, wall = time.process_time(), time.perf_counter()
    crystal = telva.from_arrays([length] * 3 + [90.0] * 3, fractional, charges)
    setup = (time.process_time() - cpu, time.perf_counter() - wall)
    cpu, wall = time.process_time(), time.perf_counter()
    result = crystal.compute(method=args.method, tolerance=args.tolerance, threads=args.threads)
    compute = (time.process_time() - cpu, time.perf_counter() - wall)
    np.save(args.output, np.asarray(result.site_potentials))
    print(json.dumps({"setup_cpu": setup[0], "setup_wall": setup[1], "cpu": compute[0],
                      "wall": compute[1], "method": result.method,
                      "peak_mb": resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024}))


def run_telva(work: Path, atoms: int, method: str, tolerance: float,
              args: argparse.Namespace) -> dict:
    output = work / f"telva_{method}_{tolerance:g}.npy"
    child = Child([sys.executable, __file__, "--telva-child", "--atoms", str(atoms),
                   "--method", method, "--tolerance", repr(tolerance),
                   "--threads", str(args.threads), "--output", str(output)], args.timeout)
    report = json.loads(child.output.strip().splitlines()[-1])
    report["potentials"] = np.load(output)
    return report


def setup_timing(atoms: int) -> None:
    """from_arrays and the site geometry of `atoms` atoms, in this process."""
    sys.path.insert(0, str(ROOT / "build" / "python"))
    import telva
    length, fractional, charges = rocksalt_p1(atoms)
    cpu, wall = time.process_time(), time.perf_counter()
    crystal = telva.from_arrays([length] * 3 + [90.0] * 3, fractional, charges)
    built = (time.process_time() - cpu, time.perf_counter() - wall)
    cpu, wall = time.process_time(), time.perf_counter()
    radius = crystal.default_radius()
    geometry = (time.process_time() - cpu, time.perf_counter() - wall)
    print(f"set-up of {atoms} atoms from arrays: from_arrays {built[0]:.3f} s "
          f"(wall {built[1]:.3f} s); multiplicities and closest charged pair "
          f"{geometry[0]:.3f} s (wall {geometry[1]:.3f} s), default R {radius} A")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--sizes", default="64000,216000,1000000",
                        help="atoms per cell, 8 n^3 each, comma-separated")
    parser.add_argument("--quick", action="store_true", help="64000 atoms only")
    parser.add_argument("--method", default="ewald", help="TELVA's method under test")
    parser.add_argument("--tolerance", type=float, default=1e-6, help="its tolerance, e/A")
    parser.add_argument("--threads", type=int, default=1)
    parser.add_argument("--reference-method", default="ewald")
    parser.add_argument("--reference-tolerance", type=float, default=1e-8)
    parser.add_argument("--reference-max", type=int, default=216000,
                        help="largest cell given a reference")
    parser.add_argument("--telva-max", type=int, default=216000,
                        help="largest cell TELVA's method is timed on")
    parser.add_argument("--cutoff", type=float, default=14.0,
                        help="LAMMPS's real-space cutoff, A (at 64,000 atoms 14 is faster and "
                        "smaller than 10 or 12: the mesh is the larger part)")
    parser.add_argument("--lammps-accuracy", type=float, default=1e-6)
    parser.add_argument("--lmp", default=shutil.which("lmp") or "/usr/bin/lmp")
    parser.add_argument("--timeout", type=float, default=1800, help="seconds per child run")
    parser.add_argument("--setup-atoms", type=int, default=1000000)
    # The child's own arguments.
    parser.add_argument("--telva-child", action="store_true", help=argparse.SUPPRESS)
    parser.add_argument("--atoms", type=int, help=argparse.SUPPRESS)
    parser.add_argument("--output", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.telva_child:
        telva_child(args)
        return
    if not os.access(args.lmp, os.X_OK):
        print(f"LAMMPS peer skipped: no lmp at {args.lmp} (tools/install-deps.sh --bench)")
        setup_timing(args.setup_atoms)
        return
    sizes = [64000] if args.quick else [int(s) for s in args.sizes.split(",") if s]
    print(f"LAMMPS PPPM (accuracy {args.lammps_accuracy:g}, coul/long cutoff {args.cutoff:g} A, "
          f"one process, one thread) against TELVA {args.method} at {args.tolerance:g} e/A "
          f"({args.threads} thread(s)); errors against TELVA {args.reference_method} at "
          f"{args.reference_tolerance:g}; times are processor seconds (wall in brackets)")
    print(f"{'atoms':>9} {'LAMMPS s':>16} {'LAMMPS err':>11} {'LAMMPS MB':>10} "
          f"{'TELVA s':>16} {'TELVA err':>11} {'TELVA MB':>9} {'ratio':>7}")
    for atoms in sizes:
        length, fractional, charges = rocksalt_p1(atoms)
        with tempfile.TemporaryDirectory(prefix="telva_lammps_") as folder:
            work = Path(folder)
            lammps = run_lammps(work, length, fractional, charges, args)
            reference = None
            if atoms <= args.reference_max:
                reference = run_telva(work, atoms, args.reference_method,
                                      args.reference_tolerance, args)["potentials"]
            telva = None
            if atoms <= args.telva_max:
                telva = run_telva(work, atoms, args.method, args.tolerance, args)

        def error(values: np.ndarray | None) -> str:
            if values is None or reference is None:
                return "-"
            return f"{np.max(np.abs(values - reference)):.2e}"

        lammps_time = f"{lammps['cpu']:.2f} ({lammps['wall']:.1f})"
        if telva is None:
            telva_time, telva_err, telva_mb, ratio = "-", "-", "-", "-"
        else:
            telva_time = f"{telva['cpu']:.2f} ({telva['wall']:.1f})"
            telva_err = error(telva["potentials"])
            telva_mb = f"{telva['peak_mb']:.0f}"
            ratio = f"{lammps['cpu'] / telva['cpu']:.2f}"
        print(f"{atoms:>9} {lammps_time:>16} {error(lammps['potentials']):>11} "
              f"{lammps['peak_mb']:>10.0f} {telva_time:>16} {telva_err:>11} {telva_mb:>9} "
              f"{ratio:>7}", flush=True)
    setup_timing(args.setup_atoms)


if __name__ == "__main__":
    main()
