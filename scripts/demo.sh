#!/usr/bin/env bash
# Installs what is missing, builds the program and runs a small replicated site in demo/: a main
# database and two copies, a replication server on the main database and a client on each copy,
# every one a service process in a folder of its own. While they run it changes all three
# databases, wakes the clients until all three hold the same data, prints a summary per table and
# per site, and stops everything in order.
#
# The databases are opened with the embedded engine under a private Firebird root whose
# firebird.conf says ServerMode = Classic: every process then shares the database files instead of
# locking them, so the demo's own isql-fb connections can write while the replicators run, and
# database events reach the other processes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}
demo_dir=${DEMO_DIR:-$root/demo}
port=${DEMO_PORT:-17846}
wait_seconds=${DEMO_WAIT_SECONDS:-60}
max_rounds=${DEMO_ROUNDS:-6}
# shellcheck source-path=SCRIPTDIR source=lib/site.sh
. "$root/scripts/lib/site.sh"
program="$build_dir/src/app/tramolin2"

"$root/scripts/install-deps.sh"
BUILD_DIR="$build_dir" "$root/scripts/build.sh" -DTRAMOLIN_TESTS=OFF

rm -rf "$demo_dir"
mkdir -p "$demo_dir"
export FIREBIRD="$demo_dir/firebird"
"$root/scripts/firebird-root.sh" "$FIREBIRD"
echo "ServerMode = Classic" >"$FIREBIRD/firebird.conf"

db="$demo_dir/db"
echo "== Bazy demonstracyjne: $db (główna i kopie nr 1 i 2)"
"$root/scripts/make-databases.sh" "$db" 2 >/dev/null

# Statements in UTF-8 on stdin, run in code page 1250 (the databases' character set); answers
# come back in UTF-8.
sql() {
  local script
  script=$(mktemp)
  iconv -f UTF-8 -t CP1250 >"$script"
  isql-fb -q -ch WIN1250 -user SYSDBA "$1" -i "$script" | iconv -f CP1250 -t UTF-8
  rm -f "$script"
}
# The program writes its logs in code page 1250.
log_text() { iconv -f CP1250 -t UTF-8 "$1" 2>/dev/null || true; }
# A client's finished synchronisations: its "Następna synchronizacja za:" lines.
syncs() { count_in_log "$1" "synchronizacja za:"; }

trap stop_all EXIT

# Waits until the client has finished more synchronisations than it had.
wait_for_sync() {  # folder, count before
  wait_until_logged "$1" "synchronizacja za:" "$2" "$wait_seconds" && return 0
  echo "Klient w $1 nie zakończył synchronizacji w ciągu $wait_seconds s" >&2
  return 1
}

server_dir="$demo_dir/serwer"
clients=("$demo_dir/klient1" "$demo_dir/klient2")
echo "== Serwer replikacji: $server_dir (port $port)"
start_program "$server_dir" "$(server_ini "$db" "$port")"
for _ in $(seq 1 100); do [ -f "$server_dir/pid" ] && break; sleep 0.1; done
if [ ! -f "$server_dir/pid" ]; then
  echo "Serwer nie rozpoczął pracy w ciągu 10 s; dziennik: $(debug_log "$server_dir")" >&2
  exit 1
fi
for n in 1 2; do
  echo "== Klient replikacji kopii nr $n: ${clients[n - 1]}"
  start_program "${clients[n - 1]}" "$(client_ini "$db" "$n" "$port" "Interwal=5\r\nEvents=1\r\n")"
done
for client in "${clients[@]}"; do wait_for_sync "$client" 0; done

