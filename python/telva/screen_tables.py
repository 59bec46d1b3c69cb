"""The result tables of a screening run and the journal they are built from.

Every finished batch is written to ``RESULTS_DIR/batches/`` as two complete
CSV files, ``NAME.sites.csv`` and then ``NAME.structures.csv``, each written to
a temporary file in the same folder and renamed into place. The rename of the
structures file commits the batch: a sites file without its structures file
is what a run killed between the two renames leaves, and is removed when the
folder is opened again. ``structures.csv`` and ``sites.csv`` at the top of the
folder are the concatenation of every committed batch, rebuilt (again through
a temporary file and a rename) at intervals during a run and at its end, so
that both are well-formed whenever they are read.
"""

import csv
import io
import json
import os
import re
import tempfile

from telva._core import __version__

STRUCTURE_COLUMNS = (
    "path",
    "sha256",
    "status",
    "message",
    "formula",
    "z",
    "sites",
    "operations",
    "atoms_in_cell",
    "radius_angstrom",
    "qmax_per_angstrom",
    "ewald_alpha_per_angstrom",
    "ewald_cutoff_angstrom",
    "table_entries",
    "energy_per_cell_ev",
    "energy_per_formula_unit_ev",
    "potential_min_v",
    "potential_max_v",
    "seconds",
    "worker",
)

SITE_COLUMNS = (
    "path",
    "sha256",
    "label",
    "element",
    "charge_e",
    "occupancy",
    "multiplicity",
    "x",
    "y",
    "z",
    "potential_v",
    "site_energy_ev",
)

# Columns that differ from run to run for the same input (timing, placement).
VOLATILE_COLUMNS = ("seconds", "worker")

STRUCTURES = "structures.csv"
SITES = "sites.csv"
SETTINGS = "settings.json"
# The key of settings.json that names the version which began the folder; a
# later version may resume it, so the key is not among the settings compared.
VERSION_KEY = "telva_version"
BATCHES = "batches"
_STRUCTURES_SUFFIX = ".structures.csv"
_SITES_SUFFIX = ".sites.csv"
_TEMPORARY = re.compile(r"^\..*\.tmp$")


class ResultsError(Exception):
    """The results folder cannot be used: its text says why and what to do."""


def one_line(text):
    """A message on one line, so that each table row stays one line for line tools:
    its lines joined by '; ' (by a blank after a line ending in ':' or ',')."""
    joined = ""
    for line in (part.strip() for part in str(text).splitlines()):
        if line:
            joined += ("" if not joined else " " if joined[-1] in ":,;" else "; ") + line
    return joined


def format_value(value):
    """One CSV field: floats written as the shortest text that reads back exactly."""
    if value is None:
        return ""
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, float):
        return repr(float(value))
    return str(value)


def _csv_text(columns, rows):
    buffer = io.StringIO()
    writer = csv.writer(buffer, lineterminator="\n")
    writer.writerow(columns)
    for row in rows:
        writer.writerow([format_value(row.get(c)) for c in columns])
    return buffer.getvalue()


def write_atomically(path, write):
    """Call write(file) on a temporary file beside path, then rename it to path.

    A reader sees the former file or the whole new one, never a part; the
    temporary file is removed when write fails.
    """
    folder = os.path.dirname(path) or "."
    prefix = "." + os.path.basename(path) + "."
    fd, temporary = tempfile.mkstemp(prefix=prefix, suffix=".tmp", dir=folder)
    try:
        with os.fdopen(fd, "w", encoding="utf-8", newline="") as file:
            write(file)
            file.flush()
            os.fsync(file.fileno())
        os.replace(temporary, path)
    except BaseException:
        try:
            os.unlink(temporary)
        except OSError:
            pass
        raise


def _read_rows(path):
    with open(path, newline="", encoding="utf-8") as file:
        return list(csv.DictReader(file))


