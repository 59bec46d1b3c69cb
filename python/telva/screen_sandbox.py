"""Each file's conversion and computation in a child process of its own.

A structure that crashes its process (a segmentation fault in a library, the
kernel's out-of-memory killer) or never finishes must cost that file only, not
the Dask worker and the other files of its batch. A Dask worker cannot kill a
task's thread, and a crash takes the whole worker down with the batch it runs;
so every worker thread keeps one long-lived child interpreter (started once,
with the processor and the telva module already loaded, then reused for every
file of every batch) and hands it one file at a time over a pipe. The thread
waits at most the timeout for the answer; past it, or when the pipe ends
because the child died, the child is killed and replaced, and the file is
tried once more in the fresh child before it gets its error row.

Run as ``python -m telva.screen_sandbox READ_FD WRITE_FD``, this module is
that child.
"""

import hashlib
import os
import signal
import socket
import stat
import subprocess
import sys
import threading
import time
import warnings
from multiprocessing.connection import Connection

import cloudpickle

from telva.screen_tables import one_line

# Seconds a fresh child may take to load the processor and answer.
START_SECONDS = 120.0

_local = threading.local()


def _signal_name(number):
    try:
        return signal.Signals(number).name
    except ValueError:
        return f"signal {number}"


def _die_with_parent():
    """Have the kernel kill this process when the thread that started it ends (Linux)."""
    try:
        import ctypes

        libc = ctypes.CDLL(None, use_errno=True)
        pr_set_pdeathsig = 1
        libc.prctl(pr_set_pdeathsig, signal.SIGKILL)
    except (OSError, AttributeError):
        pass


class ScreenAbort(RuntimeError):
    """The processor cannot work here at all (a missing module, a feature this build lacks):
    no file would get a row of its own, so the run stops and says why."""


def error_message(exc):
    """The text of an error row for an exception raised by a processor."""
    if isinstance(exc, OSError) and exc.strerror:
        where = f"{exc.filename}: " if exc.filename else ""
        return f"{where}{exc.strerror}"
    text = str(exc)
    if isinstance(exc, ValueError) and text:
        return text
    return f"{type(exc).__name__}: {text}" if text else type(exc).__name__


class Sandbox:
    """One child interpreter running a processor on one file at a time."""

    def __init__(self, processor):
        self.processor = processor
        self.pickled = cloudpickle.dumps(processor)
        self.process = None
        self.requests = None
        self.answers = None

    def _start(self):
        to_child_read, to_child_write = os.pipe()
        from_child_read, from_child_write = os.pipe()
        environment = dict(os.environ)
        environment["PYTHONPATH"] = os.pathsep.join(p for p in sys.path if p)
        try:
            self.process = subprocess.Popen(
                [sys.executable, "-m", "telva.screen_sandbox",
                 str(to_child_read), str(from_child_write)],
                pass_fds=(to_child_read, from_child_write),
                stdin=subprocess.DEVNULL,
                stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL,
                env=environment,
                close_fds=True,
            )
        finally:
            os.close(to_child_read)
            os.close(from_child_write)
        self.requests = Connection(to_child_write, readable=False)
        self.answers = Connection(from_child_read, writable=False)
        self.requests.send_bytes(self.pickled)
        if not self.answers.poll(START_SECONDS):
            self.stop()
            raise RuntimeError(f"the child process did not start within {START_SECONDS:g} s")
        try:
            kind, text = self.answers.recv()
        except (EOFError, OSError):
            code = self._reap()
            raise RuntimeError(f"the child process ended while starting ({code})") from None
        if kind != "ready":
            self.stop()
            raise RuntimeError(f"the child process cannot load the processor: {text}")

    def _reap(self):
        """Wait for a child that has ended, and say how it ended."""
        try:
            code = self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            code = self.process.wait()
        self._close()
        if code < 0:
            return f"killed by {_signal_name(-code)}"
        return f"exit status {code}"

    def _close(self):
        for connection in (self.requests, self.answers):
            if connection is not None:
                connection.close()
        self.process = self.requests = self.answers = None

    def stop(self):
        if self.process is not None:
            self.process.kill()
            self.process.wait()
            self._close()

    def run(self, path, settings, timeout):
        """One attempt on one file: ('ok', outcome, s) or ('error', message, s) from the
        processor, or ('failed', cause, s) when the child crashed or ran past the timeout."""
        if self.process is None or self.process.poll() is not None:
            if self.process is not None:
                self._reap()
            self._start()
        started = time.monotonic()
        try:
            self.requests.send((path, settings))
            if self.answers.poll(timeout):
                return self.answers.recv()
        except (EOFError, OSError, BrokenPipeError):
            return ("failed", f"crashed ({self._reap()})", time.monotonic() - started)
        self.stop()
        return ("failed", f"ran past the timeout of {timeout:g} s", time.monotonic() - started)


