# The Windows package: a zip whose folder holds the programs and the reader
# libraries side by side, as the program looks for them. A user with the reader
# maker's ACR120.dll / ACR120U.dll puts them in place of ours (32-bit zip only).
set(CPACK_GENERATOR ZIP)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_SYSTEM_NAME windows-x64)
else()
  set(CPACK_SYSTEM_NAME windows-x86)
endif()
# A guide of its own, with CR LF line ends, for a Windows user of the zip.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt DESTINATION .)
# The zip's name is also its top folder's; the checks read it from here rather than
# guess it from whatever zips lie in the build folder.
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-${CPACK_SYSTEM_NAME})
file(WRITE ${CMAKE_BINARY_DIR}/package-name.txt "${CPACK_PACKAGE_FILE_NAME}\n")
