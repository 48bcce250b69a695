# alpha, 64-bit Alpha: signed char, 113-bit long double
set(DEBIAN_ARCH alpha)
set(GNU_TYPE alpha-linux-gnu)
set(PROCESSOR alpha)
set(QEMU_ARCH alpha)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
