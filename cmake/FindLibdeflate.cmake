# libdeflate: fast compression into the deflate, zlib and gzip formats. Defines the imported
# target Libdeflate::Libdeflate (global: the protocol library passes it on to its users).
find_path(Libdeflate_INCLUDE_DIR NAMES libdeflate.h)
find_library(Libdeflate_LIBRARY NAMES deflate libdeflate)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Libdeflate REQUIRED_VARS Libdeflate_LIBRARY Libdeflate_INCLUDE_DIR)
if(Libdeflate_FOUND AND NOT TARGET Libdeflate::Libdeflate)
  add_library(Libdeflate::Libdeflate UNKNOWN IMPORTED GLOBAL)
  set_target_properties(Libdeflate::Libdeflate PROPERTIES
    IMPORTED_LOCATION "${Libdeflate_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${Libdeflate_INCLUDE_DIR}")
endif()
mark_as_advanced(Libdeflate_INCLUDE_DIR Libdeflate_LIBRARY)
