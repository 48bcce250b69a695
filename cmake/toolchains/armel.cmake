# armel, 32-bit ARM, soft float: unsigned char, long double as double
set(DEBIAN_ARCH armel)
set(GNU_TYPE arm-linux-gnueabi)
set(PROCESSOR armv5tel)
set(QEMU_ARCH arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
