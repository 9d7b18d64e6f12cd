# Installing and Debian packages.
#
#   cmake --install <build> [--prefix DIR]   the plug-in into lib/<triplet>/kelvo/,
#                                            the host tools into bin/, their
#                                            manual pages and the documents
#   cpack -G DEB --config <build>/CPackConfig.cmake
#                                            kelvo_1.6.1_<arch>.deb (the plug-in,
#                                            Multi-Arch: same)
#                                            kelvo-demo_1.6.1_<arch>.deb (the
#                                            stand-in host and the gamepad)
#
# A build configured with the i386 toolchain file gives the i386 packages, the
# native build the amd64 ones. A plug-in loaded by path is not a library for
# the loader's search path: it goes to a private folder (KELVO_PLUGIN_DIR),
# which needs no ldconfig trigger, soname or library package name.

# Installing and packaging take what is built and never start a build
# themselves (the package test runs cpack while other tests run): build first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

install(TARGETS Kelvo LIBRARY DESTINATION ${KELVO_PLUGIN_DIR} COMPONENT plugin)
install(TARGETS kelvo-host kelvo-vjoy RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT demo)

# Compressed as Debian wants them (gzip -9n: no name, no time stamp), made
# when CMake runs.
set(kelvo_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(kelvo_packaging_out ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${kelvo_packaging_out})
foreach(file changelog kelvo-host.1 kelvo-vjoy.1)
  execute_process(COMMAND gzip -9nc ${kelvo_packaging}/${file}
    OUTPUT_FILE ${kelvo_packaging_out}/${file}.gz COMMAND_ERROR_IS_FATAL ANY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${kelvo_packaging}/${file})
endforeach()
install(FILES ${kelvo_packaging_out}/kelvo-host.1.gz ${kelvo_packaging_out}/kelvo-vjoy.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT demo)
foreach(component IN ITEMS plugin demo)
  if(component STREQUAL plugin)
    set(package kelvo)
  else()
    set(package kelvo-demo)
  endif()
  install(FILES ${kelvo_packaging}/copyright ${kelvo_packaging_out}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
endforeach()

# The Debian architecture follows the compiler's word size and target, not
# the machine that builds.
if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86_64|AMD64)$")
  set(KELVO_DEB_ARCH i386)
elseif(CMAKE_SIZEOF_VOID_P EQUAL 8 AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64)$")
  set(KELVO_DEB_ARCH amd64)
else()
  execute_process(COMMAND dpkg --print-architecture
    OUTPUT_VARIABLE KELVO_DEB_ARCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()

# Nobody answers at this address: a release sets the real one.
set(KELVO_PACKAGE_CONTACT "Kelvo developers <kelvo-developers@kelvo.invalid>"
  CACHE STRING "Maintainer of the Debian packages")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kelvo developers")
set(CPACK_PACKAGE_CONTACT ${KELVO_PACKAGE_CONTACT})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL plugin demo)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${KELVO_DEB_ARCH})
set(CPACK_DEBIAN_PACKAGE_SECTION otherosfs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

# Dependencies name packages of the package's own architecture. SDL 1.2 is
# either implementation: classic SDL 1.2 (libsdl1.2debian) or sdl12-compat
# over SDL 2 as the system's SDL 1.2 (libsdl1.2-compat-shim, which also
# provides libsdl1.2debian).
set(kelvo_runtime "libc6 (>= 2.34), libstdc++6 (>= 11), libgcc-s1, \
libsdl1.2debian (>= 1.2.15) | libsdl1.2-compat-shim, libgtk2.0-0 (>= 2.24), libglib2.0-0 (>= 2.56)")

set(CPACK_DEBIAN_PLUGIN_PACKAGE_NAME kelvo)
set(CPACK_COMPONENT_PLUGIN_DESCRIPTION "joystick input plug-in (SDL 1.2, GTK+ 2) for a handheld console host
libKelvo.so gives a host program that runs a handheld game console's
software the console's keypad (eight keys and a direction pad) from the
first joystick, read through SDL 1.2. Its GTK+ 2 settings page in the host's
properties dialog assigns a joystick button to a key when you click the key
and press the button; Kelvo.ini keeps the assignments.
.
The host loads it from /usr/lib/<triplet>/kelvo/libKelvo.so. The i386
package is the one a 32-bit host loads.")
set(CPACK_DEBIAN_PLUGIN_PACKAGE_DEPENDS "${kelvo_runtime}")

set(CPACK_DEBIAN_DEMO_PACKAGE_NAME kelvo-demo)
set(CPACK_COMPONENT_DEMO_DESCRIPTION "stand-in host and on-screen gamepad for trying the Kelvo plug-in
kelvo-host loads the Kelvo joystick plug-in as a host program would, shows
the keypad state it reports and opens its settings page. Without a joystick
it makes a virtual one, driven by kelvo-vjoy, an on-screen gamepad.")
set(CPACK_DEBIAN_DEMO_PACKAGE_DEPENDS
  "kelvo (= ${PROJECT_VERSION}), ${kelvo_runtime}, libgdk-pixbuf-2.0-0 (>= 2.40), libx11-6")

# The plug-in's package is co-installable across architectures (Multi-Arch).
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/DebMultiArch.cmake)

include(CPack)
