"""The manual's check of a shown command's output: a line "..." stands for any
lines, "..." within a line for any text, trailing blanks do not count, and
anything else must be equal."""

import sys

import pytest

from module_paths import ROOT

sys.path.insert(0, str(ROOT / "docs" / "_ext"))
telva_docs = pytest.importorskip("telva_docs")

CASES = [
    ("equal", ["a", "b"], ["a", "b"], True),
    ("a line differs", ["a", "b"], ["a", "c"], False),
    ("a line more", ["a"], ["a", "b"], False),
    ("a line fewer", ["a", "b"], ["a"], False),
    ("nothing shown, nothing printed", [], [], True),
    ("nothing shown, something printed", [], ["a"], False),
    ("trailing blanks", ["title"], ["title   "], True),
    ("leading blanks count", [" a"], ["a"], False),
    ("... for lines", ["a", "...", "z"], ["a", "b", "c", "z"], True),
    ("... for no line", ["a", "...", "z"], ["a", "z"], True),
    ("... then a missing line", ["a", "...", "z"], ["a", "b"], False),
    ("... at the end", ["a", "..."], ["a", "b", "c"], True),
    ("... within a line", ["time ... s on ... threads"], ["time 0.10 s on 2 threads"], True),
    ("... within a line, rest differs", ["time ... s"], ["time 0.10 ms"], False),
    ("regex characters are text", ["(1.0)*"], ["(1.0)*"], True),
    ("regex characters do not match others", ["a.c"], ["abc"], False),
]


@pytest.mark.parametrize("name, expected, got, matches", CASES, ids=[c[0] for c in CASES])
def test_output_matches(name, expected, got, matches):
    assert telva_docs.output_matches(expected, got) is matches
