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
# The Python module against pymatgen (python3-pymatgen), when both are there.
if /usr/bin/python3 -c "import pymatgen.analysis.ewald" 2>/dev/null; then
  PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py 1e-6
fi
