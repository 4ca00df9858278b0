#!/usr/bin/env bash
# bench download / bench ftp: one 256 MiB file over loopback, fetched by the
# file worker and by curl, in PAIRS interleaved pairs (worker first in even
# pairs, curl first in odd ones). Prints each pair, then the medians and the
# median of the per-pair ratios (worker / curl throughput).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/${BUILD_DIR:-build-bench}"
size_mb=${DOWNLOAD_MB:-256}
pairs=${PAIRS:-5}
work=$(mktemp -d /tmp/tvx-bench-dl-XXXXXX)
nginx_pid=""; ftp_pid=""
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true
  [ -n "$ftp_pid" ] && kill "$ftp_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/www" "$work/run" "$work/worker" "$work/curl"
chmod 755 "$work" "$work/www"
head -c $((size_mb * 1024 * 1024)) /dev/urandom > "$work/www/big.jpg"
chmod 644 "$work/www/big.jpg"

free_port() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# Seconds for the worker (its own clock, from start to the record's move).
run_worker() {
  rm -rf "$work/worker/Pictures"
  local s
  s=$(cd "$work/worker" && "$build/bench/bench_download" "$1")
  cmp -s "$work/worker/Pictures/big.jpg" "$work/www/big.jpg" || { echo "worker file differs" >&2; exit 1; }
  rm -rf "$work/worker/Pictures"
  echo "$s"
}

# Seconds for curl (its own clock, the whole transfer).
run_curl() {
  rm -f "$work/curl/big.jpg"
  local s
  s=$(curl -s "${@:2}" -o "$work/curl/big.jpg" -w '%{time_total}' "$1")
  cmp -s "$work/curl/big.jpg" "$work/www/big.jpg" || { echo "curl file differs" >&2; exit 1; }
  rm -f "$work/curl/big.jpg"
  echo "$s"
}

# compare NAME URL [curl options...]
compare() {
  local name=$1 url=$2
  shift 2
  local times=""
  for i in $(seq 0 $((pairs - 1))); do
    local w c
    if [ $((i % 2)) -eq 0 ]; then
      w=$(run_worker "$url"); c=$(run_curl "$url" "$@")
    else
      c=$(run_curl "$url" "$@"); w=$(run_worker "$url")
    fi
    echo "$name pair $((i + 1)): worker ${w}s curl ${c}s"
    times="$times $w:$c"
  done
  /usr/bin/python3 - "$name" "$size_mb" $times <<'PY'
import statistics, sys
name, size = sys.argv[1], float(sys.argv[2])
pairs = [tuple(float(x) for x in p.split(":")) for p in sys.argv[3:]]
worker = [size / w for w, _ in pairs]
curl = [size / c for _, c in pairs]
ratios = [w / c for w, c in zip(worker, curl)]
print(f"{name}: ratio spread {min(ratios):.2f}..{max(ratios):.2f} over {len(ratios)} pairs")
print(f"bench {name}: worker_mbps={statistics.median(worker):.1f} "
      f"curl_mbps={statistics.median(curl):.1f} ratio={statistics.median(ratios):.2f}")
PY
}

# HTTP through nginx.
port=$(free_port)
cat > "$work/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $work/run;
  proxy_temp_path $work/run;
  fastcgi_temp_path $work/run;
  uwsgi_temp_path $work/run;
  scgi_temp_path $work/run;
  sendfile on;
  server { listen 127.0.0.1:$port; root $work/www; }
}
CONF
nginx -c "$work/nginx.conf" -p "$work" &
nginx_pid=$!
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break || sleep 0.1; done
compare download "http://127.0.0.1:$port/big.jpg"
kill "$nginx_pid"; nginx_pid=""

# FTP through pyftpdlib (active mode for both).
fport=$(free_port)
/usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p "$fport" -d "$work/www" >/dev/null 2>&1 &
ftp_pid=$!
for _ in $(seq 50); do curl -s -o /dev/null "ftp://127.0.0.1:$fport/" && break || sleep 0.1; done
compare ftp "ftp://127.0.0.1:$fport/big.jpg" --ftp-port -
