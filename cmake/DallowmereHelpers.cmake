# One static library per subsystem folder: every .cpp/.h/.ui in the folder belongs to it,
# so adding a class never means editing a build file.
function(dm_add_subsystem_library name)
  cmake_parse_arguments(ARG "" "" "LIBS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*.ui)
  foreach(ex IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${ex})
  endforeach()
  if(NOT sources MATCHES "\\.cpp")
    # A subsystem that has no code yet still links, so its dependants build.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_LIBS})
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
endfunction()

set(DM_ISOLATE ${PROJECT_SOURCE_DIR}/scripts/isolate.sh)

# dm_add_test(name SOURCES a.cpp ... LIBS lib ... [LABELS l ...])
# The sanitizer build (DALLOWMERE_SANITIZE) builds and runs every test.
function(dm_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  if(DALLOWMERE_TEST_ISOLATION)
    add_test(NAME ${name} COMMAND ${DM_ISOLATE} $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_FORCE_STDERR_LOGGING=1;ASAN_OPTIONS=detect_leaks=0"
    TIMEOUT 300
    LABELS "${ARG_LABELS}")
endfunction()

# dm_add_folder_tests(LIBS lib ...): every tst_*.cpp in the calling folder becomes one test
# executable; the folder's other .cpp/.h files are shared helpers compiled into each test.
# A fuzzing build (DALLOWMERE_FUZZ) builds the fuzz targets only.
function(dm_add_folder_tests)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  if(DALLOWMERE_FUZZ)
    return()
  endif()
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
  file(GLOB helpers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  list(REMOVE_ITEM helpers ${tests})
  foreach(src IN LISTS tests)
    get_filename_component(name ${src} NAME_WE)
    dm_add_test(${name} SOURCES ${src} ${helpers} LIBS ${ARG_LIBS})
  endforeach()
endfunction()

# dm_add_fuzz_target(name SOURCES a.cpp ... LIBS lib ... SEEDER tool [RUNS n] [OPTIONS -flag ...])
# A libFuzzer executable, plus a test of the fuzz build that has the seeder write the seed
# corpus, replays every seed through the target and then fuzzes a short, fixed-seed run of
# RUNS inputs (default 20000), both with the libFuzzer OPTIONS given (memory bounds, say). A
# target that no longer links, or a seed that crashes, fails the fuzz build's test run. Every
# target joins dm_fuzz_targets, which builds only them.
function(dm_add_fuzz_target name)
  cmake_parse_arguments(ARG "" "SEEDER;RUNS" "SOURCES;LIBS;OPTIONS" ${ARGN})
  if(NOT ARG_RUNS)
    set(ARG_RUNS 20000)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  add_dependencies(dm_fuzz_targets ${name} ${ARG_SEEDER})
  set(work ${CMAKE_CURRENT_BINARY_DIR}/${name}-run)
  add_test(NAME ${name}_seeds
           COMMAND ${DM_ISOLATE} ${CMAKE_COMMAND} -DFUZZER=$<TARGET_FILE:${name}>
                   -DSEEDER=$<TARGET_FILE:${ARG_SEEDER}> -DWORK=${work} -DRUNS=${ARG_RUNS}
                   "-DOPTIONS=${ARG_OPTIONS}" -P ${PROJECT_SOURCE_DIR}/cmake/FuzzSeedRun.cmake)
  set_tests_properties(${name}_seeds PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=0"
    TIMEOUT 300 LABELS fuzz)
endfunction()
