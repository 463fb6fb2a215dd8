#!/usr/bin/env bash
# The shared library exports the 76 functions of the current interface, with
# their C++ signatures, the earlier interface's Sc functions (C names) and the
# members of its class SorvanCam, and nothing of its internal classes.
set -euo pipefail
lib=$1
header=$2
legacy_header=$3
legacy_members=$4
case "$lib" in
  *.dll)
    # The names of the DLL's export table, demangled.
    syms=$(x86_64-w64-mingw32-objdump -p "$lib" |
      awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^\t\[ *[0-9]+\]/ {print $NF} on && /^$/ {on=0}' |
      x86_64-w64-mingw32-c++filt) ;;
  *)
    syms=$(nm -D --defined-only -C "$lib" | awk '$2 ~ /^[TWVDBRtw]$/ {sub(/^[0-9a-f]+ [A-Za-z] /, ""); print}') ;;
esac
declared=$(grep -oE '^SORVANSDK_API [^(]*\b(HelloSorvanSDK|Sv[A-Za-z0-9]+)\(' "$header" | grep -oE '(HelloSorvanSDK|Sv[A-Za-z0-9]+)\($' | tr -d '(' | sort -u)
count=$(echo "$declared" | wc -l)
[ "$count" -eq 76 ] || { echo "header declares $count functions, expected 76"; exit 1; }
missing=0
for f in $declared; do
  if ! grep -qE "^$f\(" <<<"$syms"; then echo "not exported: $f"; missing=1; fi
done

# The earlier interface: every Sc function of its header under its C name.
sc=$(grep -oE '^SORVANSDK_API [^(]*\bSc[A-Za-z0-9_]+\(' "$legacy_header" | grep -oE 'Sc[A-Za-z0-9_]+\($' | tr -d '(' | sort -u)
sc_count=$(echo "$sc" | wc -l)
[ "$sc_count" -eq 104 ] || { echo "legacy header declares $sc_count Sc functions, expected 104"; missing=1; }
for f in $sc; do
  if ! grep -qxF "$f" <<<"$syms"; then echo "not exported with C linkage: $f"; missing=1; fi
done
while IFS= read -r m; do
  [ -n "$m" ] || continue
  if ! grep -qxF "$m" <<<"$syms"; then echo "not exported: $m"; missing=1; fi
done < "$legacy_members"

# Exported symbols must all be interface functions (with a typed signature),
# Sc functions of the legacy header or the listed SorvanCam members.
stray=$(grep -vE '^(HelloSorvanSDK|Sv[A-Za-z0-9]+)\(' <<<"$syms" | grep -vxF -f <(echo "$sc") \
        | grep -vxF -f "$legacy_members" || true)
if [ -n "$stray" ]; then echo "unexpected exports:"; echo "$stray" | head -20; missing=1; fi
# A typed signature, not a plain C symbol.
grep -qE '^SvGetImage\(std::shared_ptr<SvCamera>, unsigned char\*, int\*, unsigned short\)$' <<<"$syms" \
  || { echo "SvGetImage is not exported with its C++ signature"; missing=1; }
[ $missing -eq 0 ] && echo "exports: $count interface functions, $sc_count Sc functions, $(grep -c . "$legacy_members") SorvanCam members, nothing else"
exit $missing
