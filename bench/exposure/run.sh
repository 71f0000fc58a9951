#!/usr/bin/env bash
# What a stranger can do to a replication server before logging in: a real `tramolin2 -s -d` on
# main.fdb, in a folder of its own, sharing its database through a private Classic-mode embedded
# root (as bench/e2e/run.sh does), attacked by exposure_attack from 127.0.0.2 onward while a good
# client from 127.0.0.1 times its wait for the greeting (pkPolaczenie "0") from its TCP connect,
# through the TLS handshake when the server speaks TLS.
#
# Each attack has a server of its own, started for it, and lasts EXPOSURE_SECONDS (5), or until
# the last of 10 probes of the good client (one every 0.4 s from its second on, each given 3 s)
# is done; attackers the server cuts connect again after 100 ms:
#   held          300 connections over 40 addresses, each sending a frame that declares 65,536
#                 encoded characters (the limit before login) but leaving its last one out
#   flood         300 connections, each declaring 268,435,456 characters and sending without end
#   bomb          4 connections sending again and again a frame whose payload declares 0 bytes
#                 and whose zlib stream (level 9) inflates to 8 GiB of zeros, about 11 MB of
#                 base64 (built once, about 20 s, kept in $BUILD_DIR/inflation-bomb-8GiB.frame)
#   small-bomb    the same with 48 MiB of zeros: about 65,000 characters, within the limit
#   log-flood     300 connections sending again and again an error report (pkBlad "5;") of
#                 82,000 characters in CR LF lines, one of them stamped like a line of the log:
#                 above the 64 KiB a payload may hold before login
#   small-log-flood  the same with 60,000 characters, within the limit
#   no-handshake  TLS only: 1,000 TCP connections at once that never start a handshake, closed
#                 after 40 % of the time, then 1,000 one after another that stay
# Every attack runs against a plain server, then against a TLS server (self-signed certificate
# from scripts/make-certificate.sh), whose attackers shake hands before they send.
#
# Printed per attack: its seconds; connections the attackers opened, and those the server cut;
# megabytes their sockets took (over TLS, before encryption); processor time of the server and of
# the attacking program (which shares the machine's cores); the server's resident memory at the
# start and its peak during the attack (VmHWM reset at the start, and VmRSS sampled every 20 ms);
# the good client's longest wait for its TCP connection, and its median and longest wait for the
# greeting (and probes that got none within 3 s); what the error log, the debug log and the Log/
# folder grew by; SYNs the kernel dropped because the listening socket's queue was full
# (ListenDrops of /proc/net/netstat, counted for the whole machine); and the lines of the logs
# that start with the forged stamp.
#
#   bench/exposure/run.sh
#
# Environment: BUILD_DIR (build-bench-exposure; EXPOSURE_BUILD=0 takes what is built there),
# EXPOSURE_DIR (work folder, $BUILD_DIR/exposure, emptied first), EXPOSURE_SECONDS (5),
# EXPOSURE_ATTACKS ("held flood bomb small-bomb log-flood small-log-flood no-handshake"),
# EXPOSURE_LINKS ("plain tls"), EXPOSURE_BOMB_GIB (8).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=${BUILD_DIR:-$root/build-bench-exposure}
work=${EXPOSURE_DIR:-$build_dir/exposure}
seconds=${EXPOSURE_SECONDS:-5}
attacks=${EXPOSURE_ATTACKS:-held flood bomb small-bomb log-flood small-log-flood no-handshake}
links=${EXPOSURE_LINKS:-plain tls}
bomb_gib=${EXPOSURE_BOMB_GIB:-8}
readonly forged_stamp="1999.12.31 23:59:59.999"
readonly forged_line="$forged_stamp Klient 1 zalogowany jako serwisant"
# shellcheck source-path=SCRIPTDIR source=../../scripts/lib/site.sh
. "$root/scripts/lib/site.sh"
hide_program_output=1

mkdir -p "$build_dir"
if [ "${EXPOSURE_BUILD:-1}" != 0 ]; then
  echo "== Building tramolin2 and exposure_attack in $build_dir"
  build_log="$build_dir/exposure-build.log"
  { cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRAMOLIN_BENCH=ON \
    -DTRAMOLIN_TESTS=OFF && cmake --build "$build_dir" --target tramolin2 exposure_attack; } \
    >"$build_log" 2>&1 ||
    { tail -40 "$build_log" >&2; echo "the build failed (log: $build_log)" >&2; exit 1; }
