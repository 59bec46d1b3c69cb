"""telva-screen's parts without Dask: inputs, options, the results folder, the per-file child."""

import argparse
import csv
import gzip
import json
import os

import numpy
import pytest
from screen_support import write_fake_set
from fake_processors import fake_process

import telva
from telva import screen_sandbox
from telva.screen import UsageError, collect_inputs, parse_charge, parse_memory
from telva.screen_process import formula_atoms
from telva.screen_tables import (SITE_COLUMNS, STRUCTURE_COLUMNS, ResultsError, ResultsFolder,
                                 one_line)


def test_folders_are_searched_recursively_and_lists_read(tmp_path):
    root = tmp_path / "data"
    (root / "a" / "b").mkdir(parents=True)
    for name in ("one.cif", "a/two.CIF", "a/b/three.cif.gz", "a/notes.txt", "a/b/four.cif.bak"):
        (root / name).write_bytes(b"x")
    (root / "a" / "dir.cif").mkdir()
    listing = tmp_path / "list.txt"
    listing.write_text("# chosen files\n\ndata/one.cif\n  data/a/two.CIF  \n"
                       + str(tmp_path / "elsewhere.cif") + "\n")
    shown = [s for _, s in collect_inputs([str(root), str(listing), str(root / "one.cif")])]
    expected = [str(root / n) for n in ("a/b/three.cif.gz", "a/dir.cif", "a/two.CIF", "one.cif")]
    assert shown == expected + [str(tmp_path / "elsewhere.cif")]
    absolute = [a for a, _ in collect_inputs([os.path.relpath(root / "one.cif")])]
    assert absolute == [str(root / "one.cif")]


@pytest.mark.parametrize(
    "make, message",
    [
        (lambda p: None, "no such file or folder"),
        (lambda p: p.write_bytes(b"\xff\xfe\x00binary"), "not a text file of paths"),
    ],
    ids=["missing", "binary list"],
)
def test_unusable_inputs_are_refused(tmp_path, make, message):
    path = tmp_path / "inputs.lst"
    make(path)
    with pytest.raises(UsageError, match=message):
        collect_inputs([str(path)])


@pytest.mark.parametrize(
    "text, expected",
    [("O=-2", ("O", -2.0)), ("Fe1=3", ("Fe1", 3.0)), ("Fe=3+", ("Fe", 3.0)), ("O=2-", ("O", -2.0)),
     ("Ta=7/3", ("Ta", 7 / 3)), (" Na = +1 ", ("Na", 1.0)), ("Fe2=2.5", ("Fe2", 2.5))],
)
def test_charges_are_read_as_telva_cif_reads_them(text, expected):
    assert parse_charge(text) == expected


@pytest.mark.parametrize("text", ["O", "=2", "O=", "O=two", "O=1/0", "O=--2", "O=2+-"])
def test_bad_charges_are_refused(text):
    with pytest.raises(argparse.ArgumentTypeError):
        parse_charge(text)


@pytest.mark.parametrize(
    "text, expected",
    [("1000", 1000), ("2GB", 2 << 30), ("512M", 512 << 20), ("1.5GiB", 3 << 29),
     ("64 kb", 64 << 10)],
)
def test_memory_sizes(text, expected):
    assert parse_memory(text) == expected


@pytest.mark.parametrize("text", ["", "lots", "-1GB", "0", "2PB"])
def test_bad_memory_sizes_are_refused(text):
    with pytest.raises(argparse.ArgumentTypeError):
        parse_memory(text)


@pytest.mark.parametrize(
    "formula, atoms",
    [("Al2 O3", 5.0), ("Ca F2", 3.0), ("O2 Ti", 3.0), ("Na0.5 Cl0.5", 1.0), ("", None),
     ("H2O?", None)],
)
def test_formula_atoms(formula, atoms):
    assert formula_atoms(formula) == atoms


@pytest.mark.parametrize(
    "text, line",
    [("one", "one"), ("one\ntwo", "one; two"), ("  a:\n  b,\n\n c\r\n", "a: b, c"), ("", "")],
)
def test_messages_are_kept_on_one_line(text, line):
    assert one_line(text) == line


def _rows(text):
    return list(csv.DictReader(text.splitlines()))


