# The portable core, fernpack and the native unit tests once more as 32-bit x86 Linux
# programs: g++ -m32 from Debian's multilib packages, with the i386 libraries (zlib,
# libpng, libdeflate, libunistring, GoogleTest) from the private root that
# scripts/i386-root.sh unpacks. The C library is the host's 32-bit one (libc6-i386);
# the programs find the root's libraries through their run path, and run natively or
# under the root's qemu-i386 where the kernel refuses 32-bit programs.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
# DT_RPATH, not DT_RUNPATH: the root's libraries find each other (libpng needs libz) too.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32 -Wl,--disable-new-dtags")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
get_filename_component(FERN_I386_ROOT ${CMAKE_CURRENT_LIST_DIR}/../build/i386-root ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH ${FERN_I386_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_BUILD_RPATH ${FERN_I386_ROOT}/usr/lib/i386-linux-gnu ${FERN_I386_ROOT}/lib/i386-linux-gnu)
