#!/usr/bin/env bash
# Installs the library into a scratch prefix, moves the prefix elsewhere, and
# builds the outside program with plain g++ and `pkg-config --cflags --libs
# sorvansdk` against the moved tree; then runs it and checks its greeting.
set -euo pipefail
build_dir=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
mv "$work/prefix" "$work/moved"
pc=$(find "$work/moved" -name sorvansdk.pc -path '*/pkgconfig/*')
[ -n "$pc" ] || { echo "sorvansdk.pc is not installed"; exit 1; }

# Only our file: a system-wide one must not answer instead.
export PKG_CONFIG_LIBDIR=$(dirname "$pc")
unset PKG_CONFIG_PATH
pkg-config --exists --print-errors sorvansdk
[ "$(pkg-config --modversion sorvansdk)" = "25.12.1" ] \
  || { echo "version: $(pkg-config --modversion sorvansdk)"; exit 1; }
flags=$(pkg-config --cflags --libs sorvansdk)
echo "pkg-config: $flags"
# The paths follow the moved tree, not the prefix it was installed with.
grep -q -- "-I$work/moved/" <<<"$flags" || { echo "include folder is not in the moved tree"; exit 1; }
grep -q -- "-L$work/moved/" <<<"$flags" || { echo "library folder is not in the moved tree"; exit 1; }

# shellcheck disable=SC2086
g++ -std=c++17 "$source_dir/tests/package/consumer/main.cpp" -o "$work/consumer" $flags
libdir=$(pkg-config --variable=libdir sorvansdk)
out=$(env -u SORVANSDK_CONFIG_PATH LD_LIBRARY_PATH="$libdir" "$work/consumer")
echo "$out"
line='^\[[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}\] \[info\] '
printf '%s\n' "$out" | grep -Eq "${line}Hello SorvanSDK!"$'\r'"?$"
printf '%s\n' "$out" | grep -Eq "${line}Version: 25\.12\.1"$'\r'"?$"
echo "pkg-config consumer: OK"
