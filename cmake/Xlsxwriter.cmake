# libxlsxwriter for the Windows build: Debian's source of the library (the version Linux loads), fetched
# and unpacked by scripts/fetch-xlsxwriter and named by AR4_XLSXWRITER_SOURCE_DIR, compiled with the same
# mingw-w64 tool chain into a static library and linked with mingw's static zlib (libz-mingw-w64-dev), so
# that the programs stay single files without DLLs. Without the source the build writes CSV only.
#
# The library's options: its bundled minizip (no system minizip for mingw); its bundled tmpfileplus, which
# makes the sheets' temporary files in the folder it is given (the C library's tmpfile() of msvcrt makes
# them in the root of the drive, which an ordinary user may not write); no MD5 (it only tells identical
# images apart, and the tables have none), so no crypto library.
include(ExternalProject)

set(AR4_XLSXWRITER_SOURCE_DIR "" CACHE PATH
    "Unpacked libxlsxwriter source for the Windows build (scripts/fetch-xlsxwriter); empty: CSV only")
if(NOT AR4_XLSXWRITER_SOURCE_DIR)
  message(STATUS "AR4_XLSXWRITER_SOURCE_DIR not set: the Windows build writes CSV only")
  return()
endif()
if(NOT EXISTS ${AR4_XLSXWRITER_SOURCE_DIR}/include/xlsxwriter.h)
  message(FATAL_ERROR "AR4_XLSXWRITER_SOURCE_DIR (${AR4_XLSXWRITER_SOURCE_DIR}) holds no libxlsxwriter source")
endif()
# The static zlib only: the import library libz.dll.a beside it would make the programs need zlib1.dll.
find_library(AR4_MINGW_ZLIB NAMES libz.a)
find_path(AR4_MINGW_ZLIB_INCLUDE zlib.h)
if(NOT AR4_MINGW_ZLIB OR NOT AR4_MINGW_ZLIB_INCLUDE)
  message(FATAL_ERROR "no static zlib for mingw-w64 (the package libz-mingw-w64-dev; run scripts/setup)")
endif()

set(prefix ${CMAKE_BINARY_DIR}/third-party/xlsxwriter)
set(library ${prefix}/lib/${CMAKE_STATIC_LIBRARY_PREFIX}xlsxwriter${CMAKE_STATIC_LIBRARY_SUFFIX})
ExternalProject_Add(ar4_xlsxwriter_build
  SOURCE_DIR ${AR4_XLSXWRITER_SOURCE_DIR}
  PREFIX ${CMAKE_BINARY_DIR}/third-party/xlsxwriter-steps
  BINARY_DIR ${CMAKE_BINARY_DIR}/third-party/xlsxwriter-build
  INSTALL_DIR ${prefix}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR>
    -DCMAKE_INSTALL_LIBDIR=lib
    -DBUILD_SHARED_LIBS=OFF
    -DBUILD_TESTS=OFF
    -DBUILD_EXAMPLES=OFF
    -DUSE_SYSTEM_MINIZIP=OFF
    -DUSE_STANDARD_TMPFILE=OFF
    -DUSE_NO_MD5=ON
    -DUSE_OPENSSL_MD5=OFF
    -DZLIB_LIBRARY=${AR4_MINGW_ZLIB}
    -DZLIB_INCLUDE_DIR=${AR4_MINGW_ZLIB_INCLUDE}
  BUILD_BYPRODUCTS ${library}
  # The library's own output is of no interest unless a step fails.
  LOG_CONFIGURE TRUE LOG_BUILD TRUE LOG_INSTALL TRUE LOG_OUTPUT_ON_FAILURE TRUE)

# The headers are installed by the build; the folder must exist when the target is defined.
file(MAKE_DIRECTORY ${prefix}/include)
add_library(ar4_xlsxwriter STATIC IMPORTED GLOBAL)
set_target_properties(ar4_xlsxwriter PROPERTIES
  IMPORTED_LOCATION ${library}
  INTERFACE_INCLUDE_DIRECTORIES ${prefix}/include
  INTERFACE_LINK_LIBRARIES ${AR4_MINGW_ZLIB})
add_dependencies(ar4_xlsxwriter ar4_xlsxwriter_build)
