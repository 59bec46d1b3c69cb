#!/usr/bin/env bash
# Installs the build into an empty prefix and builds tests/install against it
# with find_package(telva): the installed headers, libraries and package
# files are enough to compute rock salt's site potentials.
#   installed_core_test.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
build=$1 source=$2 version=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
for file in include/telva/electrostatics/core.hpp include/telva/base/version.hpp \
            share/man/man1/telva.1.gz share/man/man1/telva-cif.1.gz \
            share/man/man1/telva-map.1.gz; do
  [ -f "$scratch/prefix/$file" ] || { echo "not installed: $file" >&2; exit 1; }
done
# Each page is its program's help: every option the help names is on the page.
for program in telva-cif telva-map; do
  page=$scratch/$program.1
  gzip -dc "$scratch/prefix/share/man/man1/$program.1.gz" >"$page"
  head -1 "$page" | grep -q "^\.TH ${program^^} 1 .*telva $version" || {
    echo "$program.1 has no title line of version $version" >&2; exit 1; }
  for option in $("$build/$program" --help | grep -o -- '--[a-z-]*' | sort -u); do
    grep -qF -- "${option//-/\\-}" "$page" || { echo "$program.1 lacks $option" >&2; exit 1; }
  done
done
gzip -dc "$scratch/prefix/share/man/man1/telva.1.gz" >"$scratch/telva.1"
grep -qF 'telva \-\-version reads a file' "$scratch/telva.1" || {
  echo "telva.1 does not say that telva --version is a path" >&2; exit 1; }
config=$(find "$scratch/prefix" -name telvaConfig.cmake)
[ -n "$config" ] || { echo "no telvaConfig.cmake installed" >&2; exit 1; }

cmake -S "$source/tests/install" -B "$scratch/consumer" -DCMAKE_PREFIX_PATH="$scratch/prefix" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$scratch/consumer" >/dev/null
out=$("$scratch/consumer/rocksalt_site")
echo "$out"
case $out in
  "telva $version: "*) ;;
  *) echo "the installed version.hpp does not say $version" >&2; exit 1 ;;
esac
