"""telva-screen end to end on Dask: a local cluster, a real scheduler, killed runs and workers."""

import csv
import os
import signal
import subprocess

import pytest
from screen_support import (RUN_SECONDS, command, read_table, run_screen, stop_group, tables,
                            wait_for)

# The error rows of the fake set (conftest.write_fake_set), by file name, and their messages.
BROKEN = {
    "bad.cif": "the CIF gives no complete cell",
    "binary.cif": "not a readable CIF",
    "empty.cif": "the file is empty",
    "x.cif": "is a folder, not a CIF",
    "dangling.cif": "cannot read: No such file or directory",
    "crash.cif": "crashed (killed by SIGSEGV), twice",
}


def _structures(results):
    with open(os.path.join(results, "structures.csv"), newline="") as file:
        return list(csv.DictReader(file))


def test_local_run_rows_summary_and_rerun(fake_set, tmp_path):
    results = str(tmp_path / "out")
    done = run_screen([fake_set, "-o", results, "--workers", "2", "--timeout", "20"])
    assert done.returncode == 0, done.stderr
    assert "done: 18 files: 12 ok, 6 error, 0 already in the tables" in done.stdout
    rows = _structures(results)
    assert len(rows) == 18 and len({r["path"] for r in rows}) == 18
    for row in rows:
        tail = os.path.basename(row["path"])
        if tail in BROKEN:
            assert row["status"] == "error" and BROKEN[tail] in row["message"], row
        else:
            assert row["status"] == "ok" and row["message"] == "" and len(row["sha256"]) == 64, row
            assert row["worker"].startswith("tcp://") and float(row["seconds"]) >= 0
    sites = read_table(os.path.join(results, "sites.csv"))
    assert len(sites) == 24
    before = tables(results)
    again = run_screen([fake_set, "-o", results, "--workers", "2"])
    assert again.returncode == 0, again.stderr
    assert "done: 18 files: 0 ok, 0 error, 18 already in the tables" in again.stdout
    assert tables(results) == before
    # A file changed since is screened again; the others stay skipped.
    with open(os.path.join(fake_set, "s001.cif"), "a") as file:
        file.write("site K9 K 1 -0.5\n")
    third = run_screen([fake_set, "-o", results, "--workers", "1"])
    assert "done: 18 files: 1 ok, 0 error, 17 already in the tables" in third.stdout, third.stdout


def test_hang_is_caught_by_the_timeout(tmp_path):
    folder = tmp_path / "in"
    folder.mkdir()
    (folder / "hang.cif").write_text("hang\n")
    (folder / "fine.cif").write_text("site A Na 1 -1\nsite B Cl -1 1\n")
    results = str(tmp_path / "out")
    done = run_screen([str(folder), "-o", results, "--workers", "1", "--timeout", "1"])
    assert done.returncode == 0, done.stderr
    rows = {os.path.basename(r["path"]): r for r in _structures(results)}
    assert rows["fine.cif"]["status"] == "ok"
    assert rows["hang.cif"]["status"] == "error"
    assert rows["hang.cif"]["message"] == (
        "its process failed on both attempts: ran past the timeout of 1 s, twice")


@pytest.mark.parametrize(
    "args, message",
    [
        (["--method", "lattice"], "invalid choice"),
        (["--tolerance", "0"], "must be a positive number"),
        (["--batch", "-3"], "must be a positive number"),
        (["--charge", "O"], "is not NAME=Z"),
        (["--max-memory", "lots"], "is not a size"),
        (["--workers", "2", "--scheduler", "tcp://127.0.0.1:1"], "not allowed with argument"),
    ],
)
def test_bad_command_lines_are_refused(fake_set, tmp_path, args, message):
    done = run_screen([fake_set, "-o", str(tmp_path / "out")] + args)
    assert done.returncode == 2 and message in done.stderr, done.stderr
    assert not os.path.exists(tmp_path / "out")


def test_missing_input_and_other_settings_are_refused(fake_set, tmp_path):
    missing = run_screen([str(tmp_path / "nowhere"), "-o", str(tmp_path / "out")])
    assert missing.returncode == 2 and "nowhere: no such file or folder" in missing.stderr
    one = os.path.join(fake_set, "s001.cif")
    first = run_screen([one, "-o", str(tmp_path / "out"), "--workers", "1"])
    assert first.returncode == 0, first.stderr
    other = run_screen([fake_set, "-o", str(tmp_path / "out"), "--method", "sphere"])
    assert other.returncode == 2 and "holds results computed with other settings" in other.stderr


def test_unreachable_scheduler_is_told(fake_set, tmp_path):
    done = run_screen([fake_set, "-o", str(tmp_path / "out"), "--scheduler", "tcp://127.0.0.1:9"])
    assert done.returncode == 2
    assert "cannot reach the Dask scheduler at tcp://127.0.0.1:9" in done.stderr


def test_real_scheduler_gives_the_local_tables(fake_set, tmp_path, dask_cluster):
    local = str(tmp_path / "local")
    remote = str(tmp_path / "remote")
    assert run_screen([fake_set, "-o", local, "--workers", "2"]).returncode == 0
    done = run_screen([fake_set, "-o", remote, "--scheduler", dask_cluster["address"],
                       "--batch", "3"])
    assert done.returncode == 0, done.stderr
    assert tables(remote) == tables(local)
    assert {r["worker"] for r in _structures(remote) if r["worker"]} <= {
        w for w in _worker_addresses(dask_cluster)}


def _worker_addresses(dask_cluster):
    from distributed import Client

    with Client(scheduler_file=dask_cluster["scheduler_file"], timeout="30s") as client:
        return set(client.scheduler_info()["workers"])


