"""Stand-ins for the per-file processor, for testing the orchestration alone.

A fake CIF is a text file whose lines are commands: ``site LABEL EL Z PHI``
adds a site with charge Z and potential PHI (e/Angstrom); ``crash`` ends the
process with a segmentation fault, ``hang`` never returns, ``fail TEXT`` raises
a conversion error with TEXT (``\\n`` a line break), ``killworker`` kills
the Dask worker whose child runs it, ``sleep S`` waits S seconds first; ``flaky
MARKER`` crashes unless the file MARKER exists, creating it (so the retry in a
fresh process succeeds).
"""

import os
import signal
import time

from telva.screen_process import VOLTS_PER_E_PER_ANGSTROM


def fake_process(path, settings):
    with open(path, "rb") as file:
        data = file.read()
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        raise ValueError(f"{path}: not a readable CIF: binary content") from None
    if not text.strip():
        raise ValueError(f"{path}: the file is empty")
    sites = []
    for line in text.splitlines():
        word = line.split()
        if not word:
            continue
        if word[0] == "crash":
            os.kill(os.getpid(), signal.SIGSEGV)
        elif word[0] == "killworker":
            os.kill(os.getppid(), signal.SIGKILL)
            time.sleep(60)
        elif word[0] == "hang":
            while True:
                time.sleep(3600)
        elif word[0] == "fail":
            raise ValueError(" ".join(word[1:]).replace("\\n", "\n"))
        elif word[0] == "sleep":
            time.sleep(float(word[1]))
        elif word[0] == "flaky":
            if not os.path.exists(word[1]):
                open(word[1], "w").close()
                os.kill(os.getpid(), signal.SIGSEGV)
        elif word[0] == "site":
            label, element, charge, phi = word[1], word[2], float(word[3]), float(word[4])
            sites.append((label, element, charge, phi))
    if not sites:
        raise ValueError(f"{path}: the CIF lists no atom sites")
    scale = 2.0 if settings.get("method") == "sphere" else 1.0
    volts = [phi * scale * VOLTS_PER_E_PER_ANGSTROM for _, _, _, phi in sites]
    energy = sum(0.5 * q * phi * scale for _, _, q, phi in sites) * VOLTS_PER_E_PER_ANGSTROM
    return {
        "structure": {
            "formula": "".join(sorted({s[1] for s in sites})),
            "z": 1,
            "sites": len(sites),
            "operations": 1,
            "atoms_in_cell": float(len(sites)),
            "table_entries": 0,
            "energy_per_cell_ev": energy,
            "energy_per_formula_unit_ev": energy,
            "potential_min_v": min(volts),
            "potential_max_v": max(volts),
        },
        "sites": [
            {
                "label": label,
                "element": element,
                "charge_e": q,
                "occupancy": 1.0,
                "multiplicity": 1,
                "x": 0.0,
                "y": 0.0,
                "z": 0.0,
                "potential_v": v,
                "site_energy_ev": 0.5 * q * v,
            }
            for (label, element, q, _), v in zip(sites, volts)
        ],
    }


def slow_process(path, settings):
    """fake_process taking at least 0.2 s a file: long enough to kill a run in its middle."""
    time.sleep(0.2)
    return fake_process(path, settings)


def unavailable_process(path, settings):
    """A processor that cannot work in this build: the run stops rather than fill the tables."""
    raise NotImplementedError("this build of telva cannot guess charges")
