# ppc64el, 64-bit POWER, little-endian: unsigned char, double-double long double
set(DEBIAN_ARCH ppc64el)
set(GNU_TYPE powerpc64le-linux-gnu)
set(PROCESSOR ppc64le)
set(QEMU_ARCH ppc64le)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
