#!/usr/bin/env bash
# The benchmark: the kernels side by side, then the whole program on each
# input (wall time and peak memory).
set -euo pipefail
cd "$(dirname "$0")/.."
echo "cores: $(nproc)"
build/telva_bench
echo
printf '%-12s %10s %14s\n' "input" "wall (s)" "peak (MB)"
for name in synthesis table positions; do
  out=$(mktemp)
  /usr/bin/time -f '%e %M' -o "$out.time" build/telva "bench/$name.inp" "$out"
  read -r wall peak <"$out.time"
  awk -v n="$name" -v w="$wall" -v p="$peak" 'BEGIN { printf "%-12s %10s %14.1f\n", n, w, p / 1024 }'
  rm -f "$out" "$out.time"
done

# The Gaussian method against its peer, pymatgen's EwaldSummation.
echo
if /usr/bin/python3 -c "import pymatgen.analysis.ewald" 2>/dev/null; then
  /usr/bin/python3 bench/peer.py
  # The Python module against the same peer, from a structure to site potentials.
  echo
  PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py 1e-6
else
  echo "peer case skipped: python3-pymatgen is not installed (make deps)"
fi

# The map case: spinel on a 96^3 grid against the positions route, then the
# whole telva-map run (wall time and peak memory; the bare program holds
# about 6 MB).
echo
build/telva_map_bench
work=$(mktemp -d)
sed '2s/.*/   0.9   9.8/' bench/crystals/spinel.inp >"$work/spinel.inp" # 2,022,480 entries
/usr/bin/time -f '%e %M' -o "$work/time" \
  build/telva-map "$work/spinel.inp" --method sphere --grid 96 --cube "$work/spinel.cube" 2>/dev/null
read -r wall peak <"$work/time"
awk -v w="$wall" -v p="$peak" 'BEGIN { printf "  whole telva-map run, cube   %8s s, peak %.1f MB\n", w, p / 1024 }'
if build/telva-map "$work/spinel.inp" --method ewald --grid 1 >/dev/null 2>&1; then
  for t in 1e-6 1e-8; do
    /usr/bin/time -f '%e %M' -o "$work/time" \
      build/telva-map "$work/spinel.inp" --method ewald --tolerance $t --grid 96 2>/dev/null
    read -r wall peak <"$work/time"
    awk -v t="$t" -v w="$wall" -v p="$peak" \
      'BEGIN { printf "  ewald map at %s           %8s s, peak %.1f MB\n", t, w, p / 1024 }'
  done
else
  echo "  ewald map: the Gaussian method is not in this build"
fi
rm -rf "$work"

# telva-order: the scoring rate and the complete ranking of the 176-site
# pyrochlore supercell, then the ratio against pymatgen's ordering
# transformation on the same CIFs.
echo
if [ -x build/telva-order ]; then
  /usr/bin/python3 bench/order_bench.py
else
  echo "telva-order: not built"
fi

# The mesh method on the same large P1 cells: wall time on two threads and
# peak memory, then the direct method's processor time on the smallest.
echo
echo "mesh method (pme) at 1e-6 e/A on P1 rock-salt cells, two threads (wall seconds):"
build/pme_validation time 1e-6 2 p1:64000 p1:216000 p1:1000000 | grep -v '^predicted'
echo "direct method (ewald) at 1e-6 e/A, one thread (processor seconds):"
build/ewald_timing p1 1e-6 64000

# Large P1 cells against LAMMPS's PPPM, TELVA by the mesh method, and the
# set-up of 10^6 atoms from arrays (LAMMPS_PEER_ARGS=--quick for the
# 64,000-atom cell alone).
echo
/usr/bin/python3 bench/lammps_peer.py --method pme --telva-max 1000000 ${LAMMPS_PEER_ARGS:-}
