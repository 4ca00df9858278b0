#!/usr/bin/env bash
# bench crawl-docs: a documentation site as it is shipped (Debian's Python
# 3.11 HTML documentation: about 530 pages, 49 MB of HTML, a few pictures in
# pages, favicons and stylesheets), served by nginx on loopback without any
# wait, so that the time is the crawlers' own. "Modern link search" for PNG
# and SVG against `wget2 -r` and `wget -r` with the same accept list,
# interleaved, for ROUNDS rounds; the line gives the medians of the times,
# the median of the rounds' ratios to wget2 (ratio to wget: of the medians),
# the pictures each saved, and how many pictures wget2 saved that the crawl
# did not.
# Sizes can be changed: ROUNDS, TRANSFERS (the most per host; the program's
# default is 8), DOCS (another folder to serve).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${BUILD_DIR:-build-bench}" && pwd)
crawler="$build/bench/bench_crawl_modern"
rounds=${ROUNDS:-5}
transfers=${TRANSFERS:-8}
docs=${DOCS:-/usr/share/doc/python3.11/html}

if [ ! -f "$docs/index.html" ] && [ "$docs" = /usr/share/doc/python3.11/html ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq python3.11-doc >/dev/null ||
    { DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get update -qq &&
      DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq python3.11-doc >/dev/null; } || true
fi
[ -f "$docs/index.html" ] || { echo "bench crawl-docs: no documentation in $docs" >&2; exit 1; }
for tool in wget wget2 nginx python3; do
  command -v "$tool" >/dev/null || { echo "bench crawl-docs: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tvx-bench-docs.XXXXXX")
nginx_pid=""
cleanup() {
  if [ -n "$nginx_pid" ]; then
    kill "$nginx_pid" 2>/dev/null || true
    wait "$nginx_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

. "$here/lib/nginx.bash"
port=$(free_port)
start_nginx "  server {
    listen 127.0.0.1:$port;
    root $docs;
    index index.html;
  }"
url="http://127.0.0.1:$port/"
for _ in $(seq 100); do wget -q -O /dev/null "$url" && break || sleep 0.1; done

. "$here/lib/site-crawl.bash"

accept="png,svg"
: >"$work/crawl.times"
: >"$work/wget.times"
: >"$work/wget2.times"
: >"$work/ratios"
for round in $(seq "$rounds"); do
  rm -rf "$work/crawl" "$work/wget" "$work/wget2"
  mkdir -p "$work/crawl" "$work/wget" "$work/wget2"

  t0=$(now)
  (cd "$work/crawl" && "$crawler" "$url" site "$transfers" svg) >"$work/crawl.out" || true
  t1=$(now)
  wget2 -r -l inf -nH --robots=off -q --ignore-case -A "$accept" -P "$work/wget2" "$url" || true
  t2=$(now)
  wget -r -l inf -nH -e robots=off -q --ignore-case -A "$accept" -P "$work/wget" "$url" || true
  t3=$(now)

  echo "$(calc "$t1 - $t0")" >>"$work/crawl.times"
  echo "$(calc "$t2 - $t1")" >>"$work/wget2.times"
  echo "$(calc "$t3 - $t2")" >>"$work/wget.times"
  echo "$(calc "($t1 - $t0) / ($t2 - $t1)")" >>"$work/ratios"
  printf 'round %d: crawl %.2f s, wget2 %.2f s, wget %.2f s\n' "$round" \
    "$(calc "$t1 - $t0")" "$(calc "$t2 - $t1")" "$(calc "$t3 - $t2")"
done

pictures_of "$work/crawl/Pictures/site" png svg >"$work/crawl.list"
pictures_of "$work/wget2" png svg >"$work/wget2.list"
pictures_of "$work/wget" png svg >"$work/wget.list"
missed_wget2=$(LC_ALL=C comm -13 "$work/crawl.list" "$work/wget2.list")
missed_wget=$(LC_ALL=C comm -13 "$work/crawl.list" "$work/wget.list")
cat "$work/crawl.out"
# The page reader alone over the same pages, without the network.
[ -x "$build/bench/bench_html_links" ] && "$build/bench/bench_html_links" "$docs"
[ -z "$missed_wget2$missed_wget" ] ||
  echo "pictures a peer saved and the crawl did not:" $missed_wget2 $missed_wget
crawl_s=$(median <"$work/crawl.times")
wget_s=$(median <"$work/wget.times")
wget2_s=$(median <"$work/wget2.times")
printf 'bench crawl-docs: crawl_s=%.2f wget2_s=%.2f wget_s=%.2f ratio_wget2=%.2f ratio=%.2f crawl_pictures=%d wget2_pictures=%d wget_pictures=%d missed_wget2=%d rounds=%d\n' \
  "$crawl_s" "$wget2_s" "$wget_s" "$(median <"$work/ratios")" "$(calc "$crawl_s / $wget_s")" \
  "$(wc -l <"$work/crawl.list")" "$(wc -l <"$work/wget2.list")" "$(wc -l <"$work/wget.list")" \
  "$(printf '%s' "$missed_wget2" | grep -c . || true)" "$rounds"
