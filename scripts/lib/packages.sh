# Installs the Debian packages named, when any is missing. Quiet when all are
# there; names what is missing when it cannot install (not root).
ensure_packages() {
  missing=""
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing="$missing $p"
    fi
  done
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" != 0 ]; then
    echo "Missing Debian packages:$missing" >&2
    echo "Install them as root: apt-get install$missing" >&2
    return 1
  fi
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get -o DPkg::Lock::Timeout=600 update -qq >/dev/null &&
    apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends $missing >/dev/null ||
    { echo "Could not install:$missing" >&2; return 1; }
}

# What building and testing the native library needs; acl and attr give
# the tests' files ACL entries and extended attributes.
NATIVE_PACKAGES="build-essential cmake pkg-config libsdl1.2-dev libgtk2.0-dev \
libgtest-dev libgmock-dev xvfb xauth binutils acl attr"

# What the package test checks the Debian packages with.
PACKAGE_CHECK_PACKAGES="lintian"

# sdl12-compat, the SDL 1.2 of current distributions (SDL 1.2's API on SDL 2),
# for the second pass of the joystick tests. Not the -shim package: that
# would make it the default SDL 1.2 in place of the classic one the build uses.
# SDL 2 loads libudev at run time without a package relation; where it is
# missing (libudev1:i386 on an amd64 machine) every joystick update tries to
# load it again, with a failed dlopen's allocations, which no user's system has.
native_arch=$(dpkg --print-architecture)
COMPAT_PACKAGES="libsdl1.2-compat:$native_arch libsdl2-2.0-0:$native_arch libudev1:$native_arch"
COMPAT_I386_PACKAGES="libsdl1.2-compat:i386 libsdl2-2.0-0:i386 libudev1:i386"

# The folder that holds sdl12-compat's libSDL-1.2.so.0 for a Debian
# architecture (amd64, i386).
compat_sdl_dir() {
  echo "/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH -a"$1" 2>/dev/null)/sdl12-compat"
}

# What building and testing the 32-bit (i386) library needs on an amd64
# machine: the i386 architecture in dpkg, the multilib compiler, the i386
# runtime of SDL 1.2 (its development package cannot sit beside the native
# one; the native headers serve), GTK+ 2 for i386, and qemu-i386 to run the
# 32-bit tests.
I386_PACKAGES="g++-multilib libsdl1.2debian:i386 libgtk2.0-dev:i386 qemu-user"

# Adds the i386 architecture to dpkg when it is not there yet.
ensure_i386_architecture() {
  [ "$(dpkg --print-architecture)" = i386 ] && return 0
  dpkg --print-foreign-architectures | grep -qx i386 && return 0
  if [ "$(id -u)" != 0 ]; then
    echo "dpkg does not know the i386 architecture." >&2
    echo "As root: dpkg --add-architecture i386 && apt-get update" >&2
    return 1
  fi
  echo "Adding the i386 architecture to dpkg"
  dpkg --add-architecture i386
}

# What the kernel stage (scripts/kernel-test) needs: qemu to boot Debian's
# kernel (downloaded by the stage itself), a static busybox, cpio and kmod for
# its initramfs, and udevd to run in the guest as on a desktop.
KERNEL_STAGE_PACKAGES="qemu-system-x86 busybox-static kmod cpio udev gzip"
