# m68k, Motorola 68020 and up, big-endian: signed char, the 68881's extended long double
set(DEBIAN_ARCH m68k)
set(GNU_TYPE m68k-linux-gnu)
set(PROCESSOR m68k)
set(QEMU_ARCH m68k)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
