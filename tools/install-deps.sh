#!/usr/bin/env bash
# Installs, through the system package manager, whatever the build and the
# tests need and the machine lacks. Does nothing when all is present.
set -euo pipefail
packages=(g++ cmake make python3 libgtest-dev libbenchmark-dev time gemmi-dev tao-pegtl-dev libstb-dev clang libclang-rt-14-dev
  libcairo2-dev libfontconfig-dev pkg-config python3-gemmi
  libfftw3-dev # the mesh method's Fourier transforms
  python3-pymatgen # pymatgen: the benchmark's peer case and the Python module's tests
  # The Python module: its build, its tests and examples, pip install
  python3-dev pybind11-dev python3-pybind11 python3-numpy python3-pytest python3-matplotlib
  python3-ase python3-setuptools python3-wheel python3-venv python3-pip
  # telva-screen: Dask distributed and the progress bar
  python3-dask python3-distributed python3-tqdm
  # the manual: make docs, and its examples' doctests in make test
  python3-sphinx)
# The order tests' references: spglib's group of a supercell, scipy's erfc
packages+=(python3-spglib python3-scipy)
# The Debian package (dpkg-shlibdeps finds its library dependencies); pip's
# isolated build offline, from Debian's wheels of setuptools and wheel
packages+=(dpkg-dev python3-setuptools-whl python3-wheel-whl)
# --bench: LAMMPS too, the peer of make bench's large cells (bench/lammps_peer.py);
# the plain install does not pull it.
if [ "${1:-}" = "--bench" ]; then
  packages+=(lammps)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]}" >&2
  echo "run: sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
echo "installing: ${missing[*]}"
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
