# A cross build with Debian's cross compilers, for the architecture that
# the including file names: DEBIAN_ARCH (Debian's name, which its package
# takes), GNU_TYPE (the compilers' prefix and the cross tree's folder),
# PROCESSOR and QEMU_ARCH. The tests run under qemu-user with the target's
# libraries. Debian packages: g++-GNU_TYPE and qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${PROCESSOR})
set(CMAKE_C_COMPILER ${GNU_TYPE}-gcc)
set(CMAKE_CXX_COMPILER ${GNU_TYPE}-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${QEMU_ARCH} -L /usr/${GNU_TYPE})

# Libraries and headers from the target's tree only; programs from ours.
set(CMAKE_FIND_ROOT_PATH /usr/${GNU_TYPE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
