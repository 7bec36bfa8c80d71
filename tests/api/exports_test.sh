#!/usr/bin/env bash
# Checks that the library exports exactly the functions of its public header
# and carries the SONAME libVKVX.so.1.
set -euo pipefail
lib=$1 header=$2
exported=$(nm -D --defined-only "$lib" | awk '$2 == "T" {print $3}' | sort)
declared=$(grep -oE 'VKVX_API [^(]*\b(VKVX_|VP_)[A-Za-z0-9_]+\(' "$header" | grep -oE '(VKVX_|VP_)[A-Za-z0-9_]+\($' | tr -d '(' | sort)
others=$(nm -D --defined-only "$lib" | awk '{print $3}' | grep -vE '^(VKVX_|VP_)' || true)
status=0
if [ -n "$others" ]; then echo "exported beyond the API: $others"; status=1; fi
missing=$(comm -13 <(echo "$exported") <(echo "$declared"))
extra=$(comm -23 <(echo "$exported") <(echo "$declared"))
if [ -n "$missing" ]; then echo "declared but not exported: $missing"; status=1; fi
if [ -n "$extra" ]; then echo "exported but not declared: $extra"; status=1; fi
objdump -p "$lib" | grep -q 'SONAME *libVKVX.so.1$' || { echo "SONAME is not libVKVX.so.1"; status=1; }
echo "$(echo "$declared" | wc -l) exports checked"
exit $status
