# Install rules. Included at the end of the top-level CMakeLists.txt, after every program target exists.
#
# Linux (GNUInstallDirs): the programs into bin/, the desktop entries, the MIME type of ".ar4" files,
# the program icon, the manual pages, the bash completion of ar4conv and the documentation with the
# sample archives. Windows: the .exe files with the README, the command-line contract and the samples in
# one folder, which the ZIP package holds.
#
# ar4gen, the archive generator, is a tool of the tests, the benchmarks and the samples: it is not
# part of a normal install or of the package. `cmake --install BUILD --component generator` installs
# it for those who want synthetic archives.
#
# The target ar4_installed builds everything the install needs (the programs, the manual pages), so
# that `cmake --build BUILD --target ar4_installed && cmake --install BUILD` works without the tests.

include(GNUInstallDirs)
set(AR4_DATA ${PROJECT_SOURCE_DIR}/data)
set(AR4_INSTALLED_PROGRAMS ar4conv)
foreach(program ar4conv-gui ar4view)
  if(TARGET ${program})
    list(APPEND AR4_INSTALLED_PROGRAMS ${program})
  endif()
endforeach()
add_custom_target(ar4_installed DEPENDS ${AR4_INSTALLED_PROGRAMS})

if(WIN32)
  install(TARGETS ${AR4_INSTALLED_PROGRAMS} RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/cli.md DESTINATION .)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/samples/ DESTINATION samples)
  return()
endif()

install(TARGETS ${AR4_INSTALLED_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped install (`cmake --install --strip`, the package) also drops the compiler's notes in .comment,
# as Debian strips its programs.
foreach(program ${AR4_INSTALLED_PROGRAMS})
  install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                          \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\"
                  COMMAND_ERROR_IS_FATAL ANY)
endif()")
endforeach()
install(TARGETS ar4gen RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT generator EXCLUDE_FROM_ALL)

# Desktop entries: the converter's window program, and the viewer, which opens ".ar4" files.
foreach(program ar4conv-gui ar4view)
  if(TARGET ${program})
    install(FILES ${AR4_DATA}/desktop/${program}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  endif()
endforeach()
install(FILES ${AR4_DATA}/mime/ar4conv.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)

# One icon for every program: the drawing and the sizes rendered from it (scripts/icons).
install(FILES ${AR4_DATA}/icons/ar4conv.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${AR4_DATA}/icons/png/ar4conv-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME ar4conv.png)
endforeach()

# Manual pages: the version filled in, compressed as Debian installs them (gzip -n: no name or time
# stamp, so the same sources give the same bytes).
find_program(AR4_GZIP gzip REQUIRED)
set(AR4_MAN_PAGES)
foreach(program ${AR4_INSTALLED_PROGRAMS})
  set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
  configure_file(${AR4_DATA}/man/${program}.1.in ${page} @ONLY)
  add_custom_command(OUTPUT ${page}.gz
                     COMMAND ${AR4_GZIP} -9 -n -c ${page} > ${page}.gz
                     DEPENDS ${page}
                     COMMENT "Compressing the manual page ${program}.1")
  list(APPEND AR4_MAN_PAGES ${page}.gz)
endforeach()
add_custom_target(ar4_man_pages ALL DEPENDS ${AR4_MAN_PAGES})
add_dependencies(ar4_installed ar4_man_pages)
install(FILES ${AR4_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES ${AR4_DATA}/completion/ar4conv DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# Documentation (share/doc/ar4conv): the README, the command-line contract, the copyright notice, the
# change log (compressed, as Debian keeps it) and the sample archives to try the programs on.
set(AR4_CHANGELOG ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${AR4_CHANGELOG}
                   COMMAND ${AR4_GZIP} -9 -n -c ${AR4_DATA}/debian/changelog > ${AR4_CHANGELOG}
                   DEPENDS ${AR4_DATA}/debian/changelog
                   COMMENT "Compressing the change log")
add_custom_target(ar4_changelog ALL DEPENDS ${AR4_CHANGELOG})
add_dependencies(ar4_installed ar4_changelog)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/cli.md ${AR4_DATA}/debian/copyright ${AR4_CHANGELOG}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/samples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/samples)

# The installed programs resolve their library symbols at start, so that the whole global offset table
# can be read-only (with the linker's default relro), as Debian builds its programs.
foreach(program ${AR4_INSTALLED_PROGRAMS})
  target_link_options(${program} PRIVATE LINKER:-z,now)
endforeach()
