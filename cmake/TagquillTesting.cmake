# One helper registers every GoogleTest executable, so all suites are built and
# run the same way: linked with gmock_main, discovered by CTest, and run from
# the shared bin folder where the reader libraries lie.
function(tagquill_add_test name)
  # WINE_ALONE: test-name patterns that each run in a process of their own under Wine.
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS;WINE_ALONE" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  tagquill_warnings(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gmock_main Threads::Threads)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    # Every start of a program under Wine costs seconds: one CTest test per program,
    # which runs all its cases, rather than one per case.
    set(alone_tests "")
    foreach(pattern IN LISTS ARG_WINE_ALONE)
      string(MAKE_C_IDENTIFIER "${pattern}" alone)
      add_test(NAME ${name}_${alone} COMMAND ${name} --gtest_brief=1 --gtest_filter=${pattern}
               WORKING_DIRECTORY ${TAGQUILL_BIN_DIR})
      list(APPEND alone_tests ${name}_${alone})
    endforeach()
    # gtest's filter: everything but those ("*-a:b").
    set(rest_filter "*")
    if(ARG_WINE_ALONE)
      list(JOIN ARG_WINE_ALONE ":" others)
      set(rest_filter "*-${others}")
    endif()
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1 --gtest_filter=${rest_filter}
             WORKING_DIRECTORY ${TAGQUILL_BIN_DIR})
    set_tests_properties(${name} ${alone_tests} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
    return()
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${TAGQUILL_BIN_DIR}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
endfunction()

# Adds every immediate subfolder of the current folder that has a CMakeLists.txt,
# so each area keeps its tests in a folder of its own.
function(tagquill_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
