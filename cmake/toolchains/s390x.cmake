# s390x, IBM Z: big-endian, unsigned char, 113-bit long double
set(DEBIAN_ARCH s390x)
set(GNU_TYPE s390x-linux-gnu)
set(PROCESSOR s390x)
set(QEMU_ARCH s390x)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
