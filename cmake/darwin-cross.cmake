# Builds the macOS executable on a Linux machine: the project's own if(APPLE) branch, compiled
# and linked by Zig, which carries the macOS C headers, the libSystem link stubs and its own
# libc++. One architecture per build directory: pass -DCMAKE_OSX_ARCHITECTURES=x86_64 or
# arm64 (make macos builds both and joins them with llvm-lipo-14).
#
#   cmake -S . -B build-macos/arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/darwin-cross.cmake \
#         -DCMAKE_OSX_ARCHITECTURES=arm64
#
# The compiler wrappers find Zig at $LAUNCHER_ZIG, else where `tools/install-deps --macos`
# puts it.
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_VERSION 20.0) # macOS 11

set(CMAKE_C_COMPILER ${CMAKE_CURRENT_LIST_DIR}/zig-cc)
set(CMAKE_CXX_COMPILER ${CMAKE_CURRENT_LIST_DIR}/zig-c++)
# llvm-ar writes the archive index in the Mach-O flavour when its members are Mach-O; the
# ranlib wrapper drops the options that only Apple's ranlib knows.
find_program(CMAKE_AR NAMES llvm-ar-14 llvm-ar REQUIRED)
set(CMAKE_RANLIB ${CMAKE_CURRENT_LIST_DIR}/darwin-ranlib)
# Nothing is installed from here, so no install names are rewritten.
set(CMAKE_INSTALL_NAME_TOOL /bin/true)

# There is no SDK: Zig brings the C library, and the frameworks are text stubs kept beside
# this file (the linker only needs each framework's install name; the compiler, the few
# declarations that the code uses).
set(CMAKE_OSX_SYSROOT "" CACHE PATH "" FORCE)
set(CMAKE_CXX_FLAGS_INIT "-F${CMAKE_CURRENT_LIST_DIR}/darwin-stubs")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-F${CMAKE_CURRENT_LIST_DIR}/darwin-stubs")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-F${CMAKE_CURRENT_LIST_DIR}/darwin-stubs")

# The system's zlib, for the check: its link stub beside this file, its header among Zig's.
set(ZLIB_LIBRARY ${CMAKE_CURRENT_LIST_DIR}/darwin-stubs/libz.tbd CACHE FILEPATH "")
if(DEFINED ENV{LAUNCHER_ZIG})
  get_filename_component(LAUNCHER_ZIG_DIR "$ENV{LAUNCHER_ZIG}" DIRECTORY)
elseif(DEFINED ENV{XDG_CACHE_HOME})
  set(LAUNCHER_ZIG_DIR "$ENV{XDG_CACHE_HOME}/applauncher/zig-0.11.0")
else()
  set(LAUNCHER_ZIG_DIR "$ENV{HOME}/.cache/applauncher/zig-0.11.0")
endif()
set(ZLIB_INCLUDE_DIR ${LAUNCHER_ZIG_DIR}/lib/libc/include/any-macos-any CACHE PATH "")

# Nothing built here can run here.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
