# qd_ecpg_sources(OUTVAR file.pgc... [PREPARED] [DEPENDS headers...])
# Runs ecpg on each .pgc into the build tree and appends the generated .cpp
# files to OUTVAR. Warnings are relaxed for the generated code only. With
# PREPARED each statement is prepared on its connection the first time it
# runs and executed as the prepared statement afterwards (the same text; the
# server parses it once per connection instead of at every call).
function(qd_ecpg_sources outvar)
  cmake_parse_arguments(ARG "PREPARED" "" "DEPENDS" ${ARGN})
  set(mode)
  if(ARG_PREPARED)
    set(mode -r prepare)
  endif()
  set(generated)
  foreach(pgc ${ARG_UNPARSED_ARGUMENTS})
    get_filename_component(base ${pgc} NAME_WE)
    get_filename_component(abs ${pgc} ABSOLUTE)
    get_filename_component(dir ${abs} DIRECTORY)
    set(out ${CMAKE_CURRENT_BINARY_DIR}/${base}.cpp)
    add_custom_command(OUTPUT ${out}
      COMMAND ${ECPG_EXECUTABLE} ${mode} -I ${dir} -I ${CMAKE_SOURCE_DIR}/lib/platform
              -I ${CMAKE_SOURCE_DIR}/lib/txn -o ${out} ${abs}
      DEPENDS ${abs} ${ARG_DEPENDS}
      COMMENT "ecpg ${pgc}")
    set_source_files_properties(${out} PROPERTIES
      COMPILE_OPTIONS "-Wno-unused-variable;-Wno-unused-parameter;-Wno-missing-field-initializers;-Wno-sign-compare")
    list(APPEND generated ${out})
  endforeach()
  set(${outvar} ${${outvar}} ${generated} PARENT_SCOPE)
endfunction()

# qd_add_gtest(NAME SOURCES... LIBS libs... [LABELS labels...])
# One GoogleTest executable; each test case becomes a CTest test carrying
# LABELS (use "db" for tests that need the private PostgreSQL cluster).
function(qd_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name}
    # One variable per property: the test discovery flattens list values,
    # which would drop every variable after the first.
    PROPERTIES LABELS "${ARG_LABELS}" ENVIRONMENT "QD_BUILD_DIR=${CMAKE_BINARY_DIR}"
               ENVIRONMENT_MODIFICATION "QD_SOURCE_DIR=set:${CMAKE_SOURCE_DIR}"
    DISCOVERY_TIMEOUT 30)
endfunction()

# Instrumentation of the fuzz targets: the replay runs under ASan + UBSan,
# the libFuzzer binaries add coverage feedback.
option(QD_FUZZ "Build libFuzzer targets (needs clang)" OFF)
set(QD_REPLAY_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
set(QD_FUZZER_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)

# qd_add_fuzz_library(NAME SOURCES src... INCLUDES dirs... LIBS libs...)
# The modules a fuzz target exercises, compiled with the fuzz targets'
# instrumentation so that the sanitizers and the coverage feedback see
# their code: NAME_replay always, NAME_fuzz with -DQD_FUZZ=ON. Built only
# when a fuzz target links them.
function(qd_add_fuzz_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;INCLUDES;LIBS" ${ARGN})
  set(variants replay)
  if(QD_FUZZ)
    list(APPEND variants fuzz)
  endif()
  foreach(variant ${variants})
    set(lib ${name}_${variant})
    add_library(${lib} STATIC EXCLUDE_FROM_ALL ${ARG_SOURCES})
    target_include_directories(${lib} PUBLIC ${ARG_INCLUDES})
    target_link_libraries(${lib} PUBLIC ${ARG_LIBS})
    if(variant STREQUAL "replay")
      target_compile_options(${lib} PRIVATE ${QD_REPLAY_FLAGS})
    else()
      target_compile_options(${lib} PRIVATE ${QD_FUZZER_FLAGS})
    endif()
  endforeach()
endfunction()

# qd_add_fuzz_target(NAME SOURCES harness... FUZZ_LIBS libs... CORPUS dir)
# SOURCES are the harness (defining LLVMFuzzerTestOneInput); FUZZ_LIBS name
# libraries made by qd_add_fuzz_library, the modules under test. Always
# builds NAME_replay, which CTest runs over the corpus under ASan + UBSan
# (label "fuzz"). With -DQD_FUZZ=ON and clang as the compiler it also builds
# NAME_fuzz, a libFuzzer binary for long runs:
#   build-fuzz/tests/NAME_fuzz -max_total_time=3600 CORPUS_DIR
function(qd_add_fuzz_target name)
  cmake_parse_arguments(ARG "" "CORPUS" "SOURCES;FUZZ_LIBS" ${ARGN})
  set(replay_libs)
  set(fuzz_libs)
  foreach(lib ${ARG_FUZZ_LIBS})
    list(APPEND replay_libs ${lib}_replay)
    list(APPEND fuzz_libs ${lib}_fuzz)
  endforeach()
  add_executable(${name}_replay ${ARG_SOURCES} ${CMAKE_SOURCE_DIR}/tests/fuzz/replay_main.cpp)
  target_link_libraries(${name}_replay PRIVATE ${replay_libs})
  target_compile_options(${name}_replay PRIVATE ${QD_REPLAY_FLAGS})
  target_link_options(${name}_replay PRIVATE -fsanitize=address,undefined)
  set_target_properties(${name}_replay PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME fuzz_replay_${name} COMMAND ${name}_replay ${ARG_CORPUS})
  set_tests_properties(fuzz_replay_${name} PROPERTIES LABELS "fuzz;unit"
    ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1")
  if(QD_FUZZ)
    add_executable(${name}_fuzz ${ARG_SOURCES})
    target_link_libraries(${name}_fuzz PRIVATE ${fuzz_libs})
    target_compile_options(${name}_fuzz PRIVATE -fsanitize=fuzzer,address,undefined -fno-omit-frame-pointer)
    target_link_options(${name}_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
    set_target_properties(${name}_fuzz PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  endif()
endfunction()

# qd_add_child_folders()
# Adds every folder below the current one that has a CMakeLists.txt (the
# tools, the stand-ins, the test suites: one folder each).
function(qd_add_child_folders)
  file(GLOB children LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(dir ${children})
    if(IS_DIRECTORY ${dir} AND EXISTS ${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()
