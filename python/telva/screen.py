"""telva-screen: site potentials and energies of many structures, on Dask.

    telva-screen PATH... -o RESULTS_DIR [--charge NAME=Z]... [--guess-charges]
                 [--method ewald|auto|pme|sphere] [--tolerance T]
                 [--scheduler ADDRESS | --workers N] [--batch K] [--timeout S]
                 [--max-memory M]

The files are handed to Dask in batches; every batch's rows are committed to
the results folder as soon as it ends (see ``screen_tables``), every file runs
in a child process of its worker (see ``screen_sandbox``), and a rerun of the
same command skips every file whose sha256 already has a row.

``screen()`` is the same run as a function; its ``processor`` argument (a
picklable ``f(path, settings) -> {"structure": ..., "sites": [...]}``, by
default ``screen_process.process_cif``) is what is done with each file.
"""

import argparse
import concurrent.futures
import dataclasses
import logging
import math
import os
import re
import shutil
import sys
import tempfile
import time
import uuid

from telva._core import __version__
from telva.screen_process import process_cif
from telva.screen_sandbox import ScreenAbort, error_message, file_sha256, screen_batch
from telva.screen_tables import ResultsError, ResultsFolder

PROGRAM = "telva-screen"
# A task should take about this many seconds: long against Dask's per-task
# cost (milliseconds), short enough to spread the files evenly over the workers.
TASK_SECONDS = 1.0
# Files of the first batches, before the time per file is known.
FIRST_BATCH = 2
MAX_BATCH = 5000
# Tasks kept waiting per worker thread, so that no worker idles between batches.
TASKS_PER_THREAD = 2
# Seconds between two rebuilds of the merged tables during a run.
MERGE_SECONDS = 30.0
DEFAULT_TIMEOUT = 300.0
# Rounds of KilledWorker a file alone in its task goes through before its error row.
LOST_ROUNDS = 1
_CIF_NAME = re.compile(r"\.cif(\.gz)?$", re.IGNORECASE)
_MEMORY = re.compile(r"^\s*([0-9]*\.?[0-9]+)\s*([kmgt]?)i?b?\s*$", re.IGNORECASE)
_CHARGE = re.compile(r"^\s*([0-9]*\.?[0-9]+)\s*(?:/\s*([0-9]*\.?[0-9]+))?\s*$")


class UsageError(Exception):
    """A command line or an input list that cannot be used."""


@dataclasses.dataclass
class Summary:
    """What a run did."""

    files: int = 0
    ok: int = 0
    error: int = 0
    skipped: int = 0
    seconds: float = 0.0
    tasks: int = 0
    interrupted: bool = False

    def line(self, results):
        rate = (self.ok + self.error) / self.seconds if self.seconds > 0 else 0.0
        state = "interrupted" if self.interrupted else "done"
        return (
            f"{PROGRAM}: {state}: {self.files} files: {self.ok} ok, {self.error} error, "
            f"{self.skipped} already in the tables; {self.seconds:.1f} s, {rate:.1f} files/s "
            f"in {self.tasks} tasks; tables in {results}"
        )


def is_cif_name(path):
    return _CIF_NAME.search(path) is not None


def _search(folder):
    """Every *.cif and *.cif.gz under folder (a folder so named included), in a stable order."""
    found = []
    for root, folders, files in os.walk(folder):
        folders.sort()
        names = sorted(set(files) | set(folders))
        found.extend(os.path.join(root, n) for n in names if is_cif_name(n))
    return sorted(found)


def _listed(list_path):
    """The paths of a file of paths, one a line; relative ones are relative to the list's folder."""
    try:
        with open(list_path, encoding="utf-8") as file:
            lines = file.read().splitlines()
    except UnicodeDecodeError:
        raise UsageError(
            f"{list_path}: not a text file of paths (nor named *.cif or *.cif.gz)") from None
    except OSError as error:
        raise UsageError(f"{list_path}: cannot read the list of paths: {error.strerror}") from None
    folder = os.path.dirname(list_path)
    paths = []
    for line in lines:
        entry = line.strip()
        if entry and not entry.startswith("#"):
            paths.append(entry if os.path.isabs(entry) else os.path.join(folder, entry))
    return paths


def collect_inputs(paths):
    """(absolute path, path as shown) for every CIF named, found in a folder or listed.

    A path named *.cif or *.cif.gz is a CIF (a folder so named is searched
    when named on the command line, and is an input of its own when found in a
    folder or a list, where it gets an error row); any other folder is
    searched recursively; any other file is a list of paths.
    """
    found = []
    for path in paths:
        if os.path.isdir(path):
            found.extend(_search(path))
        elif is_cif_name(path):
            found.append(path)
        elif os.path.exists(path):
            found.extend(_listed(path))
        else:
            raise UsageError(f"{path}: no such file or folder")
    seen = set()
    inputs = []
    for shown in found:
        absolute = os.path.abspath(shown)
        if absolute not in seen:
            seen.add(absolute)
            inputs.append((absolute, os.path.normpath(shown)))
    return inputs


