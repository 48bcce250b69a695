# hppa, 32-bit PA-RISC, big-endian: signed char, long double as double
set(DEBIAN_ARCH hppa)
set(GNU_TYPE hppa-linux-gnu)
set(PROCESSOR parisc)
set(QEMU_ARCH hppa)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
