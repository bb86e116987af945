# Builds the launcher for aarch64 Linux on an x86-64 Linux machine with Debian's cross compiler
# (g++-aarch64-linux-gnu, which tools/install-deps installs): a launcher of another
# architecture than the host's, for the tests of runtimes linked for that architecture.
#
#   cmake -S . -B build-linux-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/linux-aarch64.cmake \
#         -DLAUNCHER_TESTS=OFF
#
# Nothing built here runs here, so the tests stay off.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# Debian's cross libraries and headers live under /usr/aarch64-linux-gnu.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
