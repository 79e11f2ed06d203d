#!/usr/bin/env bash
# A PostgreSQL 15 server for the tests only: its files and its socket in DIR, no TCP port,
# no fsync. "start DIR" prints the connection string; "stop DIR" stops it and removes DIR.
# "restart DIR" stops it and starts it again, as an office's server restarts.
# "start DIR durable" keeps the server's default syncing, as an office's server would (benchmarks).
set -euo pipefail
bin=/usr/lib/postgresql/15/bin
action=${1:?start or stop}
dir=${2:?folder}

# initdb refuses to run as root: the server then runs as the postgres user.
as_server() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

case "$action" in
start)
  sync_opts="-c fsync=off -c synchronous_commit=off -c full_page_writes=off"
  [ "${3:-}" = durable ] && sync_opts=""
  mkdir -p "$dir"
  [ "$(id -u)" -eq 0 ] && chown postgres: "$dir"
  as_server "$bin/initdb" -D "$dir/data" -A trust -U quotedesk -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log"
  as_server "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -s \
    -o "-c listen_addresses='' -c unix_socket_directories='$dir' $sync_opts" \
    start
  echo "host=$dir user=quotedesk dbname=postgres"
  ;;
restart)
  as_server "$bin/pg_ctl" -D "$dir/data" -w -s -m fast restart
  ;;
stop)
  [ -d "$dir/data" ] && as_server "$bin/pg_ctl" -D "$dir/data" -w -s -m immediate stop || true
  rm -rf "$dir"
  ;;
*)
  echo "usage: $0 start|restart|stop DIR" >&2
  exit 2
  ;;
esac
