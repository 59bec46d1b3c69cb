"""W of an input file holds nine columns (.04166667 for 8/192): the Gaussian
method takes the k/N those digits round, the sphere method W as read."""

import numpy as np
import pytest

import telva
from module_paths import ROOT
from telva.result import ewald_available

MAGNETITE = ROOT / "tests" / "cif" / "cases" / "readme_magnetite" / "expected.inp"


@pytest.mark.parametrize("weight, order, expected", [
    (0.04166667, 192, 8 / 192),       # the field's rounding of 1/24
    (0.02083333, 192, 4 / 192),       # 1/48, rounded down
    (0.33333333, 3, 1 / 3),
    (0.5, 4, None),                   # exact already
    (0.0208, 48, None),               # hand-written, short of the field: kept
    (0.02083343, 48, None),           # 1e-7 off: no fraction of the group
    (1.0, 1, None),
])
def test_fraction_within_the_fields_rounding(weight, order, expected):
    (snapped,) = telva._core.weights_as_group_fractions([weight], order)
    assert snapped == (weight if expected is None else expected)


@pytest.mark.skipif(not ewald_available(), reason="no ewald method in this build")
def test_gaussian_method_takes_exact_weights_and_says_so_once():
    read = telva.read_input(MAGNETITE)
    assert read.notes == ["the Gaussian method takes W of 3 sites as k/192, "
                          "the fraction the written digits round"]
    assert [s.weight for s in read.sites] == [0.04166667, 0.08333333, 0.16666667]
    converged = read.compute(tolerance=1e-11).site_potentials
    # The same crystal with W as read: what the Gaussian method gave before.
    read._weights_from_file = False
    as_read = read.compute(tolerance=1e-11).site_potentials
    assert np.max(np.abs(converged - as_read)) > 1e-8
    # With exact W the potentials are those of W = multiplicity / order.
    for site in read.sites:
        site.weight = round(site.weight * 192) / 192
    exact = read.compute(tolerance=1e-11).site_potentials
    assert np.array_equal(converged, exact)
