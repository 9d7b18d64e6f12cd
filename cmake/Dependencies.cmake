# SDL 1.2 and GTK+ 2 come from pkg-config. A cross build (the 32-bit one) may
# name the SDL library and headers directly, because the i386 SDL development
# package cannot be installed beside the native one.
option(KELVO_BUILD_TESTS "Build the test suite" ON)

set(KELVO_SDL_LIBRARY "" CACHE FILEPATH "SDL 1.2 library to link instead of pkg-config's")
set(KELVO_SDL_INCLUDE_DIR "" CACHE PATH "SDL 1.2 headers to use instead of pkg-config's")

if(KELVO_SDL_LIBRARY)
  add_library(kelvo_sdl INTERFACE)
  target_include_directories(kelvo_sdl INTERFACE ${KELVO_SDL_INCLUDE_DIR})
  target_compile_definitions(kelvo_sdl INTERFACE _GNU_SOURCE=1 _REENTRANT)
  target_link_libraries(kelvo_sdl INTERFACE ${KELVO_SDL_LIBRARY} pthread)
else()
  pkg_check_modules(SDL REQUIRED IMPORTED_TARGET sdl)
  add_library(kelvo_sdl INTERFACE)
  target_link_libraries(kelvo_sdl INTERFACE PkgConfig::SDL)
endif()

pkg_check_modules(GTK2 REQUIRED IMPORTED_TARGET gtk+-2.0)
add_library(kelvo_gtk INTERFACE)
target_link_libraries(kelvo_gtk INTERFACE PkgConfig::GTK2)
