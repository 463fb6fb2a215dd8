#!/usr/bin/env bash
# Installs the library into a scratch prefix, builds an outside project with
# find_package(SorvanSDK) against it, and checks what its greeting prints.
set -euo pipefail
build_dir=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
cmake -S "$source_dir/tests/package/consumer" -B "$work/consumer" \
  -DCMAKE_PREFIX_PATH="$work/prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/consumer" >/dev/null
out=$(LD_LIBRARY_PATH="$work/prefix/lib:$work/prefix/lib64:${LD_LIBRARY_PATH:-}" "$work/consumer/consumer")
echo "$out"
line='^\[[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}\] \[info\] '
printf '%s\n' "$out" | grep -Eq "${line}Hello SorvanSDK!"$'\r'"?$"
printf '%s\n' "$out" | grep -Eq "${line}Version: 25\.12\.1"$'\r'"?$"
echo "package consumer: OK"