def parse_charge(text):
    """--charge NAME=Z: Z as a number, a fraction (7/3) or with its sign after it (3+, 2-)."""
    name, equals, value = text.partition("=")
    value = value.strip()
    sign = 1.0
    if value[-1:] in ("+", "-") and value[:-1].strip() and value[:-1].strip()[0] not in "+-":
        sign = -1.0 if value[-1] == "-" else 1.0
        value = value[:-1]
    elif value[:1] in ("+", "-"):
        sign = -1.0 if value[0] == "-" else 1.0
        value = value[1:]
    match = _CHARGE.match(value)
    if not equals or not name.strip() or match is None:
        raise argparse.ArgumentTypeError(
            f"'{text}' is not NAME=Z (e.g. O=-2, Fe1=3, Fe=3+, Ta=7/3)")
    number = float(match.group(1))
    if match.group(2) is not None:
        denominator = float(match.group(2))
        if denominator == 0:
            raise argparse.ArgumentTypeError(f"'{text}': the charge divides by zero")
        number /= denominator
    return name.strip(), sign * number


def parse_memory(text):
    """A size such as 2GB, 512M, 1.5GiB or 1000000 (bytes), in bytes."""
    match = _MEMORY.match(text)
    if match is None:
        raise argparse.ArgumentTypeError(f"'{text}' is not a size (e.g. 2GB, 512MB, 1000000)")
    scale = {"": 1, "k": 2**10, "m": 2**20, "g": 2**30, "t": 2**40}[match.group(2).lower()]
    size = int(float(match.group(1)) * scale)
    if size <= 0:
        raise argparse.ArgumentTypeError(f"'{text}': the size must be positive")
    return size


def _positive(kind):
    def parse(text):
        try:
            value = kind(text)
        except ValueError:
            raise argparse.ArgumentTypeError(f"'{text}' is not a number") from None
        if not (value > 0) or (isinstance(value, float) and not math.isfinite(value)):
            raise argparse.ArgumentTypeError(f"'{text}' must be a positive number")
        return value

    return parse


def _parser():
    parser = argparse.ArgumentParser(
        prog=PROGRAM,
        description="Site potentials and energies of many structures, on Dask: one row per "
        "file in RESULTS_DIR/structures.csv, one per site in RESULTS_DIR/sites.csv.",
    )
    add = parser.add_argument
    add("paths", nargs="+", metavar="PATH",
        help="CIFs, folders searched for *.cif and *.cif.gz, or files of paths")
    add("-o", "--output", required=True, metavar="RESULTS_DIR",
        help="folder of the tables; a rerun resumes it")
    add("--charge", action="append", type=parse_charge, default=[], metavar="NAME=Z",
        help="charge of an element or a site label, as telva-cif takes it; repeatable")
    add("--guess-charges", action="store_true", help="guess charges for CIFs that carry none")
    add("--strict", action="store_true", help="a cell that is not neutral is an error")
    # The default stays ewald: a results folder records its method, and a
    # rerun of a folder made before auto existed must find the same settings.
    add("--method", choices=("ewald", "auto", "pme", "sphere"), default="ewald",
        help="ewald: converged point charges (default); pme: the same by a particle mesh, "
             "for large cells; auto: pme for a large cell, else ewald; sphere: the telva "
             "listing's numbers")
    add("--tolerance", type=_positive(float), default=1e-8, metavar="T",
        help="accuracy of the ewald, pme and auto methods in e/Angstrom (default 1e-8)")
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--scheduler", metavar="ADDRESS",
                       help="a running Dask scheduler, e.g. tcp://head:8786")
    where.add_argument("--workers", type=_positive(int), metavar="N",
                       help="worker processes of the local cluster (default: one per core)")
    add("--batch", type=_positive(int), metavar="K",
        help="files per task (default: as many as take about a second)")
    add("--timeout", type=_positive(float), default=DEFAULT_TIMEOUT, metavar="S",
        help=f"seconds one file may take before its process is killed "
             f"(default {DEFAULT_TIMEOUT:g})")
    add("--max-memory", type=parse_memory, metavar="M",
        help="largest table one structure may take, e.g. 2GB")
    add("--version", action="version", version=f"{PROGRAM} {__version__}")
    return parser


