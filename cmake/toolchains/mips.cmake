# mips, 32-bit MIPS, big-endian: signed char, long double as double
set(DEBIAN_ARCH mips)
set(GNU_TYPE mips-linux-gnu)
set(PROCESSOR mips)
set(QEMU_ARCH mips)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