def _slow_set(folder, count):
    os.makedirs(folder)
    for i in range(count):
        with open(os.path.join(folder, f"m{i:03d}.cif"), "w") as file:
            file.write(f"site A{i} Na 1 -{i + 1}\nsite B{i} Cl -1 {i + 1}\n")
    with open(os.path.join(folder, "broken.cif"), "w") as file:
        file.write("fail no cell\n")
    return folder


def _committed(results):
    """The structure rows of the committed batches (tasks ending together share a commit)."""
    batches = os.path.join(results, "batches")
    if not os.path.isdir(batches):
        return 0
    rows = 0
    for name in os.listdir(batches):
        if name.endswith(".structures.csv"):
            with open(os.path.join(batches, name), newline="") as file:
                rows += len(list(csv.reader(file))) - 1
    return rows


def test_sigkill_of_the_run_then_rerun_completes_it(tmp_path):
    inputs = _slow_set(str(tmp_path / "in"), 40)
    whole = str(tmp_path / "whole")
    args = ["--workers", "2", "--batch", "2"]
    assert run_screen([inputs, "-o", whole, *args], processor="slow_process").returncode == 0
    killed = str(tmp_path / "killed")
    process = subprocess.Popen(
        command([inputs, "-o", killed, *args], processor="slow_process"),
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        wait_for(lambda: _committed(killed) >= 6, RUN_SECONDS, "three batches' rows")
    finally:
        stop_group(process)
    committed = _committed(killed)
    assert 6 <= committed < 41
    # Well-formed after the kill: the merged tables parse, with whole rows only.
    for name in ("structures.csv", "sites.csv"):
        with open(os.path.join(killed, name), newline="") as file:
            rows = list(csv.reader(file))
        assert len({len(r) for r in rows}) == 1
    again = run_screen([inputs, "-o", killed, *args], processor="slow_process")
    assert again.returncode == 0, again.stderr
    assert f"{committed} already in the tables" in again.stdout
    assert tables(killed) == tables(whole)


def test_a_killed_worker_costs_no_rows(tmp_path, dask_cluster):
    inputs = _slow_set(str(tmp_path / "in"), 40)
    results = str(tmp_path / "out")
    process = subprocess.Popen(
        command([inputs, "-o", results, "--scheduler", dask_cluster["address"], "--batch", "4"],
                processor="slow_process"),
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, start_new_session=True)
    try:
        wait_for(lambda: _committed(results) >= 1, RUN_SECONDS, "a committed row")
        from distributed import Client

        with Client(scheduler_file=dask_cluster["scheduler_file"], timeout="30s") as client:
            busy = list(client.run(os.getpid).values())
        os.kill(busy[0], signal.SIGKILL)
        out, err = process.communicate(timeout=RUN_SECONDS)
    finally:
        stop_group(process)
    assert process.returncode == 0, err
    assert "done: 41 files: 40 ok, 1 error" in out
    rows = _structures(results)
    assert sorted(os.path.basename(r["path"]) for r in rows) == sorted(os.listdir(inputs))


def test_a_processor_that_cannot_work_stops_the_run(fake_set, tmp_path):
    results = str(tmp_path / "out")
    done = run_screen([fake_set, "-o", results, "--workers", "1"], processor="unavailable_process")
    assert done.returncode == 1
    assert ("telva-screen: error: NotImplementedError: this build of telva cannot guess charges"
            in done.stderr)
    # Unreadable inputs never reach the processor; no file the processor saw has a row.
    statuses = {os.path.basename(r["path"]): r["message"] for r in _structures(results)}
    assert set(statuses) <= {"x.cif", "dangling.cif"}


def test_a_file_that_kills_its_worker_gets_an_error_row(fake_set, tmp_path):
    with open(os.path.join(fake_set, "killer.cif"), "w") as file:
        file.write("killworker\n")
    results = str(tmp_path / "out")
    # Dask's own setting: the scheduler gives a task up after its second dead worker.
    environment = dict(os.environ, DASK_DISTRIBUTED__SCHEDULER__ALLOWED_FAILURES="1")
    done = subprocess.run(command([fake_set, "-o", results, "--workers", "2", "--batch", "4"]),
                          env=environment, capture_output=True, text=True, timeout=RUN_SECONDS,
                          start_new_session=True)
    assert done.returncode == 0, done.stderr
    assert "done: 19 files: 12 ok, 7 error" in done.stdout
    rows = {os.path.basename(r["path"]): r for r in _structures(results)}
    assert rows["killer.cif"]["status"] == "error"
    assert "its Dask worker died each time it ran this file" in rows["killer.cif"]["message"]
    assert all(rows[f"s{i:03d}.cif"]["status"] == "ok" for i in range(12))


def test_progress_bar_on_a_terminal(fake_set, tmp_path):
    import fcntl
    import pty
    import struct
    import termios

    leader, follower = pty.openpty()
    # A terminal of 120 columns: a fresh pseudo-terminal has none, and the bar fits its width.
    fcntl.ioctl(follower, termios.TIOCSWINSZ, struct.pack("HHHH", 40, 120, 0, 0))
    process = subprocess.Popen(command([fake_set, "-o", str(tmp_path / "out"), "--workers", "1"]),
                               stdout=subprocess.PIPE, stderr=follower, text=True,
                               start_new_session=True)
    os.close(follower)
    shown = b""
    try:
        while True:
            try:
                chunk = os.read(leader, 4096)
            except OSError:  # the terminal closes when the run ends
                break
            if not chunk:
                break
            shown += chunk
        out = process.communicate(timeout=RUN_SECONDS)[0]
    finally:
        os.close(leader)
        stop_group(process)
    text = shown.decode(errors="replace")
    assert "18/18" in text and " files/s" in text and "ok=12" in text and "error=6" in text, text
    assert "done: 18 files: 12 ok, 6 error" in out