echo "== Zmiany we wszystkich trzech bazach, w czasie pracy replikatorów"
started=$(date +%s.%N)
sql "$db/main.fdb" <<'SQL'
INSERT INTO DOKUMENTY (ID, NAZWA, WARTOSC, DATA) VALUES (1, 'Faktura z centrali; pozycja 1', 1234.5, '2026-12-01');
INSERT INTO DOKUMENTY (ID, NAZWA, WARTOSC, DATA) VALUES (2, 'Zamówienie – Łódź', 99.99, '2026-12-02');
INSERT INTO TOWARY (ID, NAZWA, CENA, RABAT) VALUES (10, 'Śruba M8', 0.35, 5);
INSERT INTO TOWARY (ID, NAZWA, CENA, RABAT) VALUES (11, 'Podkładka', 0.05, 0);
INSERT INTO KONTRAHENT (ID, NAZWA) VALUES (20, 'Hurtownia Żuraw');
COMMIT;
SQL
sql "$db/copy1.fdb" <<'SQL'
INSERT INTO DOKUMENTY (ID, NAZWA, WARTOSC, DATA) VALUES (10500001, 'Dokument z oddziału 1', 42, '2026-12-03');
INSERT INTO TOWARY (ID, NAZWA, CENA) VALUES (10500002, 'Nakrętka M8', 0.12);
COMMIT;
SQL
sql "$db/copy2.fdb" <<'SQL'
INSERT INTO DOKUMENTY (ID, NAZWA, WARTOSC, DATA) VALUES (11000001, 'Dokument z oddziału 2', 7.5, '2026-12-04');
INSERT INTO KONTRAHENT (ID, NAZWA) VALUES (11000002, 'Klient z Gdańska');
COMMIT;
SQL

tables() {  # database file
  sql "$1" <<'SQL'
SELECT ID, CAST(NAZWA AS VARCHAR(32)) AS NAZWA, WARTOSC FROM DOKUMENTY ORDER BY ID;
SELECT ID, CAST(NAZWA AS VARCHAR(32)) AS NAZWA, CENA FROM TOWARY ORDER BY ID;
SELECT ID, CAST(NAZWA AS VARCHAR(32)) AS NAZWA FROM KONTRAHENT ORDER BY ID;
SQL
}
same_everywhere() {
  local main
  main=$(tables "$db/main.fdb")
  [ "$main" = "$(tables "$db/copy1.fdb")" ] && [ "$main" = "$(tables "$db/copy2.fdb")" ]
}

# A request in REPDIALOG wakes a client at once (database event REPDIALOGINSERT). A change made on
# one copy reaches the other in the round after the main database has it.
converged=0
for _ in $(seq 1 "$max_rounds"); do
  for n in 1 2; do
    before=$(syncs "${clients[n - 1]}")
    echo "INSERT INTO REPDIALOG (ID, STATUS) VALUES (GEN_ID(REKORD_ID, 1), 0); COMMIT;" |
      sql "$db/copy$n.fdb" >/dev/null
    wait_for_sync "${clients[n - 1]}" "$before"
  done
  if same_everywhere; then
    converged=1
    break
  fi
done
finished=$(date +%s.%N)
stop_all
trap - EXIT

echo "== Stan tabel (liczba wierszy: główna / kopia 1 / kopia 2)"
for table in DOKUMENTY TOWARY KONTRAHENT; do
  counts=()
  for file in main copy1 copy2; do
    counts+=("$(echo "SELECT COUNT(*) FROM $table;" | sql "$db/$file.fdb" | awk 'NF==1 && $1 ~ /^[0-9]+$/ {print $1}')")
  done
  printf '  %-12s %s / %s / %s\n' "$table" "${counts[@]}"
done

echo "== Przebieg wymiany (od pierwszych zmian do zgodności baz: $(awk -v a="$started" -v b="$finished" 'BEGIN { printf "%.1f", b - a }') s)"
for n in 1 2; do
  log_text "${clients[n - 1]}/Tramolin2_debug.log" | awk -v n="$n" '
    /Wysłano [0-9]+ z [0-9]+ zmian/ { for (i = 1; i <= NF; i++) if ($i == "Wysłano") sent += $(i + 1) }
    /Zaimportowano [0-9]+/ { for (i = 1; i <= NF; i++) if ($i == "Zaimportowano") received += $(i + 1) }
    /konfliktów/ { for (i = 1; i <= NF; i++) if ($i == "(konfliktów") conflicts += $(i + 1) }
    END { printf "  kopia %d: wysłano %d, odebrano %d, konfliktów %d\n", n, sent, received, conflicts }'
done

echo "== Baza główna (main.fdb)"
tables "$db/main.fdb"
if [ "$converged" != 1 ]; then
  echo "Bazy nie są zgodne po $max_rounds rundach; dzienniki: $server_dir, ${clients[*]}" >&2
  exit 1
fi
echo "== Wszystkie trzy bazy mają te same dokumenty, towary i kontrahentów."
