#!/usr/bin/env bash
# bench gallery: the gallery over 100,000 tiny saved pictures in 500 project
# folders (made once, in a folder below /tmp that goes at the end), with a
# cold thumbnail cache: the time to the first screen of thumbnails, the
# window's stalls while the whole grid is scrolled at 30 steps a second, and
# the peak memory. Sizes can be changed: PICTURES, FOLDERS, STEPS.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/${BUILD_DIR:-build-bench}"
[ -x "$build/bench/bench_gallery" ] || { echo "bench gallery: not built (needs the windows)"; exit 0; }
work=$(mktemp -d "${TMPDIR:-/tmp}/tvx-bench-gallery.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$build/bench/bench_gallery" "$work" 2>&1 | grep -v '^QStandardPaths:'
