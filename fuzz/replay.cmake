# Every fuzz target as a plain program (replay_main.cpp instead of libFuzzer)
# that runs each seed of fuzz/corpus/<target>/ and each saved finding of
# fuzz/regressions/<target>/ once: one test per target, in whatever build
# includes this file, so the sanitizer build of the suite replays them too.
include_guard(GLOBAL)
include(${CMAKE_CURRENT_LIST_DIR}/targets.cmake)

foreach(target ${PARVA_FUZZ_TARGETS})
  parva_fuzz_program(fuzz_replay_${target} ${target} ${PARVA_FUZZ_DIR}/replay_main.cpp)
  add_test(NAME fuzz_replay_${target}
           COMMAND fuzz_replay_${target} ${PARVA_FUZZ_DIR}/corpus/${target}
                   ${PARVA_FUZZ_DIR}/regressions/${target})
  set_tests_properties(fuzz_replay_${target} PROPERTIES TIMEOUT 120 LABELS fuzz)
endforeach()
