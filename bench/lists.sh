#!/usr/bin/env bash
# bench lists: list file load and save cost at two sizes.
set -euo pipefail
"${BUILD_DIR:-build-bench}/bench/bench_lists"
