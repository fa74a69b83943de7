# Linux arm64, cross-compiled with Debian's aarch64-linux-gnu toolchain.
# Tests run through qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(MSPFORGE_QEMU NAMES qemu-aarch64 qemu-aarch64-static)
if(MSPFORGE_QEMU)
  # Once Debian's arm64 libraries are installed (zlib1g-dev:arm64 brings
  # libc6:arm64), the loader would take them from the host's ld.so.cache
  # mixed with the cross toolchain's and hang; the library path puts the
  # cross toolchain's own first, then the multiarch directory for zlib.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MSPFORGE_QEMU} -L /usr/aarch64-linux-gnu
      -E LD_LIBRARY_PATH=/usr/aarch64-linux-gnu/lib:/usr/lib/aarch64-linux-gnu)
  # How the tests start the binary themselves: through qemu, with argv[0]
  # set to what a user types (qemu's -0).
  set(MSPFORGE_TEST_LAUNCHER ${CMAKE_CROSSCOMPILING_EMULATOR} -0 mspforge)
endif()
