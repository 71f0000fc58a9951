#!/usr/bin/env bash
# End-to-end benchmark of real processes: a replication server on main.fdb and clients on copies,
# each tramolin2 in a folder of its own, over loopback, all sharing the database files through a
# private Classic-mode embedded root (as scripts/demo.sh does).
#
#  1. 100,000 journalled inserts over six tables of every column type, main -> copy 1 and, on
#     fresh databases, copy 1 -> main: records per second from the client's start until its
#     debug log shows the cycle that found nothing left on either side ("Następna synchronizacja
#     za:"), against the EXECUTE BLOCK insert of the same rows with their journal triggers on the
#     fresh source database (timed in the same run).
#  1t. Part 1 again over TLS (a self-signed certificate from scripts/make-certificate.sh, pinned
#     by its fingerprint), each direction right after its plain run on fresh databases: records
#     per second over TLS against the plain link of the same run.
#     The processor time of the server and the client of each direction per 1,000 records is
#     the steadiest figure of the work done: the rates swing with what else the machine runs.
#  2. Peak resident memory (VmHWM) of the server and the client of each of those runs, read just
#     before each process is stopped.
#  3. 20 copies, each with its own changes and with changes for it on the main database: every
#     client alone, one after the other against one server, then all at once from the same start;
#     the wall time of the concurrent run against the sum of the single runs. During the concurrent
#     run a probe (activity_probe, logged in as a technician, which touches no copy's slot) sends
#     the server an activity request every 100 ms and times each answer: the count of requests,
#     the median, 99th percentile and largest round trip; and the server's peak resident memory
#     (VmHWM) over that run, the server having started just before it; and how many clients lost
#     their connection before their cycle ended (each comes back a minute later). The server's
#     processor time per 1,000 records moved, alone and at once, is the steadiest figure of the
#     work done for each record: the wall times swing with how many records move meanwhile.
#
#   bench/e2e/run.sh
#
# Environment: BUILD_DIR (build-bench-e2e; E2E_BUILD=0 takes the tramolin2 built there as it
# is), E2E_DIR (work folder, $BUILD_DIR/e2e, emptied first),
# E2E_RECORDS (100000), E2E_COPIES (20), E2E_MAIN_ROWS (rows inserted on the main database for
# every copy in part 3, 2000), E2E_COPY_ROWS (rows inserted on each copy in part 3, 2000),
# E2E_TIMEOUT (seconds a client may take for one cycle, 900), E2E_SERVER_MODE (Classic),
# E2E_PARTS ("1 tls 3": 1 runs parts 1 and 2, tls runs part 1t and with it part 1, its
# reference, 3 runs part 3), E2E_PERF (1: perf record of the server
# and the client during part 1, into $E2E_DIR/<direction>-<side>.perf.data, with the options in
# E2E_PERF_ARGS, "-g"; "--call-graph dwarf -F 250" names our callers of the database engine).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=${BUILD_DIR:-$root/build-bench-e2e}
work=${E2E_DIR:-$build_dir/e2e}
records=${E2E_RECORDS:-100000}
copies=${E2E_COPIES:-20}
main_rows=${E2E_MAIN_ROWS:-2000}
copy_rows=${E2E_COPY_ROWS:-2000}
timeout_s=${E2E_TIMEOUT:-900}
server_mode=${E2E_SERVER_MODE:-Classic}
parts=${E2E_PARTS:-1 tls 3}
perf=${E2E_PERF:-0}
read -r -a perf_args <<<"${E2E_PERF_ARGS:--g}"
# shellcheck source-path=SCRIPTDIR source=../../scripts/lib/site.sh
. "$root/scripts/lib/site.sh"
hide_program_output=1

mkdir -p "$build_dir"
if [ "${E2E_BUILD:-1}" != 0 ]; then
  echo "== Building tramolin2 in $build_dir"
  build_log="$build_dir/e2e-build.log"
  { cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRAMOLIN_BENCH=ON \
    -DTRAMOLIN_TESTS=OFF && cmake --build "$build_dir" --target tramolin2 activity_probe; } \
    >"$build_log" 2>&1 ||
    { tail -40 "$build_log" >&2; echo "the build failed (log: $build_log)" >&2; exit 1; }
