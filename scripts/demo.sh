#!/usr/bin/env bash
# Installs what is missing, builds the program and runs it on a demo configuration in demo/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}
demo_dir=${DEMO_DIR:-$root/demo}

"$root/scripts/install-deps.sh"
BUILD_DIR="$build_dir" "$root/scripts/build.sh" -DTRAMOLIN_TESTS=OFF

mkdir -p "$demo_dir/server"
cp "$build_dir/src/app/tramolin2" "$demo_dir/server/"
cat > "$demo_dir/server/Tramolin2.ini" <<INI
[DB]
DBHOST=
DBPATH=$demo_dir
DBFILE=main.fdb
[Tramolin]
Mode=1
Interwal=1
[Server]
Port=17846
INI
echo "Serwer demonstracyjny: $demo_dir/server"
cd "$demo_dir/server"
timeout "${DEMO_SECONDS:-10}" ./tramolin2 -s -d || true
echo "--- Tramolin2_debug.log ---"
cat Tramolin2_debug.log 2>/dev/null || true
