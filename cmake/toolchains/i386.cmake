# i386, 32-bit x86: the x87 extended long double
set(DEBIAN_ARCH i386)
set(GNU_TYPE i686-linux-gnu)
set(PROCESSOR i686)
set(QEMU_ARCH i386)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
