# armhf, 32-bit ARM, hard float: unsigned char, long double as double
set(DEBIAN_ARCH armhf)
set(GNU_TYPE arm-linux-gnueabihf)
set(PROCESSOR armv7l)
set(QEMU_ARCH arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
