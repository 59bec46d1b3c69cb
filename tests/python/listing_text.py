"""The listing's number formats, written out independently of the program, and
the sections of a listing read back."""

import math
import re


def _right(text: str, width: int) -> str:
    return "*" * width if len(text) > width else text.rjust(width)


def _non_finite(value: float) -> str:
    if math.isnan(value):
        return "NaN"
    return "Infinity" if value > 0 else "-Infinity"


def fixed(value: float, width: int, decimals: int) -> str:
    """F width.decimals: the 0 before the point dropped when there is no room."""
    if not math.isfinite(value):
        return _right(_non_finite(value), width)
    text = f"{value:.{decimals}f}"
    if len(text) > width:
        sign = 1 if text.startswith("-") else 0
        if text[sign:sign + 2] == "0.":
            text = text[:sign] + text[sign + 1:]
    return _right(text, width)


def scientific(value: float, width: int, decimals: int) -> str:
    """E width.decimals as d.ddddddE+xx; a three-digit exponent loses the E."""
    if not math.isfinite(value):
        return _right(_non_finite(value), width)
    text = f"{value:.{decimals}E}"
    mantissa, exponent = text.split("E")
    if len(exponent) == 4:
        text = mantissa + exponent
    return _right(text, width)


def site_phi_fields(listing: str) -> list[str]:
    """The phi fields of the site section, in order."""
    lines = listing.split("\n")
    start = lines.index(" Potentials of sites in the asymmetric unit")
    out = []
    for line in lines[start + 3:]:
        if not line.strip():
            break
        out.append(line[54:69])
    return out


def energy_fields(listing: str) -> tuple[str, str, str]:
    """(e^2/A field, eV text, MJ/mol field) of the energy line."""
    lines = listing.split("\n")
    line = lines[lines.index(" Electrostatic energy per asymmetric unit") + 1]
    match = re.fullmatch(r" (.{13}) e\*\*2/\u00c5 = (.*) eV =(.{11}) MJ/mol", line)
    assert match, line
    return match.group(1), match.group(2) + " eV", match.group(3)


def position_fields(listing: str) -> list[tuple[str, str, str, str]]:
    """(phiw, phic, label, distance) fields of each position line."""
    lines = listing.split("\n")
    heading = "      x        y        z          phiw           phic          N.atom   Distance"
    if heading not in lines:
        return []
    out = []
    for line in lines[lines.index(heading) + 1:]:
        if not line.strip():
            continue
        out.append((line[29:44], line[44:59], line[64:72], line[72:80]))
    return out