fi
program="$build_dir/src/app/tramolin2"
probe="$build_dir/bench/e2e/activity_probe"

rm -rf "$work"
mkdir -p "$work"
export FIREBIRD="$work/firebird"
"$root/scripts/firebird-root.sh" "$FIREBIRD"
echo "ServerMode = $server_mode" >"$FIREBIRD/firebird.conf"

# ---- Databases --------------------------------------------------------------------------------

isql() {  # database, script file
  isql-fb -q -b -user SYSDBA -password sandorift "$1" -i "$2" >>"$work/isql.log" 2>&1 ||
    { tail -20 "$work/isql.log" >&2; echo "isql failed on $1" >&2; exit 1; }
}
query() {  # database, statement: the single value it selects
  echo "$2;" | isql-fb -q -user SYSDBA -password sandorift "$1" |
    awk 'NF == 1 && $1 ~ /^-?[0-9]+$/ { print $1 }'
}

# The six tables of every column type and their share of the rows (the mix of bench/support).
tables=(DOKUMENTY KONTRAHENT ZADANIA ZAMDETAIL TOWARY FAKHEAD)
generic_block() {  # table, rows, first row number
  cat <<SQL
EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < $2) DO BEGIN
INSERT INTO $1 (NAZWA, ILOSC, WARTOSC, IDKONTRAHENTA, DATA, DANE, OPIS, IDOPERATORA,
DATAMODYFIKACJI, DATAUTW) VALUES ('Pozycja nr ' || (:I + $3), :I * 0.25, :I * 1.1 + 0.003,
MOD(:I, 500), CAST('2024-01-01' AS DATE) + MOD(:I, 365),
CASE WHEN MOD(:I, 4) = 0 THEN RPAD('bin', 200, ASCII_CHAR(MOD(:I, 256))) END,
CASE WHEN MOD(:I, 3) > 0 THEN RPAD('Opis; linia', 60 + MOD(:I, 90), ' abc') END,
MOD(:I, 20), CURRENT_TIMESTAMP, CAST('2023-07-16 12:00' AS TIMESTAMP) + :I / 1000.0);
I = I + 1; END END^
SQL
}
fill_script() {  # file, rows: one transaction of EXECUTE BLOCKs over the six tables
  local share=$(($2 / 6)) offset=0 table
  {
    echo "SET TERM ^ ;"
    for table in DOKUMENTY KONTRAHENT ZADANIA ZAMDETAIL; do
      generic_block "$table" "$share" "$offset"
      offset=$((offset + share))
    done
    cat <<SQL
EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < $share) DO BEGIN
INSERT INTO TOWARY (NAZWA, CENA, CENAZAKUPU, KOD, JM, STAWKAVAT, IDGRUPY, DATAUTW, OPIS)
VALUES ('Towar ' || :I, 10 + :I / 7.0, 8 + :I / 9.0, 'K' || :I, 'szt', 23, MOD(:I, 40),
CURRENT_TIMESTAMP, CASE WHEN MOD(:I, 2) = 0 THEN RPAD('Opis towaru', 300, ' x') END);
I = I + 1; END END^
EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < $(($2 - 5 * share))) DO BEGIN
INSERT INTO FAKHEAD (NAZWA, SYMBOL, WARTOSC, STATUS, DATA, UWAGI, OPIS, KWOTA,
DATAMODYFIKACJI, DATAUTW) VALUES ('Faktura ' || :I, 'FV/' || :I, :I * 3.5, MOD(:I, 3),
CURRENT_TIMESTAMP, CASE WHEN MOD(:I, 5) = 0 THEN 'Uwagi' || ASCII_CHAR(13) || ASCII_CHAR(10)
|| 'druga linia' END, 'Opis', :I * 1.23, CURRENT_TIMESTAMP, CURRENT_TIMESTAMP);
I = I + 1; END END^
COMMIT^
SQL
  } >"$1"
}
rows_in_tables() {  # database
  local sum=0 table
  for table in "${tables[@]}"; do sum=$((sum + $(query "$1" "SELECT COUNT(*) FROM $table"))); done
  echo "$sum"
}
# Journal entries still waiting (the activity journal and wake-up requests may).
waiting() {  # database, destination
  query "$1" "SELECT COUNT(*) FROM REPZMIANY WHERE IDTABELI NOT IN (42, 70) AND IDREPKOPIE = $2"
}

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
fill_timed() {  # database, rows: prints the seconds the insert took
  local script="$work/fill-$2.sql" t0 t1
  fill_script "$script" "$2"
  t0=$(now)
  isql "$1" "$script"
  t1=$(now)
  elapsed "$t0" "$t1"
}

