# shellcheck shell=bash
# A site of tramolin2 service processes, each in a folder of its own: configurations, starting,
# waiting for what their debug logs say, stopping. Sourced (at the top level) by scripts/demo.sh
# and bench/e2e/run.sh, which set before starting anything:
#   program              the tramolin2 copied into each folder
#   hide_program_output  1: a started process writes its stdout and stderr to /dev/null

declare -A pid_of=()       # folder -> its running tramolin2
declare -a start_order=()  # folders in the order they were started, the order stop_all keeps

# Configurations are written with "\r\n" line ends as printf %b reads them (start_program).
# A replication server on main.fdb in the database folder; with a certificate folder (server.pem,
# server.key) it listens with TLS.
server_ini() {  # database folder, port[, certificate folder]
  printf '%s' "[DB]\r\nDBHOST=\r\nDBPATH=$1\r\nDBFILE=main.fdb\r\n" \
    "[Tramolin]\r\nMode=1\r\n[Server]\r\nPort=$2\r\n"
  if [ -n "${3:-}" ]; then
    printf '%s' "TlsCertificate=$3/server.pem\r\nTlsKey=$3/server.key\r\n"
  fi
}
# A client on copy<n>.fdb in the database folder, of the server on the port, with more [Tramolin]
# lines (interval, events); with a fingerprint it connects with TLS and pins that certificate.
client_ini() {  # database folder, copy number, port, [Tramolin] lines[, fingerprint]
  printf '%s' "[DB]\r\nDBHOST=\r\nDBPATH=$1\r\nDBFILE=copy$2.fdb\r\n" \
    "[Tramolin]\r\nMode=0\r\n$4[Klient]\r\nHost=127.0.0.1\r\nPort=$3\r\n"
  if [ -n "${5:-}" ]; then printf '%s' "Tls=1\r\nTlsFingerprint=$5\r\n"; fi
}

prepare_folder() {  # folder, configuration
  mkdir -p "$1"
  # shellcheck disable=SC2154  # set by the sourcing script
  cp "$program" "$1/"
  rm -f "$1"/Tramolin2_*.log "$1/pid"
  printf '%b' "$2" >"$1/Tramolin2.ini"
}
launch() {  # folder
  if [ "${hide_program_output:-0}" = 1 ]; then
    (cd "$1" && exec ./tramolin2 -s -d) >/dev/null 2>&1 &
  else
    (cd "$1" && exec ./tramolin2 -s -d) &
  fi
  pid_of[$1]=$!
  start_order+=("$1")
}
start_program() {  # folder, configuration
  prepare_folder "$1" "$2"
  launch "$1"
}
stop_program() {  # folder
  kill -TERM "${pid_of[$1]}" 2>/dev/null || true
  wait "${pid_of[$1]}" 2>/dev/null || true
  unset "pid_of[$1]"
}
# Every process still running: all are asked to stop first, then each is waited for.
stop_all() {
  local folder
  for folder in "${start_order[@]}"; do
    if [ -n "${pid_of[$folder]:-}" ]; then kill -TERM "${pid_of[$folder]}" 2>/dev/null || true; fi
  done
  for folder in "${start_order[@]}"; do
    if [ -n "${pid_of[$folder]:-}" ]; then wait "${pid_of[$folder]}" 2>/dev/null || true; fi
  done
  pid_of=()
  start_order=()
}

debug_log() { echo "$1/Tramolin2_debug.log"; }
# Lines of the folder's debug log holding the text (a pattern of grep, matched against the log's
# code page 1250 bytes, so best plain ASCII); 0 while there is no log.
count_in_log() {  # folder, text
  local n
  n=$(grep -ac -- "$2" "$(debug_log "$1")" 2>/dev/null) || true
  echo "${n:-0}"
}
# Waits until more than `count` lines of the folder's debug log hold the text, looking every
# 50 ms unless told otherwise. Fails, saying nothing, once the folder's process has ended or the
# seconds have passed.
wait_until_logged() {  # folder, text, count to exceed, seconds[, seconds between looks]
  local deadline=$(($(date +%s) + $4)) pause=${5:-0.05}
  while [ "$(count_in_log "$1" "$2")" -le "$3" ]; do
    if ! kill -0 "${pid_of[$1]}" 2>/dev/null || [ "$(date +%s)" -gt "$deadline" ]; then
      return 1
    fi
    sleep "$pause"
  done
}
