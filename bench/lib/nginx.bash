# A private nginx for a benchmark (sourced, not run): its files below
# $work/nginx, the lines of its http block given (the server blocks), started
# in the background; nginx_pid is set for the caller's cleanup.
free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
start_nginx() {
  mkdir -p "$work/nginx"
  chmod 755 "$work"  # nginx's worker runs as another user when started by root
  cat >"$work/nginx/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 1024; }
http {
  include /etc/nginx/mime.types;
  access_log off;
  client_body_temp_path $work/nginx;
  proxy_temp_path $work/nginx;
  fastcgi_temp_path $work/nginx;
  uwsgi_temp_path $work/nginx;
  scgi_temp_path $work/nginx;
$1
}
CONF
  nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" &
  nginx_pid=$!
}
