# riscv64, 64-bit RISC-V: unsigned char, 113-bit long double
set(DEBIAN_ARCH riscv64)
set(GNU_TYPE riscv64-linux-gnu)
set(PROCESSOR riscv64)
set(QEMU_ARCH riscv64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
