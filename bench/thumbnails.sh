#!/usr/bin/env bash
# bench thumbnails: 2,000 saved pictures in the downloaded-files tree, pointed
# at one after another with a cold thumbnail cache, against the same sweep
# over a plain tree of the same items that makes no thumbnails (the peer),
# PAIRS interleaved pairs. Prints the medians of the longest and the
# 99th-percentile stall of the user-interface thread, per 16.7 ms frame.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/${BUILD_DIR:-build-bench}"
pairs=${PAIRS:-5}
field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<"$2"; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { printf "%.1f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
thumb_max=() thumb_p99=() plain_max=()
for i in $(seq "$pairs"); do
  t=$("$build/bench/bench_thumbnails" 2>/dev/null | grep '^thumbnails:')
  p=$("$build/bench/bench_thumbnails" plain 2>/dev/null | grep '^plain:')
  echo "pair $i: $t | $p"
  thumb_max+=("$(field max_stall_ms "$t")")
  thumb_p99+=("$(field p99_stall_ms "$t")")
  plain_max+=("$(field max_stall_ms "$p")")
done
echo "bench thumbnails: pictures=2000 max_stall_ms=$(median "${thumb_max[@]}")" \
  "p99_stall_ms=$(median "${thumb_p99[@]}") p99_over=frames_of_16.7ms plain_max_stall_ms=$(median "${plain_max[@]}") pairs=$pairs"
