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

# With TRAMOLIN_TSAN on, every target is built with ThreadSanitizer instead (the two cannot be
# combined in one process). The run-time settings and the suppressions for the libraries that are
# not built with it (Firebird's, Qt's) are in scripts/tsan.sh and scripts/tsan.supp.
if(TRAMOLIN_TSAN)
  if(TRAMOLIN_SANITIZE)
    message(FATAL_ERROR "TRAMOLIN_TSAN and TRAMOLIN_SANITIZE cannot be on in one build")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer -O1 -g)
  add_link_options(-fsanitize=thread)
endif()
