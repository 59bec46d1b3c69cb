#!/usr/bin/env bash
# Builds the Debian package, unpacks it into an empty tree (dpkg -x) and runs
# every program and the Python module from there alone: PATH to the tree's
# bin, PYTHONPATH to its dist-packages, the work in a folder of its own.
#   package_test.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
build=$1 source=$2 version=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "package test: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/package" >/dev/null
deb=$(ls "$scratch"/package/telva_"$version"_*.deb) || fail "no telva_${version}_*.deb written"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in python3-numpy libcairo2 libc6; do
  case $depends in *"$needed"*) ;; *) fail "Depends lacks $needed: $depends" ;; esac
done

root=$scratch/root
dpkg -x "$deb" "$root"
for file in usr/bin/telva usr/bin/telva-cif usr/bin/telva-map usr/bin/telva-order usr/bin/telva-screen \
            usr/share/man/man1/telva.1.gz usr/share/man/man1/telva-cif.1.gz \
            usr/share/man/man1/telva-map.1.gz usr/share/man/man1/telva-screen.1.gz \
            usr/share/man/man1/telva-order.1.gz \
            usr/include/telva/electrostatics/core.hpp \
            usr/lib/python3/dist-packages/telva/__init__.py; do
  [ -e "$root/$file" ] || fail "$file is not in the package"
done
for name in telvaConfig.cmake libtelva_electrostatics.a; do
  [ -n "$(find "$root/usr/lib" -name "$name")" ] || fail "no $name in the package"
done

work=$scratch/work
mkdir "$work"
cp "$source/examples/rocksalt.inp" "$source/examples/rocksalt.cif" "$work/"
cd "$work"
run() {
  env -i HOME="$work" LANG=C.UTF-8 PATH="$root/usr/bin:/usr/bin:/bin" \
    PYTHONPATH="$root/usr/lib/python3/dist-packages" PYTHONDONTWRITEBYTECODE=1 "$@"
}
[ "$(run sh -c 'command -v telva')" = "$root/usr/bin/telva" ] ||
  fail "telva is not the unpacked one"
run telva rocksalt.inp rocksalt.lst
cmp rocksalt.lst "$source/tests/end_to_end/examples/rocksalt.lst" ||
  fail "the unpacked telva's listing differs from the example's"
run telva-cif rocksalt.cif -o converted.inp 2>/dev/null
run telva converted.inp converted.lst
run telva-map rocksalt.inp --grid 6 --cube map.cube --xsf map.xsf --ccp4 map.ccp4 2>/dev/null
# Each map file names the program and its version where the format has room.
written="written by telva-map $version"
sed -n 2p map.cube | grep -q "$written$" || fail "map.cube does not name $version"
sed -n 2p map.xsf | grep -q "$written$" || fail "map.xsf does not name $version"
grep -aq "$written " map.ccp4 || fail "map.ccp4 does not name $version"
[ "$(run telva-screen --version)" = "telva-screen $version" ] || fail "telva-screen --version"
[ "$(run telva-order --version)" = "telva-order $version" ] || fail "telva-order --version"
where=$(run /usr/bin/python3 -c 'import telva, telva._core
print(telva.__version__, telva.__file__, telva._core.__file__)')
read -r module_version module_file core_file <<<"$where"
[ "$module_version" = "$version" ] || fail "telva.__version__ is $module_version"
case $module_file:$core_file in
  "$root"/*:"$root"/*) ;;
  *) fail "telva imported from outside the unpacked tree: $module_file $core_file" ;;
esac
echo "package test: $(basename "$deb") unpacked and run"
