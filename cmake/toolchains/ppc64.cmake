# ppc64, 64-bit POWER, big-endian: unsigned char, double-double long double
set(DEBIAN_ARCH ppc64)
set(GNU_TYPE powerpc64-linux-gnu)
set(PROCESSOR ppc64)
set(QEMU_ARCH ppc64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