# ---- Processes --------------------------------------------------------------------------------

trap stop_all EXIT

peak_mb() {  # folder: VmHWM of its running process in MB
  awk '/^VmHWM:/ { printf "%.1f", $2 / 1024 }' "/proc/${pid_of[$1]}/status"
}
# The times come from the log's stamps, not from when the line is seen: looking twice a second
# keeps the benchmark's own processes from taking the processor the programs measured need.
cpu_seconds() {  # folder: processor time (user and system) of its running process so far
  awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f", ($14 + $15) / hz }' "/proc/${pid_of[$1]}/stat"
}
wait_for_line() {  # folder, text, count to exceed
  wait_until_logged "$1" "$2" "$3" "$timeout_s" 0.5 && return 0
  echo "no \"$2\" in $(debug_log "$1") after $timeout_s s" >&2
  iconv -f CP1250 -t UTF-8 "$(debug_log "$1")" | tail -20 >&2
  exit 1
}
# The moment (epoch seconds) of the first log line holding the text: the log stamps to the ms.
log_time() {  # folder, text
  local stamp
  stamp=$(grep -a -m1 -- "$2" "$(debug_log "$1")" | cut -c1-23)
  date -d "${stamp:0:4}-${stamp:5:2}-${stamp:8:2} ${stamp:11}" +%s.%N
}
# Records the client imported and sent, from its log.
moved() {  # folder
  iconv -f CP1250 -t UTF-8 "$(debug_log "$1")" | awk '
    /Zaimportowano [0-9]+/ { for (i = 1; i <= NF; i++) if ($i == "Zaimportowano") n += $(i + 1) }
    /Wysłano [0-9]+ z [0-9]+ zmian/ {
      for (i = 1; i <= NF; i++) if ($i == "Wysłano") n += $(i + 1)
    }
    END { print n + 0 }'
}

