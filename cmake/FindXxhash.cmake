# xxHash: fast non-cryptographic hashes (XXH3). Defines the imported target Xxhash::Xxhash.
find_path(Xxhash_INCLUDE_DIR NAMES xxhash.h)
find_library(Xxhash_LIBRARY NAMES xxhash)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Xxhash REQUIRED_VARS Xxhash_LIBRARY Xxhash_INCLUDE_DIR)
if(Xxhash_FOUND AND NOT TARGET Xxhash::Xxhash)
  add_library(Xxhash::Xxhash UNKNOWN IMPORTED GLOBAL)
  set_target_properties(Xxhash::Xxhash PROPERTIES
    IMPORTED_LOCATION "${Xxhash_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${Xxhash_INCLUDE_DIR}")
endif()
mark_as_advanced(Xxhash_INCLUDE_DIR Xxhash_LIBRARY)