def _sandbox(processor):
    """This thread's child for this processor, started when first needed."""
    held = getattr(_local, "sandbox", None)
    pickled = cloudpickle.dumps(processor)
    if held is None or held.pickled != pickled:
        if held is not None:
            held.stop()
        held = Sandbox(processor)
        _local.sandbox = held
    return held


def _worker_name():
    try:
        from distributed import get_worker

        return get_worker().address
    except (ImportError, ValueError):
        return f"{socket.gethostname()}:{os.getpid()}"


def file_sha256(path):
    """The sha256 of the file's bytes as stored; None with the reason when it cannot be read."""
    try:
        mode = os.stat(path).st_mode
    except OSError as error:
        return None, f"cannot read: {error.strerror}"
    if stat.S_ISDIR(mode):
        return None, "is a folder, not a CIF"
    if not stat.S_ISREG(mode):
        return None, "is not a regular file (a pipe, socket or device)"
    digest = hashlib.sha256()
    try:
        with open(path, "rb") as file:
            for block in iter(lambda: file.read(1 << 20), b""):
                digest.update(block)
    except OSError as error:
        return None, f"cannot read: {error.strerror}"
    return digest.hexdigest(), None


def screen_batch(entries, settings, processor, timeout):
    """The Dask task: process each (path, shown_path) of a batch in the thread's child.

    Returns {"records": one per file, "seconds": the batch's wall time}, each
    record {"structure": row, "sites": rows}; the
    structure row holds the path as shown, the sha256, the status and message,
    and what the processor gave. A file whose attempt crashes or times out is
    tried once more in a fresh child before its error row names the cause.
    """
    started = time.monotonic()
    worker = _worker_name()
    sandbox = _sandbox(processor)
    records = []
    for path, shown in entries:
        sha256, unreadable = file_sha256(path)
        row = {"path": shown, "sha256": sha256, "worker": worker}
        sites = []
        if unreadable:
            row.update(status="error", message=unreadable, seconds=0.0)
        else:
            causes = []
            for _attempt in range(2):
                kind, payload, seconds = sandbox.run(path, settings, timeout)
                if kind != "failed":
                    break
                causes.append(payload)
            row["seconds"] = seconds
            if kind == "abort":
                raise ScreenAbort(payload)
            if kind == "ok":
                row.update({"message": ""}, **payload["structure"], status="ok")
                sites = [dict(site, path=shown, sha256=sha256) for site in payload["sites"]]
            elif kind == "error":
                row.update(status="error", message=one_line(payload.replace(path, shown)))
            else:
                same = causes[0] == causes[1]
                told = f"{causes[0]}, twice" if same else f"{causes[0]}, then {causes[1]}"
                row.update(status="error", message=f"its process failed on both attempts: {told}")
        records.append({"structure": row, "sites": sites})
    return {"records": records, "seconds": time.monotonic() - started}


def _serve(read_fd, write_fd):
    """The child: load the processor, then answer one file at a time until the pipe ends."""
    _die_with_parent()
    # Warnings (a cell that is not neutral) reach the table through the processor's rows.
    warnings.simplefilter("ignore")
    requests = Connection(read_fd, writable=False)
    answers = Connection(write_fd, readable=False)
    try:
        processor = cloudpickle.loads(requests.recv_bytes())
    except Exception as exc:  # noqa: BLE001 - any failure to load is told to the parent
        answers.send(("broken", error_message(exc)))
        return
    answers.send(("ready", ""))
    while True:
        try:
            path, settings = requests.recv()
        except EOFError:
            return
        started = time.monotonic()
        try:
            outcome = processor(path, settings)
            answer = ("ok", outcome)
        except (ImportError, NotImplementedError) as exc:
            answer = ("abort", error_message(exc))
        except Exception as exc:  # noqa: BLE001 - every processor failure becomes an error row
            answer = ("error", error_message(exc))
        seconds = time.monotonic() - started
        try:
            answers.send(answer + (seconds,))
        except Exception as exc:  # noqa: BLE001 - an outcome not sent is the file's error
            text = f"the result cannot be passed back: {error_message(exc)}"
            answers.send(("error", text, seconds))


if __name__ == "__main__":
    _serve(int(sys.argv[1]), int(sys.argv[2]))