# Where a process spent a run: seconds in each of its states (the log's "old > new" lines), from
# the first line holding the start text up to the first holding the end text (or the log's end).
state_times() {  # folder, start text, end text
  iconv -f CP1250 -t UTF-8 "$(debug_log "$1")" | awk -v from="$2" -v to="$3" '
    function t(s, p) { split(s, p, ":"); return p[1] * 3600 + p[2] * 60 + p[3] }
    { sub(/\r$/, "") }
    !started && index($0, from) { started = 1; state = ""; since = t($2) }
    started && / > / {
      if (state != "") d[state] += t($2) - since
      state = substr($0, index($0, " > ") + 3); since = t($2)
    }
    started && to != "" && index($0, to) { if (state != "") d[state] += t($2) - since; exit }
    END { for (s in d) printf "%.2f %s\n", d[s], s }' |
    sed -e 's/ oczekiwanie na potw\.$/ awaiting the confirmation/' \
      -e 's/ oczekiwanie$/ awaiting a batch/' -e 's/ przetwarzanie$/ importing/' \
      -e 's/ przygotowywanie$/ preparing/' -e 's/ odznaczanie$/ deleting confirmed entries/' \
      -e 's/ zalogowany$/ between steps/' -e 's/ gotowość$/ waiting for the client/' |
    sort -rn | awk '{ t = $1; $1 = ""; printf "%s%s %s s", (NR > 1 ? ";" : ""), $0, t }'
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])'
}
# TLS (part 1t): the server's certificate and key and the fingerprint its clients pin.
tls_dir="$work/tls"
tls_fingerprint=""
# A client of the benchmark: a cycle a minute unless woken; over TLS when asked.
bench_client_ini() {  # database folder, copy number, port[, tls]
  local fingerprint=""
  if [ "${4:-}" = tls ]; then fingerprint=$tls_fingerprint; fi
  client_ini "$1" "$2" "$3" "Interwal=60\r\n" "$fingerprint"
}
start_server() {  # folder, database folder, port[, tls]
  local certificates=""
  if [ "${4:-}" = tls ]; then certificates=$tls_dir; fi
  start_program "$1" "$(server_ini "$2" "$3" "$certificates")"
  wait_for_line "$1" "na porcie" 0
  if [ "${4:-}" = tls ] && [ "$(count_in_log "$1" "na porcie [0-9]* (TLS)")" = 0 ]; then
    echo "the server in $1 does not listen with TLS" >&2
    exit 1
  fi
}
readonly synchronised="synchronizacja za:"

declare -A result=()
has_part() { [[ " $parts " == *" $1 "* ]]; }
if has_part tls && ! has_part 1; then parts="1 $parts"; fi  # the plain link is the reference
max_of() { awk -v a="$1" -v b="$2" 'BEGIN { print (b > a ? b : a) }'; }

# ---- 1 and 2: 100,000 records each way between two processes --------------------------------

one_way() {  # direction name, source file, destination file[, tls]
  local name=$1 link=${4:-} db="$work/$1" port seconds t0 t_end before side recorder recorders=()
  cp -r "$work/pair" "$db"
  seconds=$(fill_timed "$db/$2" "$records")
  result[$name.insert]=$(awk -v n="$records" -v s="$seconds" 'BEGIN { printf "%.0f", n / s }')
  before=$(rows_in_tables "$db/$3")
  port=$(free_port)
  start_server "$work/$name-server" "$db" "$port" "$link"
  prepare_folder "$work/$name-client" "$(bench_client_ini "$db" 1 "$port" "$link")"
  t0=$(now)
  launch "$work/$name-client"
  if [ "$perf" = 1 ]; then
    for side in server client; do
      perf record -q "${perf_args[@]}" -o "$work/$name-$side.perf.data" \
        -p "${pid_of[$work/$name-$side]}" \
        >/dev/null 2>&1 &
      recorders+=($!)
    done
  fi
  wait_for_line "$work/$name-client" "$synchronised" 0
  for recorder in "${recorders[@]}"; do kill -INT "$recorder"; wait "$recorder" || true; done
  t_end=$(log_time "$work/$name-client" "$synchronised")
  result[$name.seconds]=$(elapsed "$t0" "$t_end")
  result[$name.rate]=$(awk -v n="$records" -v s="${result[$name.seconds]}" \
    'BEGIN { printf "%.0f", n / s }')
  result[$name.server_mb]=$(peak_mb "$work/$name-server")
  result[$name.client_mb]=$(peak_mb "$work/$name-client")
  result[$name.server_cpu]=$(cpu_seconds "$work/$name-server")
  result[$name.client_cpu]=$(cpu_seconds "$work/$name-client")
  stop_program "$work/$name-client"
  stop_program "$work/$name-server"
  result[$name.arrived]=$(($(rows_in_tables "$db/$3") - before))
  result[$name.client_states]=$(state_times "$work/$name-client" "> zalogowany" "$synchronised")
  result[$name.server_states]=$(state_times "$work/$name-server" "Połączenie zaakceptowane" "")
  echo "   $records records in ${result[$name.seconds]} s (${result[$name.arrived]} arrived);" \
    "the insert with the journal took ${seconds} s"
}

