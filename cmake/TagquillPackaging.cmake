# What `cmake --install` puts where, and the packages CPack makes from it.
#
# The programs and the reader libraries share one folder, because the programs
# look for the libraries beside their own executable:
#   Linux:   <prefix>/libexec/tagquill/, with the commands linked into <prefix>/bin,
#            plus the desktop entry, the icon, the AppStream metadata and the man
#            pages; `--target package` makes a Debian package of it.
#   Windows: the root of the install tree (the zip's top folder).
include(GNUInstallDirs)

if(WIN32)
  set(TAGQUILL_INSTALL_PRIVATE_DIR "." CACHE STRING "Folder of the programs and reader libraries")
else()
  # The package's own folder for programs others do not call and libraries only
  # they load: nothing there concerns the dynamic linker's cache (no ldconfig).
  set(TAGQUILL_INSTALL_PRIVATE_DIR "libexec/tagquill" CACHE STRING
      "Folder of the programs and reader libraries, relative to the prefix")
endif()

# Whichever of the programs this configuration builds (the window needs a
# toolkit; the command-line tools never do).
set(tagquill_programs "")
foreach(program IN ITEMS tagquill tagquill-notice tagquill-vreader)
  if(TARGET ${program})
    list(APPEND tagquill_programs ${program})
  endif()
endforeach()
install(TARGETS ${tagquill_programs} RUNTIME DESTINATION ${TAGQUILL_INSTALL_PRIVATE_DIR})
# Shared libraries are LIBRARY on ELF systems and RUNTIME (the DLL) on Windows.
install(TARGETS acr120 acr120u
  LIBRARY DESTINATION ${TAGQUILL_INSTALL_PRIVATE_DIR}
  RUNTIME DESTINATION ${TAGQUILL_INSTALL_PRIVATE_DIR})

if(UNIX AND NOT APPLE)
  set(app_id org.tagquill.Tagquill)
  set(linux_dir ${PROJECT_SOURCE_DIR}/packaging/linux)
  set(staging ${CMAKE_BINARY_DIR}/packaging)
  file(MAKE_DIRECTORY ${staging}/bin)

  # The commands on the PATH are relative symbolic links into the private
  # folder; the programs resolve their own path, so they still find the
  # libraries beside the real file.
  file(RELATIVE_PATH to_private /${CMAKE_INSTALL_BINDIR} /${TAGQUILL_INSTALL_PRIVATE_DIR})
  foreach(program IN LISTS tagquill_programs)
    file(CREATE_LINK ${to_private}/${program} ${staging}/bin/${program} SYMBOLIC)
    install(FILES ${staging}/bin/${program} DESTINATION ${CMAKE_INSTALL_BINDIR})
  endforeach()

  if(TARGET tagquill)
    install(FILES ${linux_dir}/${app_id}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${linux_dir}/${app_id}.svg
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    configure_file(${linux_dir}/${app_id}.metainfo.xml ${staging}/${app_id}.metainfo.xml @ONLY)
    install(FILES ${staging}/${app_id}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  endif()

  # Man pages, compressed as Debian's policy wants them.
  find_program(TAGQUILL_GZIP gzip)
  foreach(program IN LISTS tagquill_programs)
    set(page ${PROJECT_SOURCE_DIR}/docs/man/${program}.1)
    if(TAGQUILL_GZIP)
      add_custom_command(OUTPUT ${staging}/${program}.1.gz
        COMMAND ${TAGQUILL_GZIP} -9 -n -c ${page} > ${staging}/${program}.1.gz
        DEPENDS ${page} VERBATIM)
      list(APPEND man_pages ${staging}/${program}.1.gz)
    else()
      list(APPEND man_pages ${page})
    endif()
  endforeach()
  add_custom_target(tagquill_man_pages ALL DEPENDS ${man_pages})
  install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

  # What Debian wants of every package: the licence as its copyright file and a
  # changelog, compressed, in its documentation folder.
  set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/tagquill)
  install(FILES ${linux_dir}/copyright DESTINATION ${doc_dir})
  if(TAGQUILL_GZIP)
    add_custom_command(OUTPUT ${staging}/changelog.gz
      COMMAND ${TAGQUILL_GZIP} -9 -n -c ${linux_dir}/changelog > ${staging}/changelog.gz
      DEPENDS ${linux_dir}/changelog VERBATIM)
    add_custom_target(tagquill_changelog ALL DEPENDS ${staging}/changelog.gz)
    install(FILES ${staging}/changelog.gz DESTINATION ${doc_dir})
  endif()

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_NAME tagquill)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # Every ELF file's libraries become Depends. The reader libraries need no
  # entry: the programs load them by path at run time, not through the linker.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The USB reader library loads pcsc-lite when it is there, for PC/SC readers.
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "pcscd, libpcsclite1")
  # Qt's own button texts in Russian; without them a Russian box has English buttons.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
endif()

set(CPACK_PACKAGE_NAME tagquill)
set(CPACK_PACKAGE_VENDOR "Tagquill developers")
set(TAGQUILL_PACKAGE_CONTACT "Tagquill developers <tagquill@example.org>" CACHE STRING
    "Maintainer of the packages: name and address")
set(CPACK_PACKAGE_CONTACT ${TAGQUILL_PACKAGE_CONTACT})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Keep a notice on a MIFARE Classic card")
set(CPACK_PACKAGE_DESCRIPTION
    "Tagquill keeps one free-form text, the notice, on a MIFARE Classic 1K or 4K
card and lets you load, edit and save it through an ACS ACR120 reader (serial
or USB), and replace the card's access key. tagquill-notice does the same from
scripts and for batches of cards. The package's reader libraries are a virtual
reader, managed with tagquill-vreader, whose USB library also serves PC/SC
readers (pcscd); the reader maker's libraries may take their place.")
set(CPACK_STRIP_FILES ON)

if(WIN32 AND EXISTS ${CMAKE_CURRENT_LIST_DIR}/TagquillPackageWindows.cmake)
  include(${CMAKE_CURRENT_LIST_DIR}/TagquillPackageWindows.cmake)
endif()
include(CPack)
