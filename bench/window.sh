#!/usr/bin/env bash
# bench window: the longest the window goes unanswered while 50 workers (40
# files, 10 crawls) fetch from a private nginx on loopback at full speed and
# the user keeps switching lists and clicking rows; beside the same user with
# no workers, over interleaved pairs of rounds.
# Sizes can be changed: WINDOW_FILES, WINDOW_CRAWLS, WINDOW_FILE_MB,
# WINDOW_SECONDS (per round), WINDOW_PAIRS; WINDOW_SERVER_NICE (19) is the
# server's nice value.
set -euo pipefail
build=$(cd "${BUILD_DIR:-build-bench}" && pwd)
files=${WINDOW_FILES:-40}
crawls=${WINDOW_CRAWLS:-10}
file_mb=${WINDOW_FILE_MB:-32}
seconds=${WINDOW_SECONDS:-4}
pairs=${WINDOW_PAIRS:-5}
server_nice=${WINDOW_SERVER_NICE:-19}
[ -x "$build/bench/bench_window" ] || { echo "bench window: not built (needs the windows)"; exit 0; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tvx-bench-window.XXXXXX")
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

www="$work/www"
mkdir -p "$www/site" "$work/run" "$work/nginx"
head -c $((file_mb * 1024 * 1024)) /dev/urandom > "$www/big.jpg"
for i in $(seq 0 $((files - 1))); do ln -s big.jpg "$www/big$i.jpg"; done
# A site of 100 pages with five pictures each.
python3 - "$www/site" <<'PY'
import os, sys
out = sys.argv[1]
gif = b"GIF89a" + os.urandom(20000)
with open(os.path.join(out, "index.html"), "w") as index:
    index.write("<html>\n")
    for p in range(100):
        index.write(f'<a href="p{p}.html">page {p}</a>\n')
        with open(os.path.join(out, f"p{p}.html"), "w") as page:
            for i in range(5):
                page.write(f'<img src="i{p}_{i}.gif" >\n')
                with open(os.path.join(out, f"i{p}_{i}.gif"), "wb") as picture:
                    picture.write(gif)
PY
chmod -R a+rX "$www"

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat > "$work/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 256; }
http {
  access_log off;
  client_body_temp_path $work/nginx;
  proxy_temp_path $work/nginx;
  fastcgi_temp_path $work/nginx;
  uwsgi_temp_path $work/nginx;
  scgi_temp_path $work/nginx;
  sendfile on;
  server { listen 127.0.0.1:$port; root $www; }
}
CONF
# The server stands for a machine elsewhere on the network: it must not take
# the window's turns on this machine's processors.
nice -n "$server_nice" nginx -c "$work/nginx.conf" -p "$work" &
nginx_pid=$!
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/site/index.html" && break || sleep 0.1; done

cd "$work/run"
"$build/bench/bench_window" "http://127.0.0.1:$port" "$files" "$crawls" "$seconds" "$pairs"
