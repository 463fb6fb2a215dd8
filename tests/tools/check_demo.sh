#!/usr/bin/env bash
# scripts/demo in a scratch copy of the checkout, with a stand-in cmake that
# writes 90 lines of build output and "builds" svcam as the real one: the
# demo opens with one line saying what it does, keeps the build output in a
# log file, runs svcam demo, and ends with a summary of the files written. A
# failed build names the log file. Usage: check_demo.sh SOURCE_DIR SVCAM
set -euo pipefail
source_dir=$1
svcam=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; echo "---- output"; cat "$work/output"; exit 1; }

mkdir -p "$work/checkout/scripts" "$work/bin"
cp "$source_dir/scripts/demo" "$work/checkout/scripts/demo"
printf '#!/bin/sh\nexit 0\n' >"$work/checkout/scripts/bootstrap"
chmod +x "$work/checkout/scripts/bootstrap"
cat >"$work/bin/cmake" <<STUB
#!/usr/bin/env bash
for i in \$(seq 1 90); do echo "[ \$i%] build output line \$i"; done
[ -n "\${STUB_BUILD_FAILS:-}" ] && { echo "error: the stand-in build fails"; exit 1; }
if [ "\$1" = "--build" ]; then
  mkdir -p build/tools/svcam
  printf '#!/bin/sh\nexec "%s" "\$@"\n' "$svcam" >build/tools/svcam/svcam
  chmod +x build/tools/svcam/svcam
fi
exit 0
STUB
chmod +x "$work/bin/cmake"

PATH="$work/bin:$PATH" bash "$work/checkout/scripts/demo" >"$work/output" 2>&1 || fail "demo ended with status $?"
head -n1 "$work/output" | grep -q '^demo: installing what is missing, building svcam into build/' || fail "no opening line"
grep -q 'build output line' "$work/output" && fail "the build output is shown"
grep -q 'build output line 90' "$work/checkout/build/demo-build.log" || fail "the build output is not in the log"
grep -q '^isp.ehdr-\*: unavailable: the eHDR controls exist only on cameras with an AR0821' "$work/output" ||
  fail "the unavailable eHDR rows are not explained"
grep -q '^NONE: the camera offers this format in a pixel format the library does not name' "$work/output" ||
  fail "the NONE row is not explained"
png=$(find "$work/checkout/out" -name '*.png' | wc -l)
[ "$png" -gt 0 ] || fail "no pictures written"
tail -n3 "$work/output" | grep -q "^demo: wrote into $work/checkout/out/: $png PNG pictures" || fail "no summary"

rm -rf "$work/checkout/build" "$work/checkout/out"
if STUB_BUILD_FAILS=1 PATH="$work/bin:$PATH" bash "$work/checkout/scripts/demo" >"$work/output" 2>&1; then
  fail "a failed build ended with status 0"
fi
grep -q "^demo: the build failed; the last lines of its output follow, all of it is in build/demo-build.log" \
  "$work/output" || fail "the failed build does not name its log"
[ "$(wc -l <"$work/output")" -le 25 ] || fail "a failed build shows more than its last lines"
echo "demo script: OK"
