"""The manual's own directives: text that comes from the programs themselves.

.. program-help:: telva-cif

    The program's --help text, run from the build folder at build time, as a
    literal block: the manual never holds a second copy of it.

.. command-output:: build/telva-cif examples/corundum.cif -o corundum.inp
    :stream: stderr
    :status: 0
    :files: tests/cif/cases/readme_magnetite

    telva-cif: 2 sites; ...

    A command as a user runs it from the top of the source tree, and what it
    prints: shown as a console session. The doctest builder runs each command
    in a scratch folder of its page (holding `build`, `examples` and `tests` as links
    into the trees, and the files of the folders :files: names) and compares
    the output with the text shown: a line "..." stands for any lines, "..."
    within a line for any text. A difference is a warning, so that
    `sphinx-build -W -b doctest` fails on it.

The build folder is $TELVA_BUILD_DIR, else build/ beside docs/.
"""

import os
import pathlib
import re
import shlex
import shutil
import subprocess
import tempfile
import textwrap

from docutils import nodes
from docutils.parsers.rst import directives
from sphinx.util import logging
from sphinx.util.docutils import SphinxDirective

ROOT = pathlib.Path(__file__).resolve().parents[2]
BUILD = pathlib.Path(os.environ.get("TELVA_BUILD_DIR", ROOT / "build"))
COMMAND_SECONDS = 120

logger = logging.getLogger(__name__)


def _program(name):
    path = BUILD / name
    if not path.exists():
        raise FileNotFoundError(f"{path} is not built: run make (or make docs) first")
    return path


class ProgramHelp(SphinxDirective):
    """The --help text of a program of the build folder."""

    required_arguments = 1

    def run(self):
        name = self.arguments[0]
        try:
            done = subprocess.run([str(_program(name)), "--help"], capture_output=True,
                                  encoding="utf-8", errors="replace", timeout=COMMAND_SECONDS,
                                  check=False)
        except (OSError, subprocess.SubprocessError) as error:
            raise self.error(f"{name} --help could not be run: {error}")
        if done.returncode != 0:
            raise self.error(f"{name} --help ended with status {done.returncode}: "
                             f"{done.stderr.strip()}")
        text = done.stdout.rstrip("\n")
        block = nodes.literal_block(text, text)
        block["language"] = "text"
        return [block]


def _line_matches(pattern, line):
    # The manual's text holds no trailing blanks (the listing's title does).
    pattern, line = pattern.rstrip(), line.rstrip()
    if "..." not in pattern:
        return pattern == line
    parts = [re.escape(part) for part in pattern.split("...")]
    return re.fullmatch(".*".join(parts), line, re.DOTALL) is not None


def output_matches(expected, got):
    """Whether the lines `got` are the lines `expected`, where a line "..."
    stands for any lines (none included) and "..." within a line for any
    text."""
    if not expected:
        return not got
    if expected[0] == "...":
        return any(output_matches(expected[1:], got[i:]) for i in range(len(got) + 1))
    return bool(got) and _line_matches(expected[0], got[0]) and \
        output_matches(expected[1:], got[1:])


def _scratch(env):
    """The scratch folder of the page being read, made at its first command."""
    if "telva_scratch" not in env.temp_data:
        folder = pathlib.Path(tempfile.mkdtemp(prefix="telva-docs-"))
        (folder / "build").symlink_to(BUILD)
        (folder / "examples").symlink_to(ROOT / "examples")
        (folder / "tests").symlink_to(ROOT / "tests")
        env.temp_data["telva_scratch"] = folder
    return env.temp_data["telva_scratch"]


def _remove_scratch(app, doctree):
    """Once a page is read (its temporary data still held), its folder goes."""
    folder = app.env.temp_data.pop("telva_scratch", None)
    if folder is not None:
        shutil.rmtree(folder, ignore_errors=True)


class CommandOutput(SphinxDirective):
    """A shell command and its output, checked by the doctest builder."""

    required_arguments = 1
    final_argument_whitespace = True
    has_content = True
    option_spec = {
        "stream": lambda value: directives.choice(value, ("stdout", "stderr")),
        "status": directives.nonnegative_int,
        "files": directives.unchanged_required,
    }

    def run(self):
        command = self.arguments[0]
        expected = list(self.content)
        while expected and not expected[-1].strip():
            expected.pop()
        if self.env.app.builder.name == "doctest":
            self._check(command, expected)
        text = "$ " + command + ("\n" + "\n".join(expected) if expected else "")
        block = nodes.literal_block(text, text)
        block["language"] = "console"
        return [block]

    def _check(self, command, expected):
        where = self.get_location()
        folder = _scratch(self.env)
        if "files" in self.options:
            source = ROOT / self.options["files"]
            for entry in sorted(source.iterdir()):
                if entry.is_file():
                    shutil.copy(entry, folder / entry.name)
        env = dict(os.environ, TELVA_THREADS="2")
        try:
            done = subprocess.run(shlex.split(command), cwd=folder, env=env, capture_output=True,
                                  encoding="utf-8", errors="replace", timeout=COMMAND_SECONDS,
                                  check=False)
        except (OSError, subprocess.SubprocessError) as error:
            logger.warning(f"the manual's command '{command}' could not be run: {error}",
                           location=where)
            return
        stream = self.options.get("stream", "stdout")
        # Indented as the directive's content is: by its least indented line.
        got = textwrap.dedent(done.stderr if stream == "stderr" else done.stdout).splitlines()
        status = self.options.get("status", 0)
        if done.returncode != status:
            logger.warning(f"the manual's command '{command}' ended with status "
                           f"{done.returncode}, not {status}: {done.stderr.strip()}",
                           location=where)
        elif not output_matches(expected, got):
            logger.warning(f"the manual's command '{command}' printed on {stream}:\n"
                           + "\n".join(got) + "\nwhere the manual shows:\n"
                           + "\n".join(expected), location=where)


def setup(app):
    app.add_directive("program-help", ProgramHelp)
    app.add_directive("command-output", CommandOutput)
    app.connect("doctree-read", _remove_scratch)
    return {"version": "1", "parallel_read_safe": False, "parallel_write_safe": True}
