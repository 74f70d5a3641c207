# One helper registers every GoogleTest executable, so all suites are built and
# run the same way: linked with gmock_main, discovered by CTest, and run from
# the shared bin folder where the reader libraries lie.
function(tagquill_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  tagquill_warnings(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gmock_main Threads::Threads)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  if(CMAKE_CROSSCOMPILING)
    # Every start of a program under Wine costs seconds: one CTest test per program,
    # which runs all its cases, rather than one per case. Without a Wine loader of
    # the build's width the tests are only built and linked.
    if(CMAKE_CROSSCOMPILING_EMULATOR)
      add_test(NAME ${name} COMMAND ${name} --gtest_brief=1 WORKING_DIRECTORY ${TAGQUILL_BIN_DIR})
      set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
    endif()
    return()
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${TAGQUILL_BIN_DIR}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
endfunction()

# A Windows test program that needs a display, run under Wine through
# scripts/wine-gui.sh (on Xvfb without one). The runs on a display share one prefix,
# made by the first, whose desktop belongs to one display: they take turns.
function(tagquill_add_wine_gui_test name)
  cmake_parse_arguments(ARG "" "PROGRAM" "LABELS" ${ARGN})
  if(NOT TAGQUILL_WINE_LOADER)
    return()
  endif()
  add_test(NAME ${name}
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-gui.sh ${TAGQUILL_WINE_PREFIXES}/gui
            ${TAGQUILL_WINE_LOADER} $<TARGET_FILE:${ARG_PROGRAM}>
    WORKING_DIRECTORY ${TAGQUILL_BIN_DIR})
  set_tests_properties(${name} PROPERTIES
    LABELS "${ARG_LABELS}" TIMEOUT 180 RESOURCE_LOCK wine_gui_prefix)
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
