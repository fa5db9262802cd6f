# Packages made by CPack from the install rules (cmake/Install.cmake): on Linux a Debian package
# (scripts/package), on Windows a ZIP of the .exe files, the README, the contract and the samples
# (scripts/package-windows). The version is the project's.

set(CPACK_PACKAGE_NAME ar4conv)
set(CPACK_PACKAGE_VENDOR "ar4conv developers")
set(CPACK_PACKAGE_CONTACT "ar4conv developers <ar4conv@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "converter of .ar4 recorder archives for the TrendoraStudio viewer")
# The extended description as Debian shows it: lines shorter than 80 characters.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Reads the data archives (.ar4) of the VR7731, VR7732, VR7733, ЛС 260 and\n"
    "ГРВ-300 recording instruments, checks every cell, shows a diagnostic report,\n"
    "finds where the instrument's clock went back, and writes one run or a date\n"
    "range as the record files and the listing that TrendoraStudio reads.\n"
    ".\n"
    "This package holds the command line ar4conv, for scripts and batch work, and\n"
    "the window program ar4conv-gui, with their manual pages, menu entries and\n"
    "bash completion.")
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # ar4conv_<version>_<architecture>.deb
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The libraries the programs link (C++ run-time, Qt) become the package's dependencies.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The workbook library is loaded by name when a workbook is written, so the computed list misses it.
  if(AR4_HAVE_XLSX)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libxlsxwriter4")
  endif()
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # Menus, the MIME database and the icon caches are refreshed by the triggers of the packages that own
  # them, so the package needs no maintainer scripts.
endif()

include(CPack)
