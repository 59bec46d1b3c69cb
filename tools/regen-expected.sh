#!/usr/bin/env bash
# Rewrites expected.lst of every end-to-end case, and the expected listing of
# every example in tests/end_to_end/examples, from the current binary, run
# the way the end-to-end test runs it: in a scratch folder holding a copy of
# input.inp, as `telva input.inp listing.lst` with no standard input.
# Review the result with `git diff tests/end_to_end/cases` before committing.
# Exit statuses and standard error are not rewritten; a case whose status or
# diagnostics now differ from expected_status / expected_stderr is named.
#
# Usage: tools/regen-expected.sh [path/to/telva]   (default: build/telva)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
binary="$(realpath "${1:-$root/build/telva}")"
[ -x "$binary" ] || { echo "no program at $binary: run make first" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

for case_dir in "$root"/tests/end_to_end/cases/*/; do
  name="$(basename "$case_dir")"
  rm -f "$work"/*
  cp "$case_dir/input.inp" "$work/input.inp"
  status=0
  (cd "$work" && "$binary" input.inp listing.lst </dev/null >stdout 2>stderr) || status=$?
  if [ ! -f "$work/listing.lst" ]; then
    echo "$name: no listing written (status $status), left as it was" >&2
    continue
  fi
  cp "$work/listing.lst" "$case_dir/expected.lst"

  expected_status=0
  [ -f "$case_dir/expected_status" ] && expected_status="$(tr -d '[:space:]' <"$case_dir/expected_status")"
  [ "$status" = "$expected_status" ] || echo "$name: status now $status, expected_status says $expected_status"
  if [ -f "$case_dir/expected_stderr" ]; then
    cmp -s "$work/stderr" "$case_dir/expected_stderr" || echo "$name: standard error differs from expected_stderr"
  elif [ -s "$work/stderr" ]; then
    echo "$name: writes to standard error: $(head -c 200 "$work/stderr")"
  fi
  echo "$name: expected.lst rewritten"
done

# The examples' listings.
mkdir -p "$root/tests/end_to_end/examples"
for example in "$root"/examples/*.inp; do
  name="$(basename "$example" .inp)"
  (cd "$work" && "$binary" "$example" "$root/tests/end_to_end/examples/$name.lst" </dev/null) ||
    echo "example $name: status $?"
  echo "example $name: $name.lst rewritten"
done
