# Cross-compiling the Linux program for arm64 with Debian's cross compiler
# (crossbuild-essential-arm64) against the :arm64 development packages of a
# multiarch install (tools/install-deps.sh all brings both).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CROSS_TRIPLET aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${CROSS_TRIPLET}-g++)
# The libraries sit in /usr/lib/aarch64-linux-gnu, beside the build
# machine's own: the multiarch folder is what tells them apart.
set(CMAKE_LIBRARY_ARCHITECTURE ${CROSS_TRIPLET})

# Headers and libraries of the target only; programs (CMake's, pkg-config)
# from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
