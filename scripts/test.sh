#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds, starts a private Firebird server for the network tests,
# runs every test through CTest and stops the server again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}

"$root/scripts/install-deps.sh"
"$root/scripts/check-format.sh"
BUILD_DIR="$build_dir" "$root/scripts/build.sh" -DTRAMOLIN_TESTS=ON

server_dir="$build_dir/firebird-server"
if [ -x "$root/scripts/firebird-server.sh" ]; then
  "$root/scripts/firebird-server.sh" start "$server_dir"
  trap '"$root/scripts/firebird-server.sh" stop "$server_dir"' EXIT
  # shellcheck disable=SC1091
  source "$server_dir/env"
fi

cd "$build_dir"
ctest --output-on-failure -j "${JOBS:-$(nproc)}" --timeout 300