class ResultsFolder:
    """The folder of one screening: its settings, its batch journal, its two tables."""

    def __init__(self, path, settings):
        self.path = path
        self.batches = os.path.join(path, BATCHES)
        try:
            os.makedirs(self.batches, exist_ok=True)
        except OSError as error:
            raise ResultsError(
                f"cannot create the results folder {path}: {error.strerror}") from None
        self._check_settings(settings)
        self._remove_debris()

    def _check_settings(self, settings):
        """A folder holds the results of one set of settings: refuse to mix two."""
        path = os.path.join(self.path, SETTINGS)
        wanted = json.loads(json.dumps(settings, sort_keys=True))
        if os.path.exists(path):
            try:
                with open(path, encoding="utf-8") as file:
                    held = json.load(file)
            except (OSError, ValueError) as error:
                raise ResultsError(f"cannot read {path}: {error}; "
                                   "remove the folder or choose another -o") from None
            if not isinstance(held, dict):
                raise ResultsError(f"{path} holds no settings (not a JSON object); "
                                   "remove the folder or choose another -o")
            held.pop(VERSION_KEY, None)
            if held != wanted:
                keys = sorted(k for k in set(held) | set(wanted) if held.get(k) != wanted.get(k))
                told = ", ".join(f"{k}: {held.get(k)!r} there, {wanted.get(k)!r} now" for k in keys)
                raise ResultsError(
                    f"{self.path} holds results computed with other settings ({told}); "
                    "rerun with the same options or choose another -o")
        else:
            text = json.dumps(dict(wanted, **{VERSION_KEY: __version__}), indent=1,
                              sort_keys=True) + "\n"
            write_atomically(path, lambda file: file.write(text))

    def _remove_debris(self):
        """Remove temporary files and uncommitted sites files left by a killed run."""
        names = set(os.listdir(self.batches))
        for name in names:
            stale = _TEMPORARY.match(name) is not None
            if name.endswith(_SITES_SUFFIX):
                stale = name[: -len(_SITES_SUFFIX)] + _STRUCTURES_SUFFIX not in names
            if stale:
                os.unlink(os.path.join(self.batches, name))
        for name in os.listdir(self.path):
            if _TEMPORARY.match(name):
                os.unlink(os.path.join(self.path, name))

    def _batch_names(self):
        suffix = _STRUCTURES_SUFFIX
        return sorted(n[: -len(suffix)] for n in os.listdir(self.batches) if n.endswith(suffix))

    def structure_rows(self):
        """Every committed structure row, in the order the batches were written."""
        rows = []
        for name in self._batch_names():
            rows.extend(_read_rows(os.path.join(self.batches, name + _STRUCTURES_SUFFIX)))
        return rows

    def done_keys(self):
        """What the folder already holds: the sha256 values, and the paths whose row has none."""
        hashes, unhashed_paths = set(), set()
        for row in self.structure_rows():
            if row["sha256"]:
                hashes.add(row["sha256"])
            else:
                unhashed_paths.add(row["path"])
        return hashes, unhashed_paths

    def write_batch(self, name, structure_rows, site_rows):
        """Commit one batch: its sites file, then its structures file, each renamed into place."""
        base = os.path.join(self.batches, name)
        sites = _csv_text(SITE_COLUMNS, site_rows)
        structures = _csv_text(STRUCTURE_COLUMNS, structure_rows)
        write_atomically(base + _SITES_SUFFIX, lambda file: file.write(sites))
        write_atomically(base + _STRUCTURES_SUFFIX, lambda file: file.write(structures))

    def merge(self):
        """Rebuild structures.csv and sites.csv from every committed batch."""
        for table, suffix, columns in (
            (STRUCTURES, _STRUCTURES_SUFFIX, STRUCTURE_COLUMNS),
            (SITES, _SITES_SUFFIX, SITE_COLUMNS),
        ):
            self._concatenate(os.path.join(self.path, table), suffix, columns)

    def _concatenate(self, path, suffix, columns):
        header = ",".join(columns) + "\n"
        names = self._batch_names()

        def write(out):
            out.write(header)
            for name in names:
                part_path = os.path.join(self.batches, name + suffix)
                with open(part_path, encoding="utf-8", newline="") as part:
                    first = part.readline()
                    if first != header:
                        raise ResultsError(
                            f"{part_path} has the columns {first.strip()!r}, not those of "
                            "this version; choose another -o")
                    for block in iter(lambda: part.read(1 << 20), ""):
                        out.write(block)

        write_atomically(path, write)
