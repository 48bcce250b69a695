# sparc64, 64-bit SPARC, big-endian: signed char, 113-bit long double
set(DEBIAN_ARCH sparc64)
set(GNU_TYPE sparc64-linux-gnu)
set(PROCESSOR sparc64)
set(QEMU_ARCH sparc64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
