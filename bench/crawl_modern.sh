#!/usr/bin/env bash
# bench crawl-modern: "Modern link search" against `wget -r` and `wget2 -r`
# on a site of today (minified one-line pages, srcset, lazy pictures, names
# that differ only in letter case), served by a loopback server that waits
# DELAY_MS before each answer, as a distant site would. The three crawl the
# same site with the same accept list, interleaved, for ROUNDS rounds; the
# line gives the medians.
# Sizes can be changed: PAGES (500: a site of 521 pages and 1,561 pictures;
# wget takes 40 s a round on it, 160 s on one of 2,000), ROUNDS, DELAY_MS,
# TRANSFERS (the most per host; the program's default is 8, each host
# starting at 2 and ramping up while it keeps up). After the rounds the crawl
# runs once more with TRANSFERS_MORE per host (0: not), for comparison with
# wget2's threads.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${BUILD_DIR:-build-bench}" && pwd)
crawler="$build/bench/bench_crawl_modern"
pages=${PAGES:-500}
rounds=${ROUNDS:-5}
delay=${DELAY_MS:-20}
transfers=${TRANSFERS:-8}
transfers_more=${TRANSFERS_MORE:-16}
accept="html,htm,jpg,jpeg,png,gif"

for tool in wget wget2 python3; do
  command -v "$tool" >/dev/null || { echo "bench crawl-modern: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tvx-bench-modern.XXXXXX")
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

python3 "$here/bench_modern_site.py" --out "$work/www" --pages "$pages"
python3 "$here/bench_slow_server.py" "$work/www" "$delay" >"$work/server.out" &
server_pid=$!
for _ in $(seq 200); do
  grep -q '^PORT ' "$work/server.out" 2>/dev/null && break
  sleep 0.05
done
port=$(sed -n 's/^PORT //p' "$work/server.out")
url="http://127.0.0.1:$port/"

. "$here/lib/site-crawl.bash"

: >"$work/crawl.times"
: >"$work/wget.times"
: >"$work/wget2.times"
for round in $(seq "$rounds"); do
  rm -rf "$work/crawl" "$work/wget" "$work/wget2"
  mkdir -p "$work/crawl" "$work/wget" "$work/wget2"

  t0=$(now)
  (cd "$work/crawl" && "$crawler" "$url" site "$transfers") >"$work/crawl.out" || true
  t1=$(now)
  wget -r -l inf -nH -e robots=off -q --ignore-case -A "$accept" -P "$work/wget" "$url" || true
  t2=$(now)
  wget2 -r -l inf -nH --robots=off -q --ignore-case -A "$accept" -P "$work/wget2" "$url" || true
  t3=$(now)

  echo "$(calc "$t1 - $t0")" >>"$work/crawl.times"
  echo "$(calc "$t2 - $t1")" >>"$work/wget.times"
  echo "$(calc "$t3 - $t2")" >>"$work/wget2.times"
  printf 'round %d: crawl %.2f s, wget %.2f s, wget2 %.2f s; %s\n' "$round" \
    "$(calc "$t1 - $t0")" "$(calc "$t2 - $t1")" "$(calc "$t3 - $t2")" "$(served)"
done

pictures_of "$work/crawl/Pictures/site" >"$work/crawl.list"
pictures_of "$work/wget" >"$work/wget.list"
pictures_of "$work/wget2" >"$work/wget2.list"
crawl_pictures=$(wc -l <"$work/crawl.list")
wget_pictures=$(wc -l <"$work/wget.list")
wget2_pictures=$(wc -l <"$work/wget2.list")
missed_wget=$(LC_ALL=C comm -13 "$work/crawl.list" "$work/wget.list" | wc -l)
missed_wget2=$(LC_ALL=C comm -13 "$work/crawl.list" "$work/wget2.list" | wc -l)
only_crawl=$(LC_ALL=C sort -u "$work/wget.list" "$work/wget2.list" | LC_ALL=C comm -23 "$work/crawl.list" - | wc -l)
lazy=$(grep -c '/Lazy/' "$work/crawl.list" || true)

more=""
if [ "$transfers_more" -gt 0 ]; then
  rm -rf "$work/crawl"
  mkdir -p "$work/crawl"
  t0=$(now)
  (cd "$work/crawl" && "$crawler" "$url" site "$transfers_more") >/dev/null || true
  more=$(calc "$(now) - $t0")
fi

crawl_s=$(median <"$work/crawl.times")
wget_s=$(median <"$work/wget.times")
wget2_s=$(median <"$work/wget2.times")
cat "$work/crawl.out"
echo "pictures saved by a peer but not by the crawl: wget $missed_wget, wget2 $missed_wget2;" \
  "saved only by the crawl: $only_crawl ($lazy of them lazy-loaded)"
if [ -n "$more" ]; then
  printf 'with %d transfers per host the crawl took %.2f s (wget2, %s threads by default: %.2f s)\n' \
    "$transfers_more" "$more" 5 "$wget2_s"
fi
printf 'bench crawl-modern: crawl_s=%.2f wget_s=%.2f wget2_s=%.2f ratio=%.2f ratio_wget2=%.2f crawl_pictures=%d wget_pictures=%d wget2_pictures=%d\n' \
  "$crawl_s" "$wget_s" "$wget2_s" "$(calc "$crawl_s / $wget_s")" "$(calc "$crawl_s / $wget2_s")" \
  "$crawl_pictures" "$wget_pictures" "$wget2_pictures"
