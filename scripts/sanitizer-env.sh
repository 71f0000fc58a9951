#!/usr/bin/env bash
# The sanitizer settings for running the tests of a -DTRAMOLIN_SANITIZE=ON build; source it
# (scripts/test.sh does) before ctest, or before starting a sanitized program by hand.
sanitizer_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Firebird's libraries (libfbclient, the embedded engine libEngine12 and its plug-ins) are not
# built with the sanitizers, so nothing is checked inside them, but their memory still comes from
# the sanitizer's allocator and LeakSanitizer sees what they keep:
#   - the client library keeps a few allocations for the life of the process (its login numbers,
#     its character set converters); those are suppressed by name in lsan.supp, and leak
#     detection stays on for everything else;
#   - they are built without frame pointers, so the fast unwinder stops early in their frames:
#     a report through them shows the first frames only, and the suppressions name those frames
#     (the library that allocates), never a frame further down.
# Stack use after return and initialization order are checked as well: they matter for code that
# passes string views around, and cost little at the size of our tests.
export ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$sanitizer_root/tests/sanitizers/lsan.supp"
unset sanitizer_root