def settings_of(args):
    """The settings that decide a file's row: a results folder holds one set of them."""
    settings = {
        "method": args.method,
        "charges": dict(args.charge),
        "guess_charges": args.guess_charges,
        "strict": args.strict,
    }
    if args.method != "sphere":
        settings["tolerance"] = args.tolerance
    return settings


def _pending(inputs, folder):
    """The inputs the folder holds no row for, and how many it does."""
    hashes, unhashed_paths = folder.done_keys()
    if not hashes and not unhashed_paths:
        return inputs, 0
    with concurrent.futures.ThreadPoolExecutor(max_workers=8) as pool:
        digests = list(pool.map(lambda entry: file_sha256(entry[0])[0], inputs))
    pending = []
    for entry, digest in zip(inputs, digests):
        done = digest in hashes if digest else entry[1] in unhashed_paths
        if not done:
            pending.append(entry)
    return pending, len(inputs) - len(pending)


def _start_client(scheduler, workers):
    from distributed import Client, LocalCluster

    if scheduler:
        try:
            return Client(scheduler, timeout="30s"), None, None
        except (OSError, TimeoutError) as error:
            raise UsageError(f"cannot reach the Dask scheduler at {scheduler}: {error}") from None
    count = workers or len(os.sched_getaffinity(0))
    # A folder of its own for the workers' scratch space: Dask's shared one holds
    # what killed runs left, which it reports as it clears it.
    scratch = tempfile.mkdtemp(prefix="telva-screen-dask-")
    cluster = LocalCluster(
        n_workers=count,
        threads_per_worker=1,
        processes=True,
        dashboard_address=":0",
        scheduler_kwargs={"dashboard": False},
        local_directory=scratch,
        silence_logs=logging.ERROR,
    )
    return Client(cluster), cluster, scratch


def _progress_bar(total):
    if not sys.stderr.isatty():
        return None
    from tqdm import tqdm

    return tqdm(total=total, unit=" files", file=sys.stderr, dynamic_ncols=True)


class _Batcher:
    """Cuts the pending files into batches that each take about TASK_SECONDS."""

    def __init__(self, pending, fixed):
        self.pending = pending
        self.next = 0
        self.fixed = fixed
        self.files_timed = 0
        self.seconds_timed = 0.0

    def record(self, files, seconds):
        self.files_timed += files
        self.seconds_timed += seconds

    def take(self, threads):
        if self.next >= len(self.pending):
            return None
        if self.fixed:
            size = self.fixed
        elif self.files_timed == 0:
            size = FIRST_BATCH
        else:
            per_file = max(self.seconds_timed / self.files_timed, 1e-6)
            size = int(min(MAX_BATCH, max(1, round(TASK_SECONDS / per_file))))
            # Near the end, smaller batches keep every worker busy to the last file.
            left = len(self.pending) - self.next
            size = max(1, min(size, math.ceil(left / (TASKS_PER_THREAD * max(threads, 1)))))
        batch = self.pending[self.next : self.next + size]
        self.next += len(batch)
        return batch


def _lost_row(entry):
    """The error row of a file alone in its task whose workers all died running it."""
    absolute, shown = entry
    sha256, _ = file_sha256(absolute)
    return {
        "structure": {
            "path": shown,
            "sha256": sha256,
            "status": "error",
            "message": "its Dask worker died each time it ran this file, "
                       "until the scheduler gave up (KilledWorker)",
            "seconds": None,
            "worker": "",
        },
        "sites": [],
    }


