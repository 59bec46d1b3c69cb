"""Shared set-up of the telva-screen tests: import paths, a small input set, runs of the
command. The fixtures are in conftest.py."""

import csv
import os
import signal
import subprocess
import sys
import time


HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(os.path.dirname(HERE)))
if HERE not in sys.path:
    sys.path.insert(0, HERE)


def _importable():
    try:
        import telva.screen
    except ImportError:
        return False
    return telva.screen is not None


# The package as built (with its extension), else the sources: the screening
# itself runs on fake processors and needs no extension.
BUILD = os.environ.get("TELVA_BUILD_DIR", os.path.join(REPO, "build"))
for _folder in (os.path.join(BUILD, "python"), os.path.join(REPO, "python")):
    if _importable():
        break
    sys.path.insert(1, _folder)
# Child processes (the command, Dask workers, the per-file children) find the same modules.
os.environ["PYTHONPATH"] = os.pathsep.join([HERE] + [p for p in sys.path if p and p != HERE])

from telva.screen_tables import VOLATILE_COLUMNS  # noqa: E402

PYTHON = sys.executable
# Longest any one screening run of the tests may take.
RUN_SECONDS = 180


def write_fake_set(folder, good=12):
    """A small set of fake CIFs (see fake_processors) with every kind of broken file."""
    os.makedirs(os.path.join(folder, "sub", "deeper"), exist_ok=True)
    for i in range(good):
        where = folder if i % 2 else os.path.join(folder, "sub")
        with open(os.path.join(where, f"s{i:03d}.cif"), "w") as file:
            file.write(f"site Na{i} Na 1 -0.{i + 1}\nsite Cl{i} Cl -1 0.{i + 1}\n")
    broken = {
        "bad.cif": "fail the CIF gives no complete cell\n",
        "empty.cif": "",
        "sub/deeper/crash.cif": "crash\n",
    }
    for name, text in broken.items():
        with open(os.path.join(folder, name), "w") as file:
            file.write(text)
    with open(os.path.join(folder, "binary.cif"), "wb") as file:
        file.write(bytes(range(256)) * 4)
    os.makedirs(os.path.join(folder, "x.cif"))
    os.symlink(os.path.join(folder, "gone.cif"), os.path.join(folder, "dangling.cif"))
    return folder


def command(args, processor="fake_process"):
    """The telva-screen command line run with a processor of fake_processors."""
    code = (
        "import sys\n"
        "from telva.screen import main\n"
        f"from fake_processors import {processor}\n"
        f"sys.exit(main(sys.argv[1:], processor={processor}))\n"
    )
    return [PYTHON, "-c", code] + [str(a) for a in args]


def run_screen(args, processor="fake_process", cwd=None):
    """Run the command to its end; returns the CompletedProcess."""
    return subprocess.run(
        command(args, processor), cwd=cwd, capture_output=True, text=True, timeout=RUN_SECONDS,
        start_new_session=True)


def read_table(path, drop=VOLATILE_COLUMNS):
    """A table's rows as sorted tuples, without the columns that change from run to run."""
    with open(path, newline="") as file:
        reader = csv.DictReader(file)
        rows = [tuple((k, v) for k, v in row.items() if k not in drop) for row in reader]
    return sorted(rows)


def tables(results):
    names = ("structures.csv", "sites.csv")
    return tuple(read_table(os.path.join(results, name)) for name in names)


def stop_group(process):
    """SIGKILL a process started with start_new_session, and all it started."""
    try:
        os.killpg(process.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    process.wait(timeout=30)


def wait_for(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return
        time.sleep(0.05)
    raise AssertionError(f"gave up waiting {seconds} s for {what}")
