# The fuzz targets, one source file each, and how each is built: by the
# libFuzzer build (fuzz/CMakeLists.txt) and as a replay program of the test
# suite (fuzz/replay.cmake).
# No include guard: its variables belong to the including directory, and
# both the test suite and the fuzz build include it.

set(PARVA_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
set(PARVA_FUZZ_TARGETS
    parse_line record_loop config_file history state text_helpers keep_import decompress)

# One program of the target's source and the given extra sources.  parvakeep
# is not part of the analyzer's library: its target compiles the cache
# manager's own sources, as the parvakeep program does, and links Berkeley DB
# alone.
function(parva_fuzz_program program target)
  add_executable(${program} ${PARVA_FUZZ_DIR}/${target}.cpp ${ARGN})
  target_include_directories(${program} PRIVATE ${PARVA_FUZZ_DIR})
  if(target STREQUAL "keep_import")
    target_sources(${program} PRIVATE
      ${PROJECT_SOURCE_DIR}/src/cachemgr/commands.cpp
      ${PROJECT_SOURCE_DIR}/src/cachemgr/transfer.cpp
      ${PROJECT_SOURCE_DIR}/src/common/files.cpp)
    target_include_directories(${program} PRIVATE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${program} PRIVATE ${BDB_LIBRARY})
  else()
    target_link_libraries(${program} PRIVATE parvalyte_core)
  endif()
endfunction()
