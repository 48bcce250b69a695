# arm64, 64-bit ARM: unsigned char, 113-bit long double
set(DEBIAN_ARCH arm64)
set(GNU_TYPE aarch64-linux-gnu)
set(PROCESSOR aarch64)
set(QEMU_ARCH aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
