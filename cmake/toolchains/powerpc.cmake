# powerpc, 32-bit POWER, big-endian: unsigned char, double-double long double
set(DEBIAN_ARCH powerpc)
set(GNU_TYPE powerpc-linux-gnu)
set(PROCESSOR ppc)
set(QEMU_ARCH ppc)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
