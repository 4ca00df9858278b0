#!/usr/bin/env bash
# bench thumbnails: 2,000 saved pictures in the downloaded-files tree, pointed
# at one after another with a cold thumbnail cache; prints the longest and the
# 99th-percentile stall of the user-interface thread, RUNS times. There is no
# peer to run beside it: no other program here draws this tree.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/${BUILD_DIR:-build-bench}"
runs=${RUNS:-5}
for i in $(seq "$runs"); do
  "$build/bench/bench_thumbnails"
done