def test_batches_commit_and_merge(tmp_path):
    folder = ResultsFolder(str(tmp_path), {"method": "ewald"})
    folder.write_batch(
        "r-0000001",
        [{"path": "a.cif", "sha256": "aa", "status": "ok", "energy_per_cell_ev": -1.25}],
        [{"path": "a.cif", "label": "Na1", "potential_v": 0.1 + 0.2, "x": numpy.float64(0.25)}])
    folder.write_batch(
        "r-0000002",
        [{"path": "b.cif", "sha256": None, "status": "error", "message": 'a "quoted", text'}], [])
    folder.merge()
    structures = _rows((tmp_path / "structures.csv").read_text())
    assert list(structures[0]) == list(STRUCTURE_COLUMNS)
    assert [(r["path"], r["status"], r["message"]) for r in structures] == [
        ("a.cif", "ok", ""), ("b.cif", "error", 'a "quoted", text')]
    assert float(structures[0]["energy_per_cell_ev"]) == -1.25
    sites = _rows((tmp_path / "sites.csv").read_text())
    assert list(sites[0]) == list(SITE_COLUMNS)
    assert float(sites[0]["potential_v"]) == 0.1 + 0.2  # every digit kept
    assert sites[0]["x"] == "0.25"
    assert folder.done_keys() == ({"aa"}, {"b.cif"})


def test_debris_of_a_killed_run_is_removed(tmp_path):
    folder = ResultsFolder(str(tmp_path), {"method": "ewald"})
    folder.write_batch("r-0000001", [{"path": "a.cif", "sha256": "aa", "status": "ok"}],
                       [{"path": "a.cif"}])
    batches = tmp_path / "batches"
    (batches / "r-0000002.sites.csv").write_text("uncommitted")
    (batches / ".r-0000003.structures.csv.x1.tmp").write_text("half")
    (tmp_path / ".structures.csv.x2.tmp").write_text("half")
    ResultsFolder(str(tmp_path), {"method": "ewald"})
    assert sorted(os.listdir(batches)) == ["r-0000001.sites.csv", "r-0000001.structures.csv"]
    assert sorted(os.listdir(tmp_path)) == ["batches", "settings.json"]


def test_a_folder_of_other_settings_is_refused(tmp_path):
    ResultsFolder(str(tmp_path), {"method": "ewald", "tolerance": 1e-8})
    ResultsFolder(str(tmp_path), {"method": "ewald", "tolerance": 1e-8})
    refused = r"method: 'ewald' there, 'sphere' now.*same options or choose another"
    with pytest.raises(ResultsError, match=refused):
        ResultsFolder(str(tmp_path), {"method": "sphere"})


@pytest.mark.parametrize("held_version", [None, "0.2.0", telva.__version__])
def test_the_settings_name_the_version_and_a_folder_of_any_version_resumes(
        tmp_path, held_version):
    ResultsFolder(str(tmp_path), {"method": "ewald"})
    path = tmp_path / "settings.json"
    held = json.loads(path.read_text())
    assert held == {"method": "ewald", "telva_version": telva.__version__}
    if held_version is None:
        del held["telva_version"]
    else:
        held["telva_version"] = held_version
    path.write_text(json.dumps(held))
    ResultsFolder(str(tmp_path), {"method": "ewald"})
    with pytest.raises(ResultsError, match="'ewald' there, 'sphere' now"):
        ResultsFolder(str(tmp_path), {"method": "sphere"})
    # The version that began the folder stays in its settings.
    assert json.loads(path.read_text()).get("telva_version") == held_version


@pytest.mark.parametrize("text, message", [("[1, 2]", "holds no settings"),
                                           ("{", "cannot read")])
def test_a_settings_file_that_is_not_settings_is_refused(tmp_path, text, message):
    (tmp_path / "settings.json").write_text(text)
    with pytest.raises(ResultsError, match=message):
        ResultsFolder(str(tmp_path), {"method": "ewald"})


def test_an_unwritable_results_folder_is_refused(tmp_path):
    (tmp_path / "file").write_text("")
    with pytest.raises(ResultsError, match="cannot create the results folder"):
        ResultsFolder(str(tmp_path / "file" / "out"), {})


