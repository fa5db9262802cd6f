# Cross build for 64-bit Windows with mingw-w64 (posix threads model), run through Wine.
#   cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The programs link libstdc++, libgcc and winpthread statically, so they need no DLLs beside the
# system's own. CTest runs the test programs through Wine (CMAKE_CROSSCOMPILING_EMULATOR).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(AR4_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${AR4_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${AR4_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${AR4_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${AR4_MINGW_TRIPLET}-gcc-ar-posix CACHE FILEPATH "archiver")
set(CMAKE_RANLIB ${AR4_MINGW_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "ranlib")

# The Qt window program is not built for Windows; src/win32 is its native counterpart there.
set(AR4_BUILD_GUI OFF CACHE BOOL "Build the Qt window program")
# The benchmarks measure the Linux build.
set(AR4_BUILD_BENCH OFF CACHE BOOL "Build the benchmarks")

# Only the target's own headers and libraries; programs of the build machine from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${AR4_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Fully static C and C++ run-times (libstdc++, libgcc, winpthread).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Unicode Windows API by default; no min/max macros from <windows.h>.
set(CMAKE_CXX_FLAGS_INIT "-DUNICODE -D_UNICODE -DNOMINMAX")

find_program(AR4_WINE NAMES wine wine64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${AR4_WINE})

# CLI11 and nlohmann-json are header-only. Their Debian packages describe /usr/include as the include
# folder, which would put the build machine's C library headers in front of mingw's own. Instead each
# gets a small package description whose include folder holds only a link to its own header folder.
function(ar4_header_only_package package target header_folder)
  set(shim ${CMAKE_BINARY_DIR}/mingw-header-packages)
  if(NOT EXISTS ${shim}/include/${header_folder})
    file(MAKE_DIRECTORY ${shim}/include)
    file(CREATE_LINK /usr/include/${header_folder} ${shim}/include/${header_folder} SYMBOLIC)
  endif()
  file(WRITE ${shim}/${package}/${package}Config.cmake
       "if(NOT TARGET ${target})\n"
       "  add_library(${target} INTERFACE IMPORTED)\n"
       "  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES \"${shim}/include\")\n"
       "endif()\n"
       "set(${package}_FOUND TRUE)\n")
  # The version check is the package's own.
  configure_file(/usr/share/cmake/${package}/${package}ConfigVersion.cmake
                 ${shim}/${package}/${package}ConfigVersion.cmake COPYONLY)
  set(${package}_DIR ${shim}/${package} CACHE PATH "header-only package for the Windows build" FORCE)
endfunction()

if(CMAKE_BINARY_DIR AND NOT CMAKE_BINARY_DIR MATCHES "/CMakeFiles/CMakeScratch/")
  ar4_header_only_package(CLI11 CLI11::CLI11 CLI)
  ar4_header_only_package(nlohmann_json nlohmann_json::nlohmann_json nlohmann)
endif()
