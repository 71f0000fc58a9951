#!/usr/bin/env bash
# A private Firebird server for the network tests, beside (never instead of) the machine's own:
#   firebird-server.sh start <dir>   copies the Firebird root into <dir>/root, makes its own
#                                    security database with the logins SYSDBA and PLANER,
#                                    starts the server on a free loopback port and writes
#                                    <dir>/env (source it) with TRAMOLIN_FB_SERVER=127.0.0.1/<port>,
#                                    TRAMOLIN_FB_PORT, TRAMOLIN_FB_DIR, TRAMOLIN_FB_USER,
#                                    TRAMOLIN_FB_PASSWORD
#   firebird-server.sh stop <dir>    stops it by its process id
#   firebird-server.sh restart <dir> stops it and starts it again on the same port
# TRAMOLIN_FB_PASSWORD sets the SYSDBA password (default sandorift).
set -euo pipefail

fb_lib=${TRAMOLIN_FB_LIB:-/usr/lib/x86_64-linux-gnu/firebird/3.0}
server_bin=${TRAMOLIN_FB_SERVER_BIN:-/usr/sbin/firebird}
security_sql=${TRAMOLIN_FB_SECURITY_SQL:-/usr/share/firebird/3.0/security.sql}
planer_password=trelid5083

usage() {
  echo "usage: $0 start|stop|restart <dir>" >&2
  exit 2
}

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

free_port() {
  local port
  for _ in $(seq 1 200); do
    port=$((20000 + RANDOM % 20000))
    if ! port_in_use "$port"; then
      echo "$port"
      return 0
    fi
  done
  echo "no free port found" >&2
  return 1
}

stop_server() {
  local dir=$1 pid
  [ -f "$dir/firebird.pid" ] || return 0
  pid=$(cat "$dir/firebird.pid")
  if kill -0 "$pid" 2>/dev/null; then
    kill "$pid"
    for _ in $(seq 1 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && kill -9 "$pid"
  fi
  rm -f "$dir/firebird.pid"
}

# Starts the server of <dir>'s root and waits until it listens on the port.
run_server() {
  local dir=$1 port=$2
  FIREBIRD="$dir/root" nohup "$server_bin" >"$dir/firebird.out" 2>&1 </dev/null &
  echo $! >"$dir/firebird.pid"
  for _ in $(seq 1 100); do
    port_in_use "$port" && break
    sleep 0.1
  done
  if ! port_in_use "$port"; then
    cat "$dir/firebird.out" >&2
    stop_server "$dir"
    echo "the Firebird server did not start" >&2
    return 1
  fi
}

# The same server again on the same port, as after an outage.
restart_server() {
  local dir=$1 port
  port=$(sed -n 's/^export TRAMOLIN_FB_PORT=//p' "$dir/env")
  stop_server "$dir"
  for _ in $(seq 1 50); do
    port_in_use "$port" || break
    sleep 0.1
  done
  run_server "$dir" "$port"
}

start_server() {
  local dir=$1 password=${TRAMOLIN_FB_PASSWORD:-sandorift} port root
  stop_server "$dir"
  root="$dir/root"
  rm -rf "$root" "$dir/security3.fdb" "$dir/env"
  mkdir -p "$dir"
  TRAMOLIN_FB_LIB="$fb_lib" "$(dirname "$0")/firebird-root.sh" "$root"
  port=$(free_port)
  cat >"$root/firebird.conf" <<CONF
RemoteServicePort = $port
RemoteBindAddress = 127.0.0.1
SecurityDatabase = $dir/security3.fdb
ServerMode = Super
AuthServer = Srp
UserManager = Srp
WireCrypt = Enabled
UdfAccess = None
CONF
  echo "security.db = $dir/security3.fdb" >"$root/databases.conf"

  # The security database and the logins, made with the embedded engine under this root.
  {
    echo "CREATE DATABASE '$dir/security3.fdb' USER 'SYSDBA';"
    cat "$security_sql"
  } | FIREBIRD="$root" isql-fb -q -b >"$dir/setup.log" 2>&1
  local sysdba_sql=${password//\'/\'\'}
  printf "CREATE USER SYSDBA PASSWORD '%s' USING PLUGIN Srp;\nCREATE USER PLANER PASSWORD '%s' USING PLUGIN Srp;\nCOMMIT;\n" \
    "$sysdba_sql" "$planer_password" |
    FIREBIRD="$root" isql-fb -q -b -user SYSDBA "$dir/security3.fdb" >>"$dir/setup.log" 2>&1

  run_server "$dir" "$port" || return 1
  cat >"$dir/env" <<ENV
export TRAMOLIN_FB_SERVER=127.0.0.1/$port
export TRAMOLIN_FB_PORT=$port
export TRAMOLIN_FB_DIR=$dir
export TRAMOLIN_FB_USER=SYSDBA
export TRAMOLIN_FB_PASSWORD='$sysdba_sql'
ENV
  echo "Firebird server on 127.0.0.1/$port ($dir)"
}

[ $# -eq 2 ] || usage
mkdir -p "$2"
dir=$(cd "$2" && pwd)
case $1 in
  start) start_server "$dir" ;;
  stop) stop_server "$dir" ;;
  restart) restart_server "$dir" ;;
  *) usage ;;
esac
