# The mingw-w64 cross build: tests run under Wine, GoogleTest comes from the
# sources Debian's googletest package ships (its binaries are Linux ones).

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  # Debian's wine64 keeps its loader out of PATH.
  find_program(TAGQUILL_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(TAGQUILL_WINE64 NAMES wine64)
  if(TAGQUILL_WINE64)
    # A prefix of the build's own, quiet, created once here so that parallel
    # test runs never race to create it.
    set(TAGQUILL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
    set(CMAKE_CROSSCOMPILING_EMULATOR
        ${CMAKE_COMMAND} -E env WINEPREFIX=${TAGQUILL_WINEPREFIX} WINEDEBUG=-all ${TAGQUILL_WINE64})
    if(NOT EXISTS ${TAGQUILL_WINEPREFIX}/system.reg)
      message(STATUS "Creating the Wine prefix ${TAGQUILL_WINEPREFIX}")
      execute_process(COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} wineboot --init
                      RESULT_VARIABLE wineboot_result OUTPUT_QUIET ERROR_QUIET)
      execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${TAGQUILL_WINEPREFIX}
                              wineserver --wait OUTPUT_QUIET ERROR_QUIET)
    endif()
  endif()
endif()

# nlohmann-json and CLI11 are header-only, but their packages name /usr/include,
# which would put the build machine's C library headers before mingw's: a folder
# of their own.
set(header_root ${CMAKE_BINARY_DIR}/third_party_include)
file(MAKE_DIRECTORY ${header_root})
file(CREATE_LINK /usr/include/nlohmann ${header_root}/nlohmann SYMBOLIC)
file(CREATE_LINK /usr/include/CLI ${header_root}/CLI SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json INTERFACE ${header_root})
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 INTERFACE ${header_root})

if(TAGQUILL_BUILD_TESTS)
  set(TAGQUILL_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(${TAGQUILL_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # The source tree defines the GTest:: names itself.
endif()
