#!/usr/bin/env bash
# bench crawl: the crawl worker against `wget -r` on one generated static site
# served by a private nginx on loopback, then the crawl's cost at 10,000 and
# 100,000 URLs (linear cost gives a ratio of about 10), then the memory a
# crawl holds for one page of a million same-site links (peak RSS less that
# of a crawl of a page with one link). Each comparison runs PAIRS interleaved
# pairs (default 5) and prints medians.
# Sizes can be changed: PAGES, PICTURES, SCALE_HUBS_SMALL, SCALE_HUBS_LARGE
# (1000 leaf pages per hub), MEMORY_LINKS.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${BUILD_DIR:-build-bench}" && pwd)
crawler="$build/bench/bench_crawl"
pages=${PAGES:-3000}
pictures=${PICTURES:-2000}
hubs_small=${SCALE_HUBS_SMALL:-10}
hubs_large=${SCALE_HUBS_LARGE:-100}
memory_links=${MEMORY_LINKS:-1000000}
pairs=${PAIRS:-5}

work=$(mktemp -d "${TMPDIR:-/tmp}/tvx-bench-crawl.XXXXXX")
chmod 755 "$work"  # nginx's worker runs as another user when started by root
nginx_pid=""
cleanup() {
  if [ -n "$nginx_pid" ]; then
    kill "$nginx_pid" 2>/dev/null || true
    wait "$nginx_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
www="$work/www"
python3 "$here/bench_crawl_site.py" site --out "$www" --port "$port" --pages "$pages" \
  --pictures "$pictures"
python3 "$here/bench_crawl_site.py" scaling --out "$www" --prefix small --hubs "$hubs_small"
python3 "$here/bench_crawl_site.py" scaling --out "$www" --prefix large --hubs "$hubs_large"
python3 "$here/bench_crawl_site.py" wide --out "$www" --prefix wide --links "$memory_links"
python3 "$here/bench_crawl_site.py" wide --out "$www" --prefix one --links 1

mkdir -p "$work/nginx"
cat >"$work/nginx.conf" <<EOF
worker_processes 1;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log warn;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  types { text/html html; image/jpeg jpg; image/gif gif; image/png png; }
  default_type application/octet-stream;
  sendfile on;
  server {
    listen 127.0.0.1:$port;
    root $www;
    location ~ ^/(small|large)/leaf/ { try_files /\$1-leaf.html =404; }
  }
}
EOF
nginx -e "$work/nginx/error.log" -p "$work/nginx" -c "$work/nginx.conf" &
nginx_pid=$!
for _ in $(seq 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.05
done

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
field() { sed -n "s/.*[ :]$1=\([^ ]*\).*/\1/p" <<<"$2"; }
median() { sort -g | awk '{ v[NR] = $1 } END { m = int((NR + 1) / 2); if (NR % 2) print v[m]; else printf "%.6f\n", (v[m] + v[m + 1]) / 2 }'; }

# --- crawl and wget on the same site -------------------------------------------
start_url="http://127.0.0.1:$port/index.html"
: >"$work/crawl.pairs"
for pair in $(seq "$pairs"); do
  rm -rf "$work/crawl" "$work/wget"
  mkdir -p "$work/crawl" "$work/wget"
  t0=$(now)
  crawl_out=$(cd "$work/crawl" && "$crawler" "$start_url" site)
  t1=$(now)
  wget -r -l inf -nH -e robots=off -q -A html,jpg,gif -P "$work/wget" "$start_url" || true
  t2=$(now)
  echo "$(calc "$t1 - $t0") $(calc "$t2 - $t1")" >>"$work/crawl.pairs"
done
crawl_s=$(awk '{ print $1 }' "$work/crawl.pairs" | median)
wget_s=$(awk '{ print $2 }' "$work/crawl.pairs" | median)
ratio=$(awk '{ print $1 / $2 }' "$work/crawl.pairs" | median)

(cd "$work/crawl/Pictures/site" && find . -type f | sort) >"$work/crawl.list"
(cd "$work/wget" && find . -type f \( -name '*.jpg' -o -name '*.gif' \) | sort) >"$work/wget.list"
crawl_files=$(wc -l <"$work/crawl.list")
wget_files=$(wc -l <"$work/wget.list")
bytes_of() { find "$@" -printf '%s\n' | awk '{ n += $1 } END { printf "%d", n }'; }
crawl_bytes=$(bytes_of "$work/crawl/Pictures/site" -type f)
wget_bytes=$(bytes_of "$work/wget" -type f \( -name '*.jpg' -o -name '*.gif' \))
wget_all=$(find "$work/wget" -type f | wc -l)
wget_all_bytes=$(bytes_of "$work/wget" -type f)
if cmp -s "$work/crawl.list" "$work/wget.list"; then same=yes; else same=no; fi

echo "$crawl_out"
printf 'crawl: %.3f s, %d pictures saved, %d bytes (median of %d)\n' "$crawl_s" "$crawl_files" \
  "$crawl_bytes" "$pairs"
printf 'wget:  %.3f s, %d pictures saved, %d bytes (%d files, %d bytes with the pages)\n' \
  "$wget_s" "$wget_files" "$wget_bytes" "$wget_all" "$wget_all_bytes"
echo "same pictures saved: $same"
printf 'bench crawl: crawl_s=%.3f wget_s=%.3f ratio=%.2f crawl_files=%d wget_files=%d pairs=%d\n' \
  "$crawl_s" "$wget_s" "$ratio" "$crawl_files" "$wget_files" "$pairs"

# --- scaling ----------------------------------------------------------------------
scale() {
  rm -rf "$work/scale-$1"
  mkdir -p "$work/scale-$1"
  (cd "$work/scale-$1" && "$crawler" "http://127.0.0.1:$port/$1/index.html" "scale-$1")
}
: >"$work/scale.pairs"
for pair in $(seq "$pairs"); do
  small_out=$(scale small)
  large_out=$(scale large)
  echo "$(field seconds "$small_out") $(field seconds "$large_out")" >>"$work/scale.pairs"
done
echo "$small_out"
echo "$large_out"
small_s=$(awk '{ print $1 }' "$work/scale.pairs" | median)
large_s=$(awk '{ print $2 }' "$work/scale.pairs" | median)
printf 'bench crawl-scaling: ratio=%.2f urls_small=%s s_small=%.3f urls_large=%s s_large=%.3f pairs=%d\n' \
  "$(awk '{ print $2 / $1 }' "$work/scale.pairs" | median)" "$(field urls "$small_out")" \
  "$small_s" "$(field urls "$large_out")" "$large_s" "$pairs"

# --- memory -----------------------------------------------------------------------
# A crawl stopped once every link of its one page is queued, beside one
# stopped after the single link of a page of one line.
queued() {
  rm -rf "$work/memory"
  mkdir -p "$work/memory"
  (cd "$work/memory" && "$crawler" "http://127.0.0.1:$port/$1/index.html" "$1" "$2")
}
: >"$work/memory.pairs"
for pair in $(seq "$pairs"); do
  base_out=$(queued one 1)
  wide_out=$(queued wide "$memory_links")
  echo "$(field peak_rss_kb "$base_out") $(field peak_rss_kb "$wide_out")" >>"$work/memory.pairs"
done
echo "$base_out"
echo "$wide_out"
base_kb=$(awk '{ print $1 }' "$work/memory.pairs" | median)
wide_kb=$(awk '{ print $2 }' "$work/memory.pairs" | median)
per_link=$(awk -v n="$memory_links" '{ print ($2 - $1) * 1024 / n }' "$work/memory.pairs" | median)
printf 'bench crawl-memory: links=%d peak_rss_mb=%.1f baseline_mb=%.1f bytes_per_link=%.0f pairs=%d\n' \
  "$memory_links" "$(calc "$wide_kb / 1024")" "$(calc "$base_kb / 1024")" "$per_link" "$pairs"
