#!/usr/bin/env bash
# Builds the tests that run database work on worker threads (the labels `engine` and `workers`)
# with ThreadSanitizer into build-tsan/ (or $TSAN_BUILD_DIR), starts a private Firebird server for
# the network tests and runs those tests through CTest; any report of the tool fails the test that
# ran into it. The libraries that are not built with the tool (Firebird's, Qt's, GLib's) are left
# out by scripts/tsan.supp, which says why for each.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tsan_dir=${TSAN_BUILD_DIR:-$root/build-tsan}
jobs=${JOBS:-$(nproc)}
targets=(
  tramolin_fb_test tramolin_dmdb_test tramolin_export_test tramolin_import_test
  tramolin_host_requests_test worker_tests server_integration_tests client_integration_tests
  tdm_database_tests
)

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$tsan_dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTRAMOLIN_TESTS=ON \
  -DTRAMOLIN_TSAN=ON >/dev/null
cmake --build "$tsan_dir" -j "$jobs" --target "${targets[@]}"

server_dir="$tsan_dir/firebird-server"
"$root/scripts/firebird-server.sh" start "$server_dir"
trap '"$root/scripts/firebird-server.sh" stop "$server_dir"' EXIT
# shellcheck disable=SC1091
source "$server_dir/env"

# Exit code 66 marks a run with a report; second_deadlock_stack names both lock orders.
export TSAN_OPTIONS="suppressions=$root/scripts/tsan.supp:halt_on_error=0:exitcode=66:second_deadlock_stack=1"
# The GUI's engine tests (wizard) are not built here.
(cd "$tsan_dir" && ctest --output-on-failure -j "$jobs" --timeout 600 -L 'engine|workers' -LE gui)
