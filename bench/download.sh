#!/usr/bin/env bash
# bench download / bench ftp: one 256 MiB file over loopback, fetched by the
# file worker and by curl in the same run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/${BUILD_DIR:-build-bench}"
size_mb=${DOWNLOAD_MB:-256}
work=$(mktemp -d /tmp/tvx-bench-dl-XXXXXX)
nginx_pid=""; ftp_pid=""
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true
  [ -n "$ftp_pid" ] && kill "$ftp_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/www" "$work/run"
chmod 755 "$work" "$work/www"
head -c $((size_mb * 1024 * 1024)) /dev/urandom > "$work/www/big.jpg"
chmod 644 "$work/www/big.jpg"

free_port() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

mbps() { /usr/bin/python3 -c "print(f'{$size_mb / $1:.1f}')"; }

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

url="http://127.0.0.1:$port/big.jpg"
mkdir -p "$work/worker" "$work/curl"
worker_s=$(cd "$work/worker" && "$build/bench/bench_download" "$url")
curl_s=$( { /usr/bin/time -f %e curl -s -o "$work/curl/big.jpg" "$url"; } 2>&1 )
cmp -s "$work/worker/Pictures/big.jpg" "$work/www/big.jpg" || { echo "worker file differs"; exit 1; }
rm -rf "$work/worker/Pictures" "$work/curl/big.jpg"
w=$(mbps "$worker_s"); c=$(mbps "$curl_s")
echo "HTTP ${size_mb} MiB: worker ${worker_s}s, curl ${curl_s}s"
echo "bench download: worker_mbps=$w curl_mbps=$c ratio=$(/usr/bin/python3 -c "print(f'{$w / $c:.2f}')")"
kill "$nginx_pid"; nginx_pid=""

# FTP through pyftpdlib (active mode).
fport=$(free_port)
/usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p "$fport" -d "$work/www" >/dev/null 2>&1 &
ftp_pid=$!
for _ in $(seq 50); do curl -s -o /dev/null "ftp://127.0.0.1:$fport/" && break || sleep 0.1; done
furl="ftp://127.0.0.1:$fport/big.jpg"
worker_s=$(cd "$work/worker" && "$build/bench/bench_download" "$furl")
curl_s=$( { /usr/bin/time -f %e curl -s --ftp-port - -o "$work/curl/big.jpg" "$furl"; } 2>&1 )
cmp -s "$work/worker/Pictures/big.jpg" "$work/www/big.jpg" || { echo "worker FTP file differs"; exit 1; }
w=$(mbps "$worker_s"); c=$(mbps "$curl_s")
echo "FTP ${size_mb} MiB: worker ${worker_s}s, curl ${curl_s}s"
echo "bench ftp: worker_mbps=$w curl_mbps=$c ratio=$(/usr/bin/python3 -c "print(f'{$w / $c:.2f}')")"