# One direction of part 1 over the plain link and, with the tls part, over TLS; afterwards the
# entries the source still holds for the destination.
both_links() {  # name, source database, destination database, destination's number, caption
  echo "== 1. $5"
  one_way "$1" "$2" "$3"
  result[$1.waiting]=$(waiting "$work/$1/$2" "$4")
  has_part tls || return 0
  echo "== 1t. $5 over TLS"
  one_way "$1-tls" "$2" "$3" tls
  result[$1-tls.waiting]=$(waiting "$work/$1-tls/$2" "$4")
}

if has_part 1; then
  echo "== Databases: main and copy 1 in $work/pair"
  "$root/scripts/make-databases.sh" "$work/pair" 1 >/dev/null
  if has_part tls; then
    tls_fingerprint=$("$root/scripts/make-certificate.sh" "$tls_dir" 127.0.0.1)
  fi
  both_links main-to-copy main.fdb copy1.fdb 1 "main -> copy 1"
  both_links copy-to-main copy1.fdb main.fdb 0 "copy 1 -> main"
fi

# ---- 3: 20 clients at once against the sum of single runs ------------------------------------

if has_part 3; then
  echo "== 3. $copies copies: $main_rows rows for each on the main database," \
    "$copy_rows on each copy"
  "$root/scripts/make-databases.sh" "$work/site0" "$copies" >/dev/null
  fill_timed "$work/site0/main.fdb" "$main_rows" >/dev/null
  for ((n = 1; n <= copies; n++)); do
    fill_timed "$work/site0/copy$n.fdb" "$copy_rows" >/dev/null
  done

  # Single runs: one server, each client alone in turn from the same databases (a client also
  # takes what the copies before it sent, as it does in the concurrent run when they are quicker).
  cp -r "$work/site0" "$work/single"
  port=$(free_port)
  start_server "$work/single-server" "$work/single" "$port"
  single_sum=0 single_moved=0 single_client_mb=0
  for ((n = 1; n <= copies; n++)); do
    folder="$work/single-client$n"
    prepare_folder "$folder" "$(bench_client_ini "$work/single" "$n" "$port")"
    t0=$(now)
    launch "$folder"
    wait_for_line "$folder" "$synchronised" 0
    seconds=$(elapsed "$t0" "$(log_time "$folder" "$synchronised")")
    single_client_mb=$(max_of "$single_client_mb" "$(peak_mb "$folder")")
    stop_program "$folder"
    single_sum=$(awk -v a="$single_sum" -v b="$seconds" 'BEGIN { printf "%.3f", a + b }')
    single_moved=$((single_moved + $(moved "$folder")))
  done
  single_server_mb=$(peak_mb "$work/single-server")
  single_server_cpu=$(cpu_seconds "$work/single-server")
  stop_program "$work/single-server"
  single_server_states=$(state_times "$work/single-server" "Połączenie zaakceptowane" "")
  echo "   each alone: $single_sum s in all, $single_moved records moved"

  # All at once: the same databases and a new server, every client started together.
  cp -r "$work/site0" "$work/together"
  port=$(free_port)
  start_server "$work/together-server" "$work/together" "$port"
  for ((n = 1; n <= copies; n++)); do
    prepare_folder "$work/together-client$n" "$(bench_client_ini "$work/together" "$n" "$port")"
  done
  # The probe logs in before the clients start, so that it times the whole run.
  probe_out="$work/together-probe.txt"
  "$probe" --port "$port" --interval-ms 100 >"$probe_out" 2>&1 &
  probe_pid=$!
  for ((i = 0; i < 100; i++)); do
    grep -q '^logged-in' "$probe_out" && break
    kill -0 "$probe_pid" 2>/dev/null || break
    sleep 0.1
  done
  if ! grep -q '^logged-in' "$probe_out"; then
    cat "$probe_out" >&2
    echo "the activity probe did not log in" >&2
    exit 1
  fi
  t0=$(now)
  for ((n = 1; n <= copies; n++)); do launch "$work/together-client$n"; done
  together_end=0 together_moved=0 together_client_mb=0
  for ((n = 1; n <= copies; n++)); do
    folder="$work/together-client$n"
    wait_for_line "$folder" "$synchronised" 0
    together_end=$(max_of "$together_end" "$(log_time "$folder" "$synchronised")")
  done
  for ((n = 1; n <= copies; n++)); do
    together_client_mb=$(max_of "$together_client_mb" "$(peak_mb "$work/together-client$n")")
  done
  together_server_mb=$(peak_mb "$work/together-server")
  together_server_cpu=$(cpu_seconds "$work/together-server")
  # A client whose connection the server dropped before its login (say, beyond the server's
  # limit of connections not logged in from one address) tries again a minute later.
  together_dropped=0 together_retries=0
  for ((n = 1; n <= copies; n++)); do
    retries=$(count_in_log "$work/together-client$n" "czono z serwerem (")
    if [ "$retries" -gt 0 ]; then together_dropped=$((together_dropped + 1)); fi
    together_retries=$((together_retries + retries))
  done
  kill -TERM "$probe_pid" 2>/dev/null || true
  wait "$probe_pid" || { cat "$probe_out" >&2; echo "the activity probe failed" >&2; exit 1; }
  probe_figure() {  # name in the probe's line "count=... answered=... median_ms=..."
    sed -n "s/.*\<$1=\([0-9.]*\).*/\1/p" "$probe_out"
  }
  probe_count=$(probe_figure count)
  probe_answered=$(probe_figure answered)
  probe_median=$(probe_figure median_ms)
  probe_p99=$(probe_figure p99_ms)
  probe_max=$(probe_figure max_ms)
  stop_all
  for ((n = 1; n <= copies; n++)); do
    together_moved=$((together_moved + $(moved "$work/together-client$n")))
  done
  together_seconds=$(elapsed "$t0" "$together_end")
  together_server_states=$(state_times "$work/together-server" "Połączenie zaakceptowane" "")
  echo "   all at once: $together_seconds s, $together_moved records moved"
  rm -rf "$work/site0" "$work/single" "$work/together"  # 3 x 21 databases; the logs stay
