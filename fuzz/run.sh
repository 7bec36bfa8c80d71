#!/usr/bin/env bash
# Builds each libFuzzer target with clang (ASan + UBSan) and runs it for a
# bounded time on a copy of its committed corpus.
#   fuzz/run.sh [SECONDS_PER_TARGET]   (default 30, or $FUZZ_SECONDS)
# Build output and new corpus units go to $FUZZ_OUT (default build-fuzz/ at
# the top of the tree); the committed corpus is not changed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
seconds=${1:-${FUZZ_SECONDS:-30}}
out=${FUZZ_OUT:-$top/build-fuzz}
cxx=${CLANGXX:-clang++}
mkdir -p "$out"

flags=(-std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -DFUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION -I"$top/api" -I"$here")

declare -A sources=(
  [descriptors]="$top/api/transport/UsbDescriptors.cpp"
  [responses]="$top/api/transport/UsbDescriptors.cpp $top/api/transport/UsbDevice.cpp $top/api/usb3/RegisterProtocol.cpp"
)

status=0
for target in descriptors responses; do
  echo "== $target: build"
  # shellcheck disable=SC2086
  "$cxx" "${flags[@]}" "$here/${target}_fuzz.cpp" ${sources[$target]} -lpthread -o "$out/${target}_fuzz"
  work="$out/corpus-$target"
  rm -rf "$work"
  mkdir -p "$work"
  cp "$here/corpus/$target/"* "$work/"
  echo "== $target: run ${seconds}s"
  if ! "$out/${target}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$out/${target}-" "$work" >"$out/${target}.log" 2>&1; then
    echo "!! $target found a failure; see $out/${target}.log and $out/${target}-*"
    tail -40 "$out/${target}.log"
    status=1
  else
    tail -2 "$out/${target}.log"
  fi
done
exit $status
