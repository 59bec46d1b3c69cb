#!/usr/bin/env bash
# telva-screen's throughput: a generated set of CIFs (tools/make-screen-set.py)
# screened on this machine, then the cost of a Dask task measured with a
# processor that only reads each file: the same files in batches of 1 and of
# 100. Extra arguments go to the first run (e.g. --method sphere).
set -euo pipefail
cd "$(dirname "$0")/.."
count=${COUNT:-2100}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "cores: $(nproc)"
/usr/bin/python3 tools/make-screen-set.py "$work/cifs" --count "$count"
build/telva-screen "$work/cifs" -o "$work/results" "$@"
awk -F, 'NR > 1 && $3 == "error" { e++ } NR > 1 { n++ } END { printf "rows: %d, error rows: %d\n", n, e }' \
  "$work/results/structures.csv"
# A script file, not standard input: Dask's worker processes import it again.
cat >"$work/read_only.py" <<'PY'
import sys

from telva.screen import main


def read_only(path, settings):
    with open(path, "rb") as file:
        file.read()
    return {"structure": {}, "sites": []}


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:], processor=read_only))
PY
for batch in 1 100; do
  PYTHONPATH="build/python" /usr/bin/python3 "$work/read_only.py" "$work/cifs" -o "$work/null-$batch" --batch "$batch"
done
