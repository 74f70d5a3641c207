# Applied per target so that third-party code is never built with our flags.
function(tagquill_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
    if(TAGQUILL_WERROR)
      target_compile_options(${target} PRIVATE /WX)
    endif()
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(TAGQUILL_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
      # GCC 12 at -O3 reports std::string's own inlined copies as overlapping
      # or out of bounds (GCC bugs 105329, 105651), so the release build would
      # fail on correct code. The warnings are still printed.
      if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
        target_compile_options(${target} PRIVATE -Wno-error=restrict -Wno-error=array-bounds)
      endif()
    endif()
  endif()
endfunction()