fi

# ---- Summary ----------------------------------------------------------------------------------

verdict() {
  awk -v v="$1" -v op="$2" -v t="$3" \
    'BEGIN { ok = (op == ">=") ? v >= t : v <= t; print ok ? "met" : "MISSED" }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
row() { printf '%-46s %13s %13s %7s %7s %s\n' "$@"; }

echo
echo "== End-to-end summary (embedded Firebird, ServerMode = $server_mode, $(nproc) cores)"
row "measure" "ours" "reference" "ratio" "target" ""
if has_part 1; then
  for name in main-to-copy copy-to-main; do
    r=$(ratio "${result[$name.rate]}" "${result[$name.insert]}")
    row "1. $name, records/s vs insert+journal" "${result[$name.rate]}" \
      "${result[$name.insert]}" "$r" ">=0.5" "$(verdict "$r" ">=" 0.5)"
  done
  if has_part tls; then
    for name in main-to-copy copy-to-main; do
      r=$(ratio "${result[$name-tls.rate]}" "${result[$name.rate]}")
      row "1t. $name, records/s over TLS vs plain" "${result[$name-tls.rate]}" \
        "${result[$name.rate]}" "$r" ">=0.9" "$(verdict "$r" ">=" 0.9)"
    done
  fi
  for name in main-to-copy copy-to-main; do
    row "1. $name, processor ms per 1,000 records" \
      "$(awk -v s="${result[$name.server_cpu]}" -v c="${result[$name.client_cpu]}" -v n="$records" \
        'BEGIN { printf "%.0f+%.0f", s * 1e6 / n, c * 1e6 / n }')" "" "" "" "server+client"
  done
  for name in main-to-copy copy-to-main; do
    for side in server client; do
      mb=${result[$name.${side}_mb]}
      row "2. $name, peak RSS of the $side, MB" "$mb" "" "" "<=64" "$(verdict "$mb" "<=" 64)"
    done
  done
fi
if has_part 3; then
  row "2. $copies clients: peak RSS of a client, MB" "$together_client_mb" "$single_client_mb" "" \
    "<=64" "$(verdict "$together_client_mb" "<=" 64)"
  row "3. $copies clients at once: server peak RSS, MB" "$together_server_mb" "$single_server_mb" \
    "" "<=96" "$(verdict "$together_server_mb" "<=" 96)"
  r=$(ratio "$together_seconds" "$single_sum")
  row "3. $copies clients at once vs sum alone, s" "$together_seconds" "$single_sum" "$r" \
    "<=0.6" "$(verdict "$r" "<=" 0.6)"
  echo "   at once, $together_dropped of $copies clients lost their connection before their" \
    "first cycle ended and came back a minute later ($together_retries reconnections)"
  probe_verdict=$(verdict "$probe_p99" "<=" 50)
  if [ "$probe_answered" != "$probe_count" ]; then probe_verdict="MISSED (unanswered)"; fi
  row "3. activity round trip meanwhile, p99, ms" "$probe_p99" "" "" "<=50" "$probe_verdict"
  echo "   activity requests every 100 ms: $probe_count sent, $probe_answered answered;" \
    "round trip median $probe_median ms, p99 $probe_p99 ms, max $probe_max ms"
  row "3. records moved (imported + sent)" "$together_moved" "$single_moved" \
    "$(ratio "$together_moved" "$single_moved")" "" ""
  row "3. ms per 1,000 records moved" \
    "$(awk -v s="$together_seconds" -v n="$together_moved" \
      'BEGIN { printf "%.0f", s * 1e6 / n }')" \
    "$(awk -v s="$single_sum" -v n="$single_moved" 'BEGIN { printf "%.0f", s * 1e6 / n }')" \
    "$(awk -v a="$together_seconds" -v b="$together_moved" -v c="$single_sum" -v d="$single_moved" \
      'BEGIN { printf "%.2f", (a / b) / (c / d) }')" "" ""
  per_thousand() { awk -v s="$1" -v n="$2" 'BEGIN { printf "%.1f", s * 1e6 / n }'; }
  row "3. server processor ms per 1,000 records moved" \
    "$(per_thousand "$together_server_cpu" "$together_moved")" \
    "$(per_thousand "$single_server_cpu" "$single_moved")" "" "" ""
fi
if has_part 1; then
  echo "Records arrived: main->copy ${result[main-to-copy.arrived]} of $records," \
    "copy->main ${result[copy-to-main.arrived]} of $records; journal entries left behind:" \
    "${result[main-to-copy.waiting]} / ${result[copy-to-main.waiting]}"
  tls_names=""
  if has_part tls; then
    echo "Over TLS: main->copy ${result[main-to-copy-tls.arrived]} of $records," \
      "copy->main ${result[copy-to-main-tls.arrived]} of $records; journal entries left behind:" \
      "${result[main-to-copy-tls.waiting]} / ${result[copy-to-main-tls.waiting]};" \
      "peak RSS server / client, MB: ${result[main-to-copy-tls.server_mb]} /" \
      "${result[main-to-copy-tls.client_mb]}, ${result[copy-to-main-tls.server_mb]} /" \
      "${result[copy-to-main-tls.client_mb]}"
    tls_names="main-to-copy-tls copy-to-main-tls"
  fi
  for name in main-to-copy copy-to-main $tls_names; do
    echo "Where $name went (seconds per state, from the logs):"
    echo "  client:${result[$name.client_states]}"
    echo "  server:${result[$name.server_states]}"
  done
fi
if has_part 3; then
  echo "Where the server of the $copies copies went (seconds per state, from its log):"
  echo "  each client alone:$single_server_states"
  echo "  all at once:$together_server_states"
fi
