#!/usr/bin/env bash
# bench crawl-memory, modern: "Modern link search" on a link trap (every page
# links to LINKS_PER_PAGE addresses never linked before, each LINK_BYTES long,
# for ever, as session ids make them) within a memory budget of BUDGET_MB
# (default 256, the program's own) and MAX_LINKS links (default 2,000,000).
# The crawl reaches its link limit, goes on for AFTER_S seconds, and is
# stopped; the line gives the links it kept and the process's peak RSS,
# medians of ROUNDS runs (default 3). The peak should stay within the budget
# and 64 MiB.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${BUILD_DIR:-build-bench}" && pwd)
crawler="$build/bench/bench_crawl_memory"
budget=${BUDGET_MB:-256}
max_links=${MAX_LINKS:-2000000}
per_page=${LINKS_PER_PAGE:-1000}
link_bytes=${LINK_BYTES:-120}
after=${AFTER_S:-5}
rounds=${ROUNDS:-3}

work=$(mktemp -d "${TMPDIR:-/tmp}/tvx-bench-memory.XXXXXX")
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

python3 "$here/bench_trap_server.py" "$per_page" "$link_bytes" >"$work/server.out" &
server_pid=$!
for _ in $(seq 200); do
  grep -q '^PORT ' "$work/server.out" 2>/dev/null && break
  sleep 0.05
done
port=$(sed -n 's/^PORT //p' "$work/server.out")

field() { sed -n "s/.*[ :]$1=\([^ ]*\).*/\1/p" <<<"$2"; }
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.6f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: >"$work/rounds"
for round in $(seq "$rounds"); do
  rm -rf "$work/crawl"
  mkdir -p "$work/crawl"
  out=$(cd "$work/crawl" && "$crawler" "http://127.0.0.1:$port/s/start" trap "$budget" \
    "$max_links" "$after")
  echo "$out"
  echo "$(field links_kept "$out") $(field peak_rss_kb "$out")" >>"$work/rounds"
done
links=$(awk '{ print $1 }' "$work/rounds" | median)
peak_kb=$(awk '{ print $2 }' "$work/rounds" | median)
printf 'bench crawl-memory: mode=modern links=%.0f peak_rss_mb=%.1f budget_mb=%d max_links=%d link_bytes=%d rounds=%d\n' \
  "$links" "$(awk "BEGIN { print $peak_kb / 1024 }")" "$budget" "$max_links" "$link_bytes" "$rounds"
