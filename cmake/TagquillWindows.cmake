# The mingw-w64 cross build: tests run under Wine, GoogleTest comes from the
# sources Debian's googletest package ships (its binaries are Linux ones).

# scripts/wine.sh knows where the loaders are and makes the prefixes: the tests,
# the check scripts and the window runs all use it, for either build.
set(TAGQUILL_WINE ${PROJECT_SOURCE_DIR}/scripts/wine.sh)
math(EXPR TAGQUILL_WINE_BITS "${CMAKE_SIZEOF_VOID_P} * 8")
execute_process(COMMAND ${TAGQUILL_WINE} loader ${TAGQUILL_WINE_BITS}
                OUTPUT_VARIABLE TAGQUILL_WINE_LOADER OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE wine_missing ERROR_QUIET)
if(wine_missing)
  message(STATUS "No ${TAGQUILL_WINE_BITS}-bit Wine loader: the tests are built, not registered")
  unset(TAGQUILL_WINE_LOADER)
else()
  # The presets share one folder of prefixes (one prefix runs 32- and 64-bit
  # programs), so each is made once for both builds.
  set(TAGQUILL_WINE_PREFIXES ${CMAKE_BINARY_DIR}/wine
      CACHE PATH "Folder of the Wine prefixes the tests run in")
  set(TAGQUILL_WINEPREFIX ${TAGQUILL_WINE_PREFIXES}/tests)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAGQUILL_WINE} run ${TAGQUILL_WINE_BITS} ${TAGQUILL_WINEPREFIX})
  # Made here rather than by the first test, so that no test's time includes it.
  execute_process(COMMAND ${TAGQUILL_WINE} in ${TAGQUILL_WINEPREFIX} true
                  RESULT_VARIABLE wine_prefix_failed)
  if(wine_prefix_failed)
    message(FATAL_ERROR "Could not make the Wine prefix ${TAGQUILL_WINEPREFIX}")
  endif()
endif()

# nlohmann-json is header-only, but its package names /usr/include, which would
# put the build machine's C library headers before mingw's: a folder of its own.
set(json_root ${CMAKE_BINARY_DIR}/third_party_include)
file(MAKE_DIRECTORY ${json_root})
file(CREATE_LINK /usr/include/nlohmann ${json_root}/nlohmann SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json INTERFACE ${json_root})

if(TAGQUILL_BUILD_TESTS)
  set(TAGQUILL_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(${TAGQUILL_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # The source tree defines the GTest:: names itself.
endif()
