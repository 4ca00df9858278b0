#!/usr/bin/env bash
# bench crawl-modern-h2: the site of bench crawl-modern over TLS, with nginx
# speaking HTTP/2 in front of the loopback server that waits DELAY_MS before
# each answer. "Modern link search" (its transfers to the host as streams of
# one connection, up to 32) against `wget2 -r` (HTTP/2 too) and `wget -r`
# (HTTP/1.1 over TLS), the same accept list, interleaved, for ROUNDS rounds;
# the line gives the medians and the ratios per round's median.
# Sizes can be changed: PAGES (500: a site of 521 pages and 1,561 pictures;
# wget takes 40 s a round on it, 160 s on one of 2,000), ROUNDS, DELAY_MS,
# TRANSFERS (the project's most per host; the program's default is 8).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${BUILD_DIR:-build-bench}" && pwd)
crawler="$build/bench/bench_crawl_modern"
pages=${PAGES:-500}
rounds=${ROUNDS:-5}
delay=${DELAY_MS:-20}
transfers=${TRANSFERS:-8}
accept="html,htm,jpg,jpeg,png,gif"

for tool in wget wget2 python3 nginx openssl curl; do
  command -v "$tool" >/dev/null || { echo "bench crawl-modern-h2: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tvx-bench-h2.XXXXXX")
server_pid=""
nginx_pid=""
cleanup() {
  for pid in $nginx_pid $server_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
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

. "$here/lib/nginx.bash"
mkdir -p "$work/nginx"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
  -keyout "$work/nginx/key.pem" -out "$work/nginx/cert.pem" -days 2 -subj /CN=127.0.0.1 \
  -addext subjectAltName=IP:127.0.0.1 2>/dev/null
tls_port=$(free_port)
start_nginx "  upstream slow { server 127.0.0.1:$port; keepalive 64; }
  server {
    listen 127.0.0.1:$tls_port ssl http2;
    ssl_certificate $work/nginx/cert.pem;
    ssl_certificate_key $work/nginx/key.pem;
    http2_max_concurrent_streams 128;
    keepalive_requests 100000;
    location / {
      proxy_pass http://slow;
      proxy_http_version 1.1;
      proxy_set_header Connection \"\";
    }
  }"
cert="$work/nginx/cert.pem"
url="https://127.0.0.1:$tls_port/"
for _ in $(seq 100); do curl -s -o /dev/null --cacert "$cert" "$url" && break || sleep 0.1; done
curl -s -o /dev/null --cacert "$cert" --http2 -w '' "$url" ||
  { echo "bench crawl-modern-h2: nginx does not answer" >&2; exit 1; }

. "$here/lib/site-crawl.bash"

: >"$work/crawl.times"
: >"$work/wget.times"
: >"$work/wget2.times"
for round in $(seq "$rounds"); do
  rm -rf "$work/crawl" "$work/wget" "$work/wget2"
  mkdir -p "$work/crawl" "$work/wget" "$work/wget2"

  t0=$(now)
  (cd "$work/crawl" && TAVRINOX_CA_FILE="$cert" "$crawler" "$url" site "$transfers") \
    >"$work/crawl.out" || true
  t1=$(now)
  wget -r -l inf -nH -e robots=off -q --ignore-case -A "$accept" --ca-certificate="$cert" \
    -P "$work/wget" "$url" || true
  t2=$(now)
  wget2 -r -l inf -nH --robots=off -q --ignore-case -A "$accept" --ca-certificate="$cert" \
    -P "$work/wget2" "$url" || true
  t3=$(now)

  echo "$(calc "$t1 - $t0")" >>"$work/crawl.times"
  echo "$(calc "$t2 - $t1")" >>"$work/wget.times"
  echo "$(calc "$t3 - $t2")" >>"$work/wget2.times"
  printf 'round %d: crawl %.2f s, wget %.2f s, wget2 %.2f s; %s\n' "$round" \
    "$(calc "$t1 - $t0")" "$(calc "$t2 - $t1")" "$(calc "$t3 - $t2")" "$(served)"
done

crawl_pictures=$(pictures_of "$work/crawl/Pictures/site" | wc -l)
wget_pictures=$(pictures_of "$work/wget" | wc -l)
wget2_pictures=$(pictures_of "$work/wget2" | wc -l)
crawl_s=$(median <"$work/crawl.times")
wget_s=$(median <"$work/wget.times")
wget2_s=$(median <"$work/wget2.times")
cat "$work/crawl.out"
printf 'bench crawl-modern-h2: crawl_s=%.2f wget_s=%.2f wget2_s=%.2f ratio=%.2f ratio_wget2=%.2f crawl_pictures=%d wget_pictures=%d wget2_pictures=%d rounds=%d\n' \
  "$crawl_s" "$wget_s" "$wget2_s" "$(calc "$crawl_s / $wget_s")" "$(calc "$crawl_s / $wget2_s")" \
  "$crawl_pictures" "$wget_pictures" "$wget2_pictures" "$rounds"
