# SPDX-FileCopyrightText: 2026 The Tavimo developers
# SPDX-License-Identifier: MIT

# Cross-compiles for one Debian architecture with Debian's own cross compiler
# (g++-TRIPLE) and runs what it builds under qemu-user, which needs no
# binfmt_misc when started as `qemu-ARCH -L /usr/TRIPLE PROGRAM`.
# TAVIMO_ARCH is the Debian name of the architecture, from the cache or the
# environment: i386, armhf, arm64, ppc64el, riscv64 or s390x.
if(NOT TAVIMO_ARCH)
  set(TAVIMO_ARCH "$ENV{TAVIMO_ARCH}")
endif()
set(TAVIMO_ARCH "${TAVIMO_ARCH}" CACHE STRING "Debian architecture to build for")
# The compiler checks configure in projects of their own, which see only this.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TAVIMO_ARCH)

# Debian name, GNU triple, qemu-user's name, the processor.
set(tavimo_architectures
  "i386 i686-linux-gnu i386 i686"
  "armhf arm-linux-gnueabihf arm armv7l"
  "arm64 aarch64-linux-gnu aarch64 aarch64"
  "ppc64el powerpc64le-linux-gnu ppc64le ppc64le"
  "riscv64 riscv64-linux-gnu riscv64 riscv64"
  "s390x s390x-linux-gnu s390x s390x")
foreach(entry IN LISTS tavimo_architectures)
  string(REPLACE " " ";" fields "${entry}")
  list(GET fields 0 name)
  if(name STREQUAL TAVIMO_ARCH)
    list(GET fields 1 triple)
    list(GET fields 2 qemu)
    list(GET fields 3 processor)
  endif()
endforeach()
if(NOT triple)
  message(FATAL_ERROR "TAVIMO_ARCH is \"${TAVIMO_ARCH}\": set it to i386, armhf, arm64, ppc64el, riscv64 or s390x")
endif()

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${processor})
set(CMAKE_C_COMPILER ${triple}-gcc)
set(CMAKE_CXX_COMPILER ${triple}-g++)
# The target's libraries come from the cross compiler's folder, never from
# the host's library cache: that one lists the host's own 32-bit x86 libraries
# (libc6-i386), a different C library build than the cross one, and the two
# mixed make a child process spin after fork.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${qemu} -L /usr/${triple} -E LD_LIBRARY_PATH=/usr/${triple}/lib)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
