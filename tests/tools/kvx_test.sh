#!/usr/bin/env bash
# kvx lists the emulated instrument, shows its mode, captures and saves
# numbered files that an independent decoder (netpbm) reads back.
set -euo pipefail
kvx=$1 out=$2
rm -rf "$out" && mkdir -p "$out"
"$kvx" list | grep -q 'SW Emulated device *EMU001'
"$kvx" modes EMU001 | grep -q '^0 '
"$kvx" capture EMU001 --frames 5 --size 320x200 | grep -q '5 frames of 320x200'
for f in ppm bmp jpeg; do
  mkdir -p "$out/$f"
  "$kvx" capture 0 --frames 3 --size 32x24 --save "$out/$f" --format $f >/dev/null
  n=$(ls "$out/$f" | wc -l)
  [ "$n" -eq 3 ] || { echo "$f: $n files"; exit 1; }
done
pnmfile "$out/ppm/frame_00002.ppm" | grep -q '32 by 24'
bmptopnm "$out/bmp/frame_00000.bmp" 2>/dev/null | pnmfile | grep -q '32 by 24'
jpegtopnm "$out/jpeg/frame_00001.jpg" 2>/dev/null | pnmfile | grep -q '32 by 24'
# Failures are reported by status text and exit code.
if "$kvx" capture EMU001 --frames 1 --save "$out/missing/dir" 2>"$out/err"; then exit 1; fi
grep -q 'Failed to create file' "$out/err"
if "$kvx" capture NOSUCH 2>/dev/null; then exit 1; fi
echo "kvx tool checks passed"
