#!/usr/bin/env bash
# bench crawl-update: a site followed over time. The site of today that
# `bench crawl-modern` uses is crawled with "Modern link search"; then 1 % of
# its pictures change and it is crawled again in the same folder, so that the
# project's archive asks each picture it has whether it changed. Beside it,
# in the same rounds, `wget -N` makes the same two runs in a folder of its
# own. The server sends ETag and Last-Modified and answers 304 to either
# validator, and waits DELAY_MS before every answer, as a distant site would.
# ROUNDS interleaved rounds; the line gives the medians:
#   second_run_s   the crawl's second run
#   picture_bodies picture bodies the server sent during it
#   ratio          second run over first run of the crawl
#   wget_picture_bodies  picture bodies wget -N's second run was sent
#   ratio_wget     the crawl's second run over wget -N's second run
# Sizes can be changed: PAGES, ROUNDS, DELAY_MS, TRANSFERS (per host).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${BUILD_DIR:-build-bench}" && pwd)
crawler="$build/bench/bench_crawl_modern"
pages=${PAGES:-300}
rounds=${ROUNDS:-5}
delay=${DELAY_MS:-20}
transfers=${TRANSFERS:-4}
accept="html,htm,jpg,jpeg,png,gif"

for tool in wget python3; do
  command -v "$tool" >/dev/null || { echo "bench crawl-update: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tvx-bench-update.XXXXXX")
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

python3 "$here/bench_modern_site.py" --out "$work/site" --pages "$pages" >"$work/site.out"
# Every file a minute in the past, so that a change made now is newer to the
# second, whatever the clock.
find "$work/site" -type f -exec touch -d '-1 minute' {} +
cp -a "$work/site" "$work/www"
python3 "$here/bench_slow_server.py" "$work/www" "$delay" >"$work/server.out" &
server_pid=$!
for _ in $(seq 200); do
  grep -q '^PORT ' "$work/server.out" 2>/dev/null && break
  sleep 0.05
done
port=$(sed -n 's/^PORT //p' "$work/server.out")
url="http://127.0.0.1:$port/"

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.6f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# The server's counters: "served requests=… most_at_once=… bodies=… not_modified=…".
counter() {
  kill -USR1 "$server_pid"
  sleep 0.2
  grep '^served ' "$work/server.out" | tail -n 1 | sed -n "s/.* $1=\\([0-9]*\\).*/\\1/p"
}
reload() {
  local before
  before=$(grep -c '^reloaded' "$work/server.out" || true)
  kill -USR2 "$server_pid"
  for _ in $(seq 400); do
    [ "$(grep -c '^reloaded' "$work/server.out" || true)" -gt "$before" ] && return
    sleep 0.05
  done
}
# Changes one picture in a hundred (every hundredth, in name order): new bytes
# and a time of now.
change_pictures() {
  python3 - "$work/www" <<'PY'
import os, sys
root = sys.argv[1]
found = []
for folder, _, names in os.walk(root):
    for name in names:
        if os.path.splitext(name)[1].lower() in (".jpg", ".jpeg", ".png", ".gif"):
            found.append(os.path.join(folder, name))
found.sort()
for path in found[::100]:
    with open(path, "ab") as f:
        f.write(b"changed")
print(len(found[::100]))
PY
}

# wget -N asks with If-Modified-Since by default, and a 304 to the start page
# ends its run there: it never looks at the pictures again. Asked with HEAD
# instead, it checks every file and fetches what changed, as the crawl does.
wget_update=(wget -r -l inf -N --no-if-modified-since -nH -e robots=off -q --ignore-case
             -A "$accept" -P "$work/wget")

for f in first second bodies wget_bodies wget_second changed; do : >"$work/$f.values"; done
for round in $(seq "$rounds"); do
  rm -rf "$work/www" "$work/crawl" "$work/wget"
  cp -a "$work/site" "$work/www"
  reload
  mkdir -p "$work/crawl" "$work/wget"

  t0=$(now)
  (cd "$work/crawl" && "$crawler" "$url" site "$transfers") >"$work/crawl1.out" || true
  t1=$(now)
  "${wget_update[@]}" "$url" || true

  change_pictures >>"$work/changed.values"
  reload
  bodies0=$(counter bodies)
  t2=$(now)
  (cd "$work/crawl" && "$crawler" "$url" site "$transfers") >"$work/crawl2.out" || true
  t3=$(now)
  bodies1=$(counter bodies)
  "${wget_update[@]}" "$url" || true
  t4=$(now)
  bodies2=$(counter bodies)

  calc "$t1 - $t0" >>"$work/first.values"; echo >>"$work/first.values"
  calc "$t3 - $t2" >>"$work/second.values"; echo >>"$work/second.values"
  calc "$t4 - $t3" >>"$work/wget_second.values"; echo >>"$work/wget_second.values"
  echo $((bodies1 - bodies0)) >>"$work/bodies.values"
  echo $((bodies2 - bodies1)) >>"$work/wget_bodies.values"
  printf 'round %d: first %.2f s, second %.2f s (%d picture bodies), wget -N second %.2f s (%d)\n' \
    "$round" "$(calc "$t1 - $t0")" "$(calc "$t3 - $t2")" $((bodies1 - bodies0)) \
    "$(calc "$t4 - $t3")" $((bodies2 - bodies1))
done

first=$(grep . "$work/first.values" | median)
second=$(grep . "$work/second.values" | median)
wget_second=$(grep . "$work/wget_second.values" | median)
bodies=$(median <"$work/bodies.values")
wget_bodies=$(median <"$work/wget_bodies.values")
changed=$(head -n 1 "$work/changed.values")
cat "$work/site.out"
tail -n 1 "$work/crawl2.out"
printf 'bench crawl-update: first_run_s=%.2f second_run_s=%.2f picture_bodies=%d changed_pictures=%d ratio=%.2f wget_second_run_s=%.2f wget_picture_bodies=%d ratio_wget=%.2f\n' \
  "$first" "$second" "$bodies" "$changed" "$(calc "$second / $first")" "$wget_second" \
  "$wget_bodies" "$(calc "$second / $wget_second")"
