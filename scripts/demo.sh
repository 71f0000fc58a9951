#!/usr/bin/env bash
# Installs what is missing, builds the program, makes a demo main database and copy in demo/,
# makes changes on both, runs a replication server on the main database and a client on the copy
# (each a service process in a folder of its own) until the client has synchronised, stops both
# and shows both databases side by side.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}
demo_dir=${DEMO_DIR:-$root/demo}
port=${DEMO_PORT:-17846}
wait_seconds=${DEMO_WAIT_SECONDS:-60}

"$root/scripts/install-deps.sh"
BUILD_DIR="$build_dir" "$root/scripts/build.sh" -DTRAMOLIN_TESTS=OFF

rm -rf "$demo_dir"
db="$demo_dir/db"
echo "== Bazy demonstracyjne: $db (główna i kopia nr 1)"
"$root/scripts/make-databases.sh" "$db" 1

# Statements in UTF-8 on stdin, run as code page 1250 (the databases' character set); the
# answers come back in UTF-8.
sql() {
  local script
  script=$(mktemp)
  iconv -f UTF-8 -t CP1250 > "$script"
  isql-fb -q -ch WIN1250 -user SYSDBA "$1" -i "$script" | iconv -f CP1250 -t UTF-8
  rm -f "$script"
}
# The program's log files are written in code page 1250.
log_text() { iconv -f CP1250 -t UTF-8 "$1" 2>/dev/null || true; }

echo "== Zmiany w bazie głównej i w kopii, zanim ruszy replikacja"
sql "$db/main.fdb" <<'SQL'
INSERT INTO DOKUMENTY (ID, NAZWA, WARTOSC, DATA) VALUES (1, 'Faktura z centrali; pozycja 1', 1234.5, '2026-12-01');
INSERT INTO DOKUMENTY (ID, NAZWA, WARTOSC, DATA) VALUES (2, 'Zamówienie – Łódź', 99.99, '2026-12-02');
INSERT INTO TOWARY (ID, NAZWA, CENA, RABAT) VALUES (10, 'Śruba M8', 0.35, 5);
COMMIT;
SQL
sql "$db/copy1.fdb" <<'SQL'
INSERT INTO DOKUMENTY (ID, NAZWA, WARTOSC, DATA) VALUES (10500001, 'Dokument z oddziału', 42, '2026-12-03');
INSERT INTO TOWARY (ID, NAZWA, CENA) VALUES (10500002, 'Nakrętka M8', 0.12);
COMMIT;
SQL

start_program() {  # folder, configuration
  mkdir -p "$1"
  cp "$build_dir/src/app/tramolin2" "$1/"
  printf '%b' "$2" > "$1/Tramolin2.ini"
  (cd "$1" && exec ./tramolin2 -s -d) &
}
stop_program() { kill -TERM "$1" 2>/dev/null || true; wait "$1" 2>/dev/null || true; }

server_dir="$demo_dir/serwer"
client_dir="$demo_dir/klient"
echo "== Serwer replikacji: $server_dir (port $port)"
start_program "$server_dir" \
  "[DB]\r\nDBHOST=\r\nDBPATH=$db\r\nDBFILE=main.fdb\r\n[Tramolin]\r\nMode=1\r\n[Server]\r\nPort=$port\r\n"
server_pid=$!
for _ in $(seq 1 100); do [ -f "$server_dir/pid" ] && break; sleep 0.1; done

echo "== Klient replikacji: $client_dir"
start_program "$client_dir" \
  "[DB]\r\nDBHOST=\r\nDBPATH=$db\r\nDBFILE=copy1.fdb\r\n[Tramolin]\r\nMode=0\r\nInterwal=1\r\n[Klient]\r\nHost=127.0.0.1\r\nPort=$port\r\n"
client_pid=$!
trap 'stop_program $client_pid; stop_program $server_pid' EXIT

synchronised=0
for _ in $(seq 1 $((wait_seconds * 10))); do
  if log_text "$client_dir/Tramolin2_debug.log" | grep -q "Następna synchronizacja za:"; then
    synchronised=1
    break
  fi
  sleep 0.1
done
stop_program "$client_pid"
stop_program "$server_pid"
trap - EXIT

echo "== Przebieg synchronizacji (dziennik klienta)"
log_text "$client_dir/Tramolin2_debug.log" |
  grep -E "Połączono z serwerem|Weryfikacja|Serwer przysłał|Zaimportowano|Wysłano|Serwer zaimportował|Następna synchronizacja" |
  sed -E 's/^[0-9.]+ [0-9:.]+ /  /' || true

tables() {
  sql "$db/$1.fdb" <<'SQL'
SELECT ID, CAST(NAZWA AS VARCHAR(32)) AS NAZWA, WARTOSC FROM DOKUMENTY ORDER BY ID;
SELECT ID, CAST(NAZWA AS VARCHAR(32)) AS NAZWA, CENA FROM TOWARY ORDER BY ID;
SQL
}
main_tables=$(tables main)
copy_tables=$(tables copy1)
echo "== Baza główna (main.fdb): dokumenty i towary"
echo "$main_tables"
echo "== Kopia nr 1 (copy1.fdb): dokumenty i towary"
echo "$copy_tables"

if [ "$synchronised" != 1 ]; then
  echo "Klient nie zakończył synchronizacji w ciągu $wait_seconds s; dzienniki: $client_dir, $server_dir" >&2
  exit 1
fi
if [ "$main_tables" != "$copy_tables" ]; then
  echo "Bazy się różnią; dzienniki: $client_dir, $server_dir" >&2
  exit 1
fi
echo "== Obie bazy mają te same dokumenty i towary."
