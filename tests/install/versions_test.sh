#!/usr/bin/env bash
# Every program's --version prints its name and the one version, and nothing
# else, with status 0.
#   versions_test.sh VERSION PROGRAM...
set -euo pipefail
version=$1
shift
for program in "$@"; do
  expected="$(basename "$program") $version"
  out=$("$program" --version) || { echo "$program --version failed" >&2; exit 1; }
  [ "$out" = "$expected" ] || { echo "$program --version: '$out', not '$expected'" >&2; exit 1; }
  echo "$out"
done
