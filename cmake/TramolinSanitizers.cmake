# With TRAMOLIN_SANITIZE on, every target of the project (libraries, the program, the tests) is
# built with AddressSanitizer and UndefinedBehaviorSanitizer. Any undefined behaviour ends the
# process like an address fault does, so a finding fails the test that ran into it. -O1 keeps the
# run fast enough for CI while stack traces stay readable; assertions stay on (no NDEBUG).
# The run-time settings the tests need are in scripts/sanitizer-env.sh.
if(TRAMOLIN_SANITIZE)
  set(tramolin_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=undefined)
  add_compile_options(${tramolin_sanitizers} -fno-omit-frame-pointer -O1 -g1)
  add_link_options(${tramolin_sanitizers})
endif()
