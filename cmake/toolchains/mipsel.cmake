# mipsel, 32-bit MIPS, little-endian: signed char, long double as double
set(DEBIAN_ARCH mipsel)
set(GNU_TYPE mipsel-linux-gnu)
set(PROCESSOR mips)
set(QEMU_ARCH mipsel)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