def screen(
    paths,
    results,
    settings,
    processor=process_cif,
    scheduler=None,
    workers=None,
    batch=None,
    timeout=DEFAULT_TIMEOUT,
    max_memory=None,
    progress=True,
):
    """Screen every CIF of paths into the results folder; returns a Summary.

    processor(path, settings) is run on each file in a child process of a
    worker; it returns {"structure": {...}, "sites": [...]} or raises an
    exception whose text is the file's error message.
    """
    inputs = collect_inputs(paths)
    folder = ResultsFolder(results, settings)
    folder.merge()
    pending, skipped = _pending(inputs, folder)
    summary = Summary(files=len(inputs), skipped=skipped)
    task_settings = dict(settings, max_memory=max_memory)
    started = time.monotonic()
    if not pending:
        summary.seconds = time.monotonic() - started
        return summary

    from distributed import as_completed
    from distributed.scheduler import KilledWorker

    client, cluster, scratch = _start_client(scheduler, workers)
    bar = _progress_bar(len(pending)) if progress else None
    run = time.strftime("%Y%m%dT%H%M%S", time.gmtime()) + "-" + uuid.uuid4().hex[:8]
    batcher = _Batcher(pending, batch)
    futures = {}
    last_merge = time.monotonic()
    merge_every = MERGE_SECONDS
    written = 0
    rounds = {}

    known = {"threads": 1, "asked": -math.inf}

    def threads():
        """Worker threads of the cluster, asked of the scheduler at most once a second."""
        if time.monotonic() - known["asked"] > 1.0:
            known["threads"] = sum(client.nthreads().values()) or 1
            known["asked"] = time.monotonic()
        return known["threads"]

    def submit(entries):
        summary.tasks += 1
        future = client.submit(
            screen_batch,
            [tuple(e) for e in entries],
            task_settings,
            processor,
            timeout,
            key=f"telva-screen-{run}-{summary.tasks:07d}",
            pure=False,
        )
        futures[future] = entries
        return future

    def finished(future):
        """The records of a finished task; none when its files were handed out again."""
        entries = futures.pop(future)
        try:
            answer = future.result()
        except KilledWorker:
            # Split the batch, so that a file that kills its worker takes only itself
            # down; a file alone gets one more round, as the scheduler may blame a task
            # that merely waited on a worker another file killed.
            alone = len(entries) == 1
            if alone and rounds.get(entries[0], 0) >= LOST_ROUNDS:
                return [_lost_row(entries[0])]
            for entry in entries:
                rounds[entry] = rounds.get(entry, 0) + alone
                queue.add(submit([entry]))
            return []
        except ScreenAbort:
            raise
        except Exception as error:  # noqa: BLE001 - the task itself cannot run here
            raise ScreenAbort(f"a Dask task failed: {error_message(error)}") from None
        batcher.record(len(entries), answer["seconds"])
        return answer["records"]

    if scheduler and not client.nthreads():
        print(f"{PROGRAM}: the scheduler at {scheduler} has no workers yet; "
              "the files wait for the first to join", file=sys.stderr)
    queue = as_completed()
    try:
        for _ in range(TASKS_PER_THREAD * threads()):
            entries = batcher.take(threads())
            if entries is None:
                break
            queue.add(submit(entries))
        # Every task finished since the last commit is committed at once: a commit
        # costs two synced files, so many workers finishing together share one.
        for done in queue.batches():
            records = [r for future in done for r in finished(future)]
            if records:
                written += 1
                folder.write_batch(
                    f"{run}-{written:07d}",
                    [r["structure"] for r in records],
                    [site for r in records for site in r["sites"]],
                )
            for record in records:
                if record["structure"]["status"] == "ok":
                    summary.ok += 1
                else:
                    summary.error += 1
            if bar is not None and records:
                bar.update(len(records))
                bar.set_postfix(ok=summary.ok, error=summary.error, refresh=False)
            slots = TASKS_PER_THREAD * threads()
            while queue.count() < slots:
                entries = batcher.take(slots // TASKS_PER_THREAD)
                if entries is None:
                    break
                queue.add(submit(entries))
            if time.monotonic() - last_merge > merge_every:
                began = time.monotonic()
                folder.merge()
                last_merge = time.monotonic()
                # Large tables take long to rebuild: keep that under a tenth of the run.
                merge_every = max(MERGE_SECONDS, 10 * (last_merge - began))
    except KeyboardInterrupt:
        summary.interrupted = True
    finally:
        if bar is not None:
            bar.close()
        for future in list(futures):
            future.cancel()
        client.close()
        if cluster is not None:
            cluster.close()
            shutil.rmtree(scratch, ignore_errors=True)
        folder.merge()
        summary.seconds = time.monotonic() - started
    return summary


def main(argv=None, processor=process_cif):
    """The telva-screen command; processor is what is done with each file (see screen())."""
    args = _parser().parse_args(argv)
    # Dask's notes (stale worker folders, workers joining) would break the progress bar;
    # importing distributed sets its loggers' levels, so import it first.
    import distributed

    logging.getLogger(distributed.__name__).setLevel(logging.ERROR)
    try:
        summary = screen(
            args.paths,
            args.output,
            settings_of(args),
            processor=processor,
            scheduler=args.scheduler,
            workers=args.workers,
            batch=args.batch,
            timeout=args.timeout,
            max_memory=args.max_memory,
        )
    except (UsageError, ResultsError) as error:
        print(f"{PROGRAM}: error: {error}", file=sys.stderr)
        return 2
    except ScreenAbort as error:
        print(f"{PROGRAM}: error: {error}; the files done so far keep their rows", file=sys.stderr)
        return 1
    except OSError as error:
        print(f"{PROGRAM}: error: {error}", file=sys.stderr)
        return 1
    print(summary.line(args.output))
    if summary.interrupted:
        print(f"{PROGRAM}: rerun the same command to finish", file=sys.stderr)
        return 130
    return 0


if __name__ == "__main__":
    sys.exit(main())
