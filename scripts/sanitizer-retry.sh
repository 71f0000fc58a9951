#!/usr/bin/env bash
# CTest's launcher for the test programs of the sanitizer build. LeakSanitizer's stop-the-world at
# a program's exit can crash on the thread-local storage of a library the program unloaded
# ("Tracer caught signal ..."): a fault of the tool, after every test has passed. The engine tests
# keep Firebird's libraries loaded to avoid it; should it happen all the same, the run is
# repeated once. Any other outcome, a leak report or a failed test included, stands as it is.
set -uo pipefail
output=$(mktemp)
trap 'rm -f "$output"' EXIT
"$@" >"$output" 2>&1
status=$?
if [ "$status" -ne 0 ] && grep -q "Tracer caught signal" "$output" &&
  grep -q "LeakSanitizer has encountered a fatal error" "$output"; then
  echo "(LeakSanitizer's tracer crashed at exit; the run is repeated once)"
  "$@"
  exit $?
fi
cat "$output"
exit "$status"
