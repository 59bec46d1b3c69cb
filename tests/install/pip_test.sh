#!/usr/bin/env bash
# pip install . in a fresh venv that sees the system's packages, offline:
# pip's isolated build takes setuptools and wheel from Debian's wheels, the
# extension is built through CMake, and the installed package imports from
# the venv with the project's version in its metadata.
# It builds the extension from nothing (minutes): it runs only when
# TELVA_PIP_TEST=1 (make test-pip), and is skipped (77) otherwise.
#   pip_test.sh SOURCE_DIR VERSION
set -euo pipefail
source=$1 version=$2
if [ "${TELVA_PIP_TEST:-0}" != 1 ]; then
  echo "pip test skipped: set TELVA_PIP_TEST=1 (make test-pip) to run it"
  exit 77
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "pip test: $*" >&2; exit 1; }

/usr/bin/python3 -m venv --system-site-packages "$scratch/venv"
python=$scratch/venv/bin/python
# No index: nothing may come from the network.
PIP_NO_INDEX=1 PIP_DISABLE_PIP_VERSION_CHECK=1 "$python" -m pip install -q \
  --find-links /usr/share/python-wheels "$source" || fail "pip install failed"
cd "$scratch"
where=$("$python" -c 'import importlib.metadata as m, telva
print(telva.__version__, m.version("telva"), telva.__file__)')
read -r module_version metadata_version module_file <<<"$where"
[ "$module_version" = "$version" ] || fail "telva.__version__ is $module_version, not $version"
[ "$metadata_version" = "$version" ] || fail "the package metadata says $metadata_version"
case $module_file in
  "$scratch/venv/"*) ;;
  *) fail "telva imported from $module_file, not from the venv" ;;
esac
[ "$("$scratch/venv/bin/telva-screen" --version)" = "telva-screen $version" ] ||
  fail "the venv's telva-screen --version"
echo "pip test: telva $version installed into a venv and imported from $module_file"
