#!/usr/bin/env bash
# Builds the Debian package from the build tree's artifacts, checks its
# contents and dependencies, unpacks it with dpkg -x into a scratch root and
# runs the unpacked svcam there: it must find the unpacked library and
# configuration and serve the simulated KIVO and LIRA cameras as maker cameras.
set -euo pipefail
build_dir=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$work" && cpack --config "$build_dir/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) \
  || { cat "$work/cpack.log"; exit 1; }
deb=$(find "$work/out" -maxdepth 1 -name 'sorvansdk_*.deb')
[ "$(wc -l <<<"$deb")" -eq 1 ] && [ -n "$deb" ] || { echo "expected one package, found: $deb"; exit 1; }
echo "package: $(basename "$deb")"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libspdlog libfmt libyaml-cpp libjpeg libpng libstdc++; do
  grep -q "$lib" <<<"$depends" || { echo "no dependency on $lib"; exit 1; }
done

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in usr/bin/svcam 'usr/lib/.*libSorvanSDK\.so\.25' usr/include/sorvansdk/SorvanSDK.h \
            'usr/lib/.*cmake/SorvanSDK/SorvanSDKConfig\.cmake' 'usr/lib/.*pkgconfig/sorvansdk\.pc' \
            'sorvansdk/SvConfig\.conf' 'sorvansdk/SvExposure\.yaml' 'sorvansdk/profiles/kivo-daylight\.json'; do
  grep -Eq "$path\$" <<<"$contents" || { echo "not in the package: $path"; exit 1; }
done

dpkg -x "$deb" "$work/root"
mkdir "$work/elsewhere"
cd "$work/elsewhere"
env -u SORVANSDK_CONFIG_PATH -u LD_LIBRARY_PATH \
  "$work/root/usr/bin/svcam" --backend sim --json list 2>"$work/stderr" >"$work/list.json" \
  || { cat "$work/stderr"; exit 1; }
python3 "$source_dir/tests/package/maker_cameras.py" maker <"$work/list.json"
echo "Debian package: OK"
