#!/usr/bin/env bash
# Installs what is missing, checks the formatting, the layering and the shell scripts, builds
# twice (a release build into build/ and a build with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-asan/), starts a private Firebird server for the network
# tests, runs every test of both builds through CTest and stops the server again. SANITIZE=0
# leaves out the sanitizer build and its run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}
asan_dir=${ASAN_BUILD_DIR:-$root/build-asan}
sanitize=${SANITIZE:-1}

"$root/scripts/install-deps.sh"
"$root/scripts/check-format.sh"
"$root/scripts/check-layers.sh"
"$root/scripts/check-shell.sh"
BUILD_DIR="$build_dir" "$root/scripts/build.sh" -DTRAMOLIN_TESTS=ON
if [ "$sanitize" = 1 ]; then
  BUILD_DIR="$asan_dir" "$root/scripts/build.sh" -DTRAMOLIN_TESTS=ON -DCMAKE_BUILD_TYPE=Debug \
    -DTRAMOLIN_SANITIZE=ON
fi

server_dir="$build_dir/firebird-server"
if [ -x "$root/scripts/firebird-server.sh" ]; then
  "$root/scripts/firebird-server.sh" start "$server_dir"
  trap '"$root/scripts/firebird-server.sh" stop "$server_dir"' EXIT
  # shellcheck disable=SC1091
  source "$server_dir/env"
fi

run_tests() {
  (cd "$1" && ctest --output-on-failure -j "${JOBS:-$(nproc)}" --timeout 300)
}

status=0
echo "== tests of the release build"
run_tests "$build_dir" || status=1
if [ "$sanitize" = 1 ]; then
  echo "== tests of the sanitizer build"
  # shellcheck disable=SC1091
  (source "$root/scripts/sanitizer-env.sh" && run_tests "$asan_dir") || status=1
fi
exit "$status"
