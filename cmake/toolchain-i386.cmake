# 32-bit (i386) build on an amd64 Debian machine: the library the host's
# 32-bit program loads.
#
#   cmake -S . -B build-i386 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i386.cmake
#
# Needs (dpkg --add-architecture i386 first): g++-multilib,
# libsdl1.2debian:i386, libgtk2.0-dev:i386, and qemu-user to run the tests.
# The i386 SDL development package conflicts with the native one, so the
# native SDL headers (which carry no word-size settings) are used with the
# i386 runtime library. Programs built here run through qemu-i386, which is
# what CTest and test discovery use as the emulator.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i386)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
# Large-file interfaces: under qemu-i386 a 32-bit readdir() on this file
# system otherwise fails with EOVERFLOW.
set(CMAKE_C_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")

# pkg-config reads only the i386 .pc files (GTK+ 2 and its stack).
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

set(KELVO_SDL_LIBRARY /usr/lib/i386-linux-gnu/libSDL-1.2.so.0 CACHE FILEPATH
  "SDL 1.2 library to link instead of pkg-config's")
set(KELVO_SDL_INCLUDE_DIR /usr/include/SDL CACHE PATH
  "SDL 1.2 headers to use instead of pkg-config's")

# Installs go to the i386 multiarch library directory (GNUInstallDirs picks
# it only for native builds).
set(CMAKE_INSTALL_LIBDIR lib/i386-linux-gnu CACHE PATH "Object code libraries (lib/i386-linux-gnu)")

find_program(KELVO_QEMU_I386 qemu-i386)
if(NOT KELVO_QEMU_I386)
  set(KELVO_QEMU_I386 qemu-i386)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${KELVO_QEMU_I386})

