# Sourced by scripts/demo and bench/patrol: serves a folder with nginx on a free loopback port.
#   nginx_serve ROOT WORKDIR [EXTRA_SERVER_CONF]   sets NGINX_PORT and NGINX_PID; false on failure
#   nginx_stop                                     stops it (safe to call twice)
# NGINX_LISTEN_OPTIONS, when set, is added to the listen directive ("ssl" for a TLS server, whose
# certificate directives then come with EXTRA_SERVER_CONF).
# nginx runs in the foreground as one process (no master, no daemon), with its configuration,
# logs and temporary folders in WORKDIR, so it needs no system folder and no user switch.

NGINX_PORT=
NGINX_PID=

nginx_stop() {
  if [ -n "$NGINX_PID" ]; then
    kill "$NGINX_PID" 2>/dev/null || true
    wait "$NGINX_PID" 2>/dev/null || true
    NGINX_PID=
  fi
}

# True when nothing accepts connections on the loopback port.
nginx_port_free() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

nginx_serve_once() {
  local root=$1 work=$2 extra=$3 port=$4
  mkdir -p "$work/logs" "$work/tmp"
  local include=
  if [ -n "$extra" ]; then include="include $extra;"; fi
  cat >"$work/nginx.conf" <<EOF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/logs/error.log warn;
events { worker_connections 1024; }
http {
  access_log $work/logs/access.log;
  client_body_temp_path $work/tmp/body;
  proxy_temp_path $work/tmp/proxy;
  fastcgi_temp_path $work/tmp/fastcgi;
  uwsgi_temp_path $work/tmp/uwsgi;
  scgi_temp_path $work/tmp/scgi;
  types { text/html html htm; text/plain txt; image/jpeg jpg jpeg; image/gif gif; }
  default_type application/octet-stream;
  sendfile on;
  server {
    listen 127.0.0.1:$port ${NGINX_LISTEN_OPTIONS:-};
    server_name localhost;
    root $root;
    $include
  }
}
EOF
  local nginx
  nginx=$(command -v nginx || echo /usr/sbin/nginx)
  "$nginx" -p "$work" -c "$work/nginx.conf" 2>>"$work/logs/start.log" &
  NGINX_PID=$!
  for _ in $(seq 100); do
    if ! kill -0 "$NGINX_PID" 2>/dev/null; then
      wait "$NGINX_PID" 2>/dev/null || true
      NGINX_PID=
      return 1
    fi
    if ! nginx_port_free "$port"; then NGINX_PORT=$port; return 0; fi
    sleep 0.1
  done
  nginx_stop
  return 1
}

nginx_serve() {
  local root=$1 work=$2 extra=${3:-}
  for _ in $(seq 20); do
    local port=$((20000 + RANDOM % 40000))
    # Another program may take the port between the test and nginx's bind: try another one.
    if nginx_port_free "$port" && nginx_serve_once "$root" "$work" "$extra" "$port"; then
      return 0
    fi
  done
  echo "nginx could not be started:" >&2
  cat "$work/logs/start.log" "$work/logs/error.log" >&2 2>/dev/null || true
  return 1
}
