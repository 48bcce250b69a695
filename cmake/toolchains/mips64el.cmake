# mips64el, 64-bit MIPS, little-endian: signed char, 113-bit long double
set(DEBIAN_ARCH mips64el)
set(GNU_TYPE mips64el-linux-gnuabi64)
set(PROCESSOR mips64)
set(QEMU_ARCH mips64el)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