fi
program="$build_dir/src/app/tramolin2"
attacker="$build_dir/bench/exposure/exposure_attack"

rm -rf "$work"
mkdir -p "$work"
export FIREBIRD="$work/firebird"
"$root/scripts/firebird-root.sh" "$FIREBIRD"
echo "ServerMode = Classic" >"$FIREBIRD/firebird.conf"
echo "== Databases in $work/db"
"$root/scripts/make-databases.sh" "$work/db" 1 >/dev/null
tls_dir="$work/tls"
"$root/scripts/make-certificate.sh" "$tls_dir" 127.0.0.1 >/dev/null
trap stop_all EXIT

# A free port below the ephemeral range, which the attackers' thousands of connections churn
# through: a port taken from there may be held by one of them by the time the server binds it.
free_port() {
  python3 -c 'import random, socket
while True:
    port = random.randrange(20000, 32000)
    try:
        socket.socket().bind(("0.0.0.0", port))
        print(port)
        break
    except OSError:
        pass'
}
start_server() {  # folder, port, link
  local certificates=""
  if [ "$3" = tls ]; then certificates=$tls_dir; fi
  start_program "$1" "$(server_ini "$work/db" "$2" "$certificates")"
  # "Nasłuchiwanie na porcie", or "Nie można nasłuchiwać na porcie"
  if ! wait_until_logged "$1" "na porcie" 0 60 ||
    [ "$(count_in_log "$1" "uchiwanie na porcie")" = 0 ]; then
    echo "the server in $1 does not listen on port $2" >&2
    exit 1
  fi
}

# ---- What the logs hold -----------------------------------------------------------------------

