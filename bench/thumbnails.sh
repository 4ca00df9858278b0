#!/usr/bin/env bash
# bench thumbnails: 2,000 saved pictures in the downloaded-files tree, pointed
# at one after another with a cold thumbnail cache; prints the longest and the
# 99th-percentile stall of the user-interface thread, RUNS times. There is no
# peer to run beside it: no other program here draws this tree.
# Needs the windows, so it builds in a folder of its own (build-bench-ui).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench-ui"
runs=${RUNS:-5}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAVRINOX_BUILD_TESTS=OFF \
  -DTAVRINOX_BUILD_UI=ON >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target bench_thumbnails >/dev/null
for i in $(seq "$runs"); do
  "$build/bench/bench_thumbnails"
done
