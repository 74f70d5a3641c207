# Names a reader library target's file as the program looks for it: lib<base>.so
# on POSIX, <BASE>.dll on Windows, where the maker's files are ACR120.dll and
# ACR120U.dll. On 32-bit Windows the __stdcall functions are exported under their
# plain names (ACR120_Open, not ACR120_Open@4), as GetProcAddress asks for them.
# `folder` is where the file goes (empty: the shared bin folder).
function(tagquill_reader_library target base folder)
  if(WIN32)
    string(TOUPPER ${base} upper)
    set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${upper})
    target_link_options(${target} PRIVATE -Wl,--kill-at)
  else()
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${base})
  endif()
  if(folder)
    # A DLL is a run-time file (its import library an archive), a .so a library file.
    set_target_properties(${target} PROPERTIES
      LIBRARY_OUTPUT_DIRECTORY ${folder} RUNTIME_OUTPUT_DIRECTORY ${folder}
      ARCHIVE_OUTPUT_DIRECTORY ${folder})
  endif()
endfunction()