bytes_of() {  # files or folders: their bytes in all
  find "$@" -type f -printf '%s\n' 2>/dev/null | awk '{ n += $1 } END { print n + 0 }'
}
forged_lines() {  # folder: lines of its logs that start with the forged stamp
  cat "$1"/Tramolin2_*.log "$1"/Log/*.log 2>/dev/null | grep -ac "^$forged_stamp" || true
}
listen_drops() {
  awk '/^TcpExt:/ && !names { for (i = 1; i <= NF; i++) name[i] = $i; names = 1; next }
    /^TcpExt:/ { for (i = 1; i <= NF; i++) if (name[i] == "ListenDrops") print $i }' \
    /proc/net/netstat
}
# Sizes of the error log, the debug log and the Log/ folder, the forged lines and the SYNs
# dropped so far.
log_state() {  # folder
  echo "$(bytes_of "$1/Tramolin2_error.log") $(bytes_of "$1/Tramolin2_debug.log")" \
    "$(bytes_of "$1/Log") $(forged_lines "$1") $(listen_drops)"
}
growth_kb() {  # bytes before, bytes after
  awk -v a="$1" -v b="$2" 'BEGIN { printf "%.0f", (b - a) / 1024 }'
}

# ---- Attacks ----------------------------------------------------------------------------------

declare -A result=()
backlog=""  # the length of the servers' queue of connections not yet accepted
# Runs one attack on a server of its own, started for it, and keeps its figures as
# result[link.attack.name].
attack() {  # link, attack
  local key="$1.$2" folder="$work/$1-$2" port before after pair tls_option=()
  if [ "$1" = tls ]; then tls_option=(--tls); fi
  port=$(free_port)
  start_server "$folder" "$port" "$1"
  sleep 1  # the server settles after its start
  backlog=$(ss -Hltn "sport = :$port" | awk '{ print $3; exit }')
  read -r -a before <<<"$(log_state "$folder")"
  for pair in $("$attacker" --port "$port" --pid "${pid_of[$folder]}" --attack "$2" \
    "${tls_option[@]}" --seconds "$seconds" --bomb-gib "$bomb_gib" \
    --bomb-file "$build_dir/inflation-bomb-${bomb_gib}GiB.frame" --forged-line "$forged_line"); do
    result[$key.${pair%%=*}]=${pair#*=}
  done
  sleep 1  # the server lets go of the attackers' connections
  read -r -a after <<<"$(log_state "$folder")"
  result[$key.error_kb]=$(growth_kb "${before[0]}" "${after[0]}")
  result[$key.debug_kb]=$(growth_kb "${before[1]}" "${after[1]}")
  result[$key.saved_kb]=$(growth_kb "${before[2]}" "${after[2]}")
  result[$key.forged]=$((after[3] - before[3]))
  result[$key.drops]=$((after[4] - before[4]))
  if ! kill -0 "${pid_of[$folder]}" 2>/dev/null; then echo "   the server has ended" >&2; fi
  stop_program "$folder"
  echo "   $2: ${result[$key.seconds]} s, greeting ${result[$key.greeting_median_ms]} /" \
    "${result[$key.greeting_max_ms]} ms (${result[$key.failed_probes]} without)," \
    "peak RSS ${result[$key.rss_peak_mb]} MB"
}

attacks_of() {  # link
  local name
  for name in rest $attacks; do
    if [ "$name" != no-handshake ] || [ "$1" = tls ]; then echo "$name"; fi
  done
}

for link in $links; do
  echo "== Attacks on a server over $link TCP" | sed 's/tls TCP/TLS/'
  for name in $(attacks_of "$link"); do attack "$link" "$name"; done
done

# ---- Summary ----------------------------------------------------------------------------------

verdict() {  # value, limit: "met" below it
  awk -v v="$1" -v t="$2" 'BEGIN { print (v < t) ? "met" : "MISSED" }'
}
row() { printf '%-5s %-15s %4s %10s %6s %11s %11s %7s %11s %14s %6s %3s  %s\n' "$@"; }
# The targets of an attack: the good client greeted within 1 s, every time; under the held frames
# the server below 100 MB.
targets() {  # key, attack
  local late=${result[$1.greeting_max_ms]} text
  if [ "$2" = rest ]; then echo "at rest"; return; fi
  if [ "${result[$1.failed_probes]}" != 0 ]; then late=1000000; fi
  text="greeting<1s $(verdict "$late" 1000)"
  if [ "$2" = held ]; then text="$text, RSS<100MB $(verdict "${result[$1.rss_peak_mb]}" 100)"; fi
  echo "$text"
}
figures_row() {  # link, attack
  local key="$1.$2" greeting
  greeting="${result[$key.greeting_median_ms]}/${result[$key.greeting_max_ms]}"
  if [ "${result[$key.failed_probes]}" != 0 ]; then
    greeting="$greeting ${result[$key.failed_probes]}x"
  fi
  row "$1" "$2" "${result[$key.seconds]}" "${result[$key.opened]}/${result[$key.cut]}" \
    "${result[$key.sent_mb]}" \
    "${result[$key.cpu_s]}/${result[$key.attacker_cpu_s]}" \
    "${result[$key.rss_start_mb]}/${result[$key.rss_peak_mb]}" "${result[$key.connect_max_ms]}" \
    "$greeting" "${result[$key.error_kb]}/${result[$key.debug_kb]}/${result[$key.saved_kb]}" \
    "${result[$key.drops]}" "${result[$key.forged]}" "$(targets "$key" "$2")"
}

echo
echo "== Exposure summary (tramolin2 -s -d, $(nproc) cores; attacks of $seconds s or until the" \
  "last probe)"
row "link" "attack" "s" "opened/cut" "MB" "CPU s" "RSS MB" "connect" "greeting" "log growth KB" \
  "SYN" "" ""
row "" "" "" "" "sent" "srv/att" "start/peak" "max ms" "med/max ms" "err/dbg/Log" "drops" "fgd" \
  "targets"
for link in $links; do
  for name in $(attacks_of "$link"); do figures_row "$link" "$name"; done
done
echo "greeting: median/longest of 10 probes from 127.0.0.1 from TCP connect to pkPolaczenie" \
  "(Nx: N probes got none within 3 s); fgd: log lines starting with the forged stamp"
echo "The server's listening socket queues $backlog connections not yet accepted; the kernel" \
  "drops a SYN beyond them, which its client sends again after 1 s."
