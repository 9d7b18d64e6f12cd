# Installing and Debian packages.
#
#   cmake --install <build> [--prefix DIR]   libKelvo.so into the library
#                                            directory, the host tools into bin/
#   cpack -G DEB --config <build>/CPackConfig.cmake
#                                            kelvo_1.6.1_<arch>.deb
#
# A build configured with the i386 toolchain file gives the i386 package, the
# native build the amd64 one. The library goes to the multiarch directory:
# usr/lib/i386-linux-gnu (set by the toolchain file), and for the native build
# usr/lib/x86_64-linux-gnu when configured with -DCMAKE_INSTALL_PREFIX=/usr
# (release packages), usr/lib otherwise.
include(GNUInstallDirs)

# Installing and packaging take what is built and never start a build
# themselves (the package test runs cpack while other tests run): build first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

install(TARGETS Kelvo
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  COMPONENT Runtime)

# The stand-in host and the virtual joystick tool, where this tree has them.
foreach(tool IN ITEMS kelvo-host kelvo-vjoy)
  if(TARGET ${tool})
    install(TARGETS ${tool}
      RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
      COMPONENT Runtime)
  endif()
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

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kelvo developers")
set(CPACK_PACKAGE_CONTACT "Kelvo developers <kelvo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "joystick input plug-in (SDL 1.2, GTK+ 2) for a handheld console host")
set(CPACK_PACKAGE_DESCRIPTION
  "libKelvo.so reads the first joystick through SDL 1.2 and gives the host\n\
the console's keypad state; its GTK+ 2 settings page assigns joystick\n\
buttons to keys. Copy the library into the host's plug-in folder. The\n\
i386 package is the one a 32-bit host loads.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${KELVO_DEB_ARCH})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies name packages of the package's own architecture.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libc6, libstdc++6, libgcc-s1, libsdl1.2debian (>= 1.2.15), libgtk2.0-0 (>= 2.24), libglib2.0-0")
set(CPACK_DEB_COMPONENT_INSTALL OFF)

include(CPack)
