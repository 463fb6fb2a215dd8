#!/usr/bin/env bash
# Installs into a scratch prefix, moves it, and runs the installed svcam from
# another folder with no configuration path set and no library path: the tool
# must find the library through its run path, and the library the installed
# SvConfig.conf from its own place, so the simulated KIVO and LIRA cameras are
# served as maker cameras. Without that file they must be generic.
set -euo pipefail
build_dir=$1
source_dir=$2
compiled_in=$3          # the configuration folder compiled into the library
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
check="$source_dir/tests/package/maker_cameras.py"

cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
mv "$work/prefix" "$work/moved"
conf=$(find "$work/moved" -path '*/sorvansdk/SvConfig.conf')
[ -n "$conf" ] || { echo "SvConfig.conf is not installed"; exit 1; }
mkdir "$work/elsewhere"
cd "$work/elsewhere"

list() {
  env -u SORVANSDK_CONFIG_PATH -u LD_LIBRARY_PATH SORVANSDK_BACKEND=sim \
    "$work/moved/bin/svcam" --json list 2>"$work/stderr" || { cat "$work/stderr"; return 1; }
}

list | python3 "$check" maker

# The Python module of the same installed tree, when it was built, imports
# from there and sees the maker cameras too.
module=$(find "$work/moved" -path '*site-packages*' -name 'sorvansdk*.so' | head -n1)
if [ -n "$module" ] && [ -x /usr/bin/python3 ]; then
  env -u SORVANSDK_CONFIG_PATH -u LD_LIBRARY_PATH SORVANSDK_BACKEND=sim PYTHONPATH="$(dirname "$module")" \
    /usr/bin/python3 -c '
import sorvansdk
names = sorvansdk.discover()
kinds = sorted(sorvansdk.Camera(i).product_type for i in range(len(names)))
print("installed module:", names, kinds)
assert any("KIVO" in n for n in names) and any("LIRA" in n for n in names), names
assert "KIVO" in str(kinds) and "LIRA" in str(kinds), kinds
'
fi

if [ -e "$compiled_in/SvConfig.conf" ]; then
  echo "$compiled_in/SvConfig.conf exists: the check without the installed file is left out"
else
  rm "$conf"
  list | python3 "$check" generic
fi
echo "relocated configuration: OK"
