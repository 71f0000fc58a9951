#!/usr/bin/env bash
# Installs what is missing, builds the program, makes a demo main database and copy in demo/
# and runs the replication server on the main database for a few seconds, then shows what it
# recorded in the database.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}
demo_dir=${DEMO_DIR:-$root/demo}
seconds=${DEMO_SECONDS:-5}

"$root/scripts/install-deps.sh"
BUILD_DIR="$build_dir" "$root/scripts/build.sh" -DTRAMOLIN_TESTS=OFF

rm -rf "$demo_dir"
echo "== Bazy demonstracyjne: $demo_dir/db (główna i kopia nr 1)"
"$root/scripts/make-databases.sh" "$demo_dir/db" 1

server_dir="$demo_dir/server"
mkdir -p "$server_dir"
cp "$build_dir/src/app/tramolin2" "$server_dir/"
printf '[DB]\r\nDBHOST=\r\nDBPATH=%s\r\nDBFILE=main.fdb\r\n[Tramolin]\r\nMode=1\r\nInterwal=1\r\n[Server]\r\nPort=17846\r\n' \
  "$demo_dir/db" > "$server_dir/Tramolin2.ini"

echo "== Serwer replikacji ($seconds s): $server_dir"
(cd "$server_dir" && timeout -s TERM "$seconds" ./tramolin2 -m -d) || true

echo "== Dziennik REPINFO bazy głównej"
isql-fb -q "$demo_dir/db/main.fdb" -user SYSDBA <<'SQL'
SELECT ID, TRYBPRACY, INFO, DATASTART, DATAKONIEC FROM REPINFO;
SQL
