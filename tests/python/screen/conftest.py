"""Fixtures of the telva-screen tests; the helpers they share are in screen_support."""

import os
import subprocess

import pytest

from screen_support import PYTHON, stop_group, wait_for, write_fake_set


@pytest.fixture
def fake_set(tmp_path):
    return write_fake_set(str(tmp_path / "in"))


@pytest.fixture
def dask_cluster(tmp_path):
    """A real `dask scheduler` and two `dask worker` processes on localhost, stopped afterwards."""
    scheduler_file = str(tmp_path / "scheduler.json")
    dask = [PYTHON, "-m", "dask", "scheduler"]
    started = []

    def start(args):
        process = subprocess.Popen(
            args,
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
            start_new_session=True,
        )
        started.append(process)
        return process

    try:
        start(dask + ["--host", "127.0.0.1", "--port", "0", "--no-dashboard",
                      "--scheduler-file", scheduler_file])
        wait_for(lambda: os.path.exists(scheduler_file), 60, "the scheduler")
        workers = [PYTHON, "-m", "dask", "worker", "--scheduler-file", scheduler_file]
        for name in ("w1", "w2"):
            start(workers + ["--nthreads", "1", "--no-dashboard", "--host", "127.0.0.1",
                             "--name", name, "--death-timeout", "60"])
        from distributed import Client

        with Client(scheduler_file=scheduler_file, timeout="60s") as client:
            client.wait_for_workers(2, timeout=60)
            address = client.scheduler.address
        yield {"address": address, "scheduler_file": scheduler_file}
    finally:
        for process in reversed(started):
            stop_group(process)