def _one(path, timeout=20.0):
    entries = [(path, os.path.basename(path))]
    answer = screen_sandbox.screen_batch(entries, {}, fake_process, timeout)
    (record,) = answer["records"]
    return record


@pytest.mark.parametrize(
    "name, status, message",
    [
        ("s001.cif", "ok", ""),
        ("bad.cif", "error", "the CIF gives no complete cell"),
        ("lines.cif", "error", "line one; line two"),
        ("empty.cif", "error", "empty.cif: the file is empty"),
        ("binary.cif", "error", "binary.cif: not a readable CIF"),
        ("x.cif", "error", "is a folder, not a CIF"),
        ("dangling.cif", "error", "cannot read: No such file or directory"),
        ("fifo.cif", "error", "is not a regular file"),
        ("sub/deeper/crash.cif", "error",
         "its process failed on both attempts: crashed (killed by SIGSEGV), twice"),
        ("hang.cif", "error",
         "its process failed on both attempts: ran past the timeout of 0.5 s, twice"),
        ("flaky.cif", "ok", ""),
    ],
)
def test_each_file_gets_its_row(tmp_path, name, status, message):
    folder = write_fake_set(str(tmp_path))
    os.mkfifo(os.path.join(folder, "fifo.cif"))
    (tmp_path / "hang.cif").write_text("hang\n")
    (tmp_path / "lines.cif").write_text("fail line one\\n  line two\n")
    marker = tmp_path / "marker"
    (tmp_path / "flaky.cif").write_text(f"flaky {marker}\nsite A Na 1 -1\nsite B Cl -1 1\n")
    path = os.path.join(folder, name)
    record = _one(path, timeout=0.5 if name == "hang.cif" else 20.0)
    row = record["structure"]
    assert (row["status"], row["path"]) == (status, os.path.basename(path))
    assert message in row["message"]
    assert str(tmp_path) not in row["message"]  # the path as shown, not as the worker read it
    assert bool(record["sites"]) == (status == "ok")


def test_the_child_survives_its_files_and_is_reused(tmp_path):
    folder = write_fake_set(str(tmp_path))
    names = ["s001.cif", "sub/deeper/crash.cif", "s003.cif", "bad.cif", "s005.cif"]
    entries = [(os.path.join(folder, n), n) for n in names]
    answer = screen_sandbox.screen_batch(entries, {}, fake_process, 20.0)
    statuses = [r["structure"]["status"] for r in answer["records"]]
    assert statuses == ["ok", "error", "ok", "error", "ok"]
    child = screen_sandbox._local.sandbox.process
    screen_sandbox.screen_batch(entries[:1], {}, fake_process, 20.0)
    assert screen_sandbox._local.sandbox.process is child


def test_gzip_compressed_cifs_are_unpacked(tmp_path, monkeypatch):
    from telva import screen_process

    seen = []
    def convert(path, settings):
        with open(path) as file:
            seen.append(file.read())
        return "crystal"

    monkeypatch.setattr(screen_process, "_convert", convert)
    packed = tmp_path / "a.cif.gz"
    with gzip.open(packed, "wt") as file:
        file.write("data_a\n")
    assert screen_process.read_crystal(str(packed), {}) == "crystal"
    assert seen == ["data_a\n"]
    (tmp_path / "b.cif.gz").write_bytes(b"not gzip")
    with pytest.raises(ValueError, match="b.cif.gz: not a readable gzip file"):
        screen_process.read_crystal(str(tmp_path / "b.cif.gz"), {})


@pytest.mark.parametrize(
    "fixed, timed, threads, left, size",
    [
        (7, None, 2, 1000, 7),  # --batch K is K
        (None, None, 2, 1000, 2),  # before any timing: small first batches
        (None, (100, 1.0), 2, 10000, 100),  # 10 ms a file: a second's worth
        (None, (10, 50.0), 2, 10000, 1),  # 5 s a file: one a task
        (None, (100000, 1.0), 2, 100000, 5000),  # at most MAX_BATCH
        (None, (100, 1.0), 4, 200, 25),  # near the end: spread over every thread
    ],
)
def test_batches_take_about_a_second(fixed, timed, threads, left, size):
    from telva.screen import _Batcher

    batcher = _Batcher(list(range(left)), fixed)
    if timed:
        batcher.record(*timed)
    assert len(batcher.take(threads)) == size
