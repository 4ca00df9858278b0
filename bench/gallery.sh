#!/usr/bin/env bash
# bench gallery: the gallery over 100,000 tiny saved pictures in 500 project
# folders (made once, in a folder below /tmp that goes at the end), with a
# cold thumbnail cache: the time to the first screen of thumbnails, the
# window's stalls while the whole grid is scrolled at 30 steps a second, and
# the peak memory. One run varies a lot on a shared machine, so RUNS runs (5)
# are made over the same pictures and the medians printed, with the longest
# stall of all runs beside them. Sizes can be changed: PICTURES, FOLDERS, STEPS.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/${BUILD_DIR:-build-bench}"
runs=${RUNS:-5}
[ -x "$build/bench/bench_gallery" ] || { echo "bench gallery: not built (needs the windows)"; exit 0; }
work=$(mktemp -d "${TMPDIR:-/tmp}/tvx-bench-gallery.XXXXXX")
trap 'rm -rf "$work"' EXIT
field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<"$2"; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { printf "%.1f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
first=() p99=() max=() frame=() rss=()
line=
for i in $(seq "$runs"); do
  line=$("$build/bench/bench_gallery" "$work" 2>&1 | grep -v '^QStandardPaths:' | grep -v 'propagateSizeHints' || true)
  echo "run $i: ${line##*$'\n'}"
  line=$(grep '^bench gallery: pictures=' <<<"$line") || { echo "bench gallery: run $i failed"; exit 1; }
  first+=("$(field first_screen_ms "$line")")
  p99+=("$(field p99_stall_ms "$line")")
  max+=("$(field max_stall_ms "$line")")
  frame+=("$(field p99_frame_ms "$line")")
  rss+=("$(field rss_mb "$line")")
done
worst=$(printf '%s\n' "${max[@]}" | sort -g | tail -1)
echo "bench gallery: pictures=$(field pictures "$line") folders=$(field folders "$line")" \
  "first_screen_ms=$(median "${first[@]}") p99_stall_ms=$(median "${p99[@]}")" \
  "max_stall_ms=$(median "${max[@]}") worst_max_stall_ms=$worst p99_frame_ms=$(median "${frame[@]}")" \
  "rss_mb=$(median "${rss[@]}") runs=$runs"
