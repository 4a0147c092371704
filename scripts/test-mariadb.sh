#!/usr/bin/env bash
# Starts or stops a private MariaDB server for the tests: its own data directory,
# a free port on 127.0.0.1, a socket inside the data directory, and a user
# "tharvel" with password "secret" that may do anything.
#   test-mariadb.sh start DIR     prints nothing; writes DIR/port when ready
#   test-mariadb.sh stop DIR
# TZ in the environment becomes the server's system time zone.
# The server loads the ed25519 authentication plugin when it is installed.
set -euo pipefail
cmd=${1:?start or stop}
dir=${2:?directory}

server=$(command -v mariadbd || command -v mysqld || ls /usr/sbin/mariadbd 2>/dev/null || true)
[ -n "$server" ] || { echo "mariadbd not found: install mariadb-server" >&2; exit 1; }
user_args=()
[ "$(id -u)" = 0 ] && user_args=(--user=root)

# The ed25519 method ships with the server package as a plugin.
plugin_args=()
plugin_dir=$("$server" --no-defaults --verbose --help 2>/dev/null | awk '$1 == "plugin-dir" {print $2}')
[ -f "$plugin_dir/auth_ed25519.so" ] && plugin_args=(--plugin-load-add=auth_ed25519)
# THARVEL_MARIADB_ARGS: further server options (e.g. certificates), split at spaces.
read -r -a extra_args <<<"${THARVEL_MARIADB_ARGS:-}"

case "$cmd" in
start)
  rm -rf "$dir"
  mkdir -p "$dir/data" "$dir/tmp"
  dir=$(cd "$dir" && pwd)
  # A temporary folder of its own: servers of other runs may share /tmp and pid numbers.
  mariadb-install-db --no-defaults --datadir="$dir/data" --tmpdir="$dir/tmp" "${user_args[@]}" \
    --auth-root-authentication-method=normal --skip-test-db >"$dir/install.log" 2>&1 \
    || { cat "$dir/install.log" >&2; exit 1; }
  # The free port is picked before the server binds it, so another process may take
  # it in between; a server that dies before it is ready is retried on a new port.
  for attempt in 1 2 3; do
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
    "$server" --no-defaults --datadir="$dir/data" --tmpdir="$dir/tmp" "${user_args[@]}" \
      --port="$port" --bind-address=127.0.0.1 --socket="$dir/sock" --pid-file="$dir/pid" \
      --log-error="$dir/error.log" --skip-log-bin --innodb-buffer-pool-size=128M \
      --max-allowed-packet=1G --max-connections=200 --skip-name-resolve \
      --character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci \
      "${plugin_args[@]}" "${extra_args[@]}" >/dev/null 2>&1 &
    echo $! >"$dir/server.pid"
    for _ in $(seq 1 300); do
      if mariadb --no-defaults -uroot -S "$dir/sock" -e 'SELECT 1' >/dev/null 2>&1; then
        mariadb --no-defaults -uroot -S "$dir/sock" <<'SQL'
CREATE USER 'tharvel'@'%' IDENTIFIED BY 'secret';
GRANT ALL PRIVILEGES ON *.* TO 'tharvel'@'%' WITH GRANT OPTION;
CREATE USER IF NOT EXISTS 'root'@'127.0.0.1';
GRANT ALL PRIVILEGES ON *.* TO 'root'@'127.0.0.1' WITH GRANT OPTION;
FLUSH PRIVILEGES;
SQL
        echo "$port" >"$dir/port"
        exit 0
      fi
      kill -0 "$(cat "$dir/server.pid")" 2>/dev/null || break
      sleep 0.2
    done
    kill -9 "$(cat "$dir/server.pid")" 2>/dev/null || true
    echo "MariaDB test server attempt $attempt on port $port failed" >&2
  done
  echo "MariaDB test server did not start:" >&2
  cat "$dir/error.log" >&2 || true
  exit 1
  ;;
stop)
  [ -f "$dir/server.pid" ] || exit 0
  pid=$(cat "$dir/server.pid")
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 1 150); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
  kill -9 "$pid" 2>/dev/null || true
  rm -rf "$dir"
  ;;
*) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
