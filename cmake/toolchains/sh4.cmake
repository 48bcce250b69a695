# sh4, 32-bit SuperH, little-endian: signed char, long double as double
set(DEBIAN_ARCH sh4)
set(GNU_TYPE sh4-linux-gnu)
set(PROCESSOR sh4)
set(QEMU_ARCH sh4)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
