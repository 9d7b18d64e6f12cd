#!/bin/sh
# Builds the Debian package of a build tree, installs it into a scratch root
# with dpkg-deb -x, and loads the library from there:
#   package_install_test.sh BUILD_DIR ARCH LOADER [EMULATOR COMMAND...]
# ARCH is the package's Debian architecture (amd64, i386); LOADER is
# kelvo_package_loader of the same build, run through the emulator command
# when one is given.
set -u
build="$1"
arch="$2"
loader="$3"
shift 3
here=$(cd "$(dirname "$0")" && pwd)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kelvo-package-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack"; }
deb="$scratch/out/kelvo_1.6.1_$arch.deb"
[ -f "$deb" ] || { ls "$scratch/out"; fail "no package $deb"; }

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = kelvo ] || fail "Package: $(field Package)"
[ "$(field Version)" = 1.6.1 ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
for runtime in libsdl1.2debian libgtk2.0-0; do
  echo "$depends" | grep -Eq "(^|, )$runtime( |,|$)" || fail "Depends lacks $runtime: $depends"
done

root="$scratch/root"
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"
libs=$(cd "$root" && find . -name libKelvo.so)
[ "$(echo "$libs" | wc -w)" = 1 ] || fail "libKelvo.so in the package: '$libs'"
case "$libs" in
  ./usr/lib/*) ;;
  *) fail "libKelvo.so is not in a library directory: $libs" ;;
esac
lib="$root/${libs#./}"
"$here/check_elf.sh" "$lib" "$arch" || fail "installed library"
[ -x "$root/usr/bin/kelvo-host" ] || fail "kelvo-host not in usr/bin"

# Nothing may point the loader back at the build tree.
unset LD_LIBRARY_PATH KELVO_LIBRARY
"$@" "$loader" "$lib" || fail "loading the installed library"
echo "kelvo_1.6.1_$arch.deb: $(echo "$libs" | cut -c2-), Depends: $depends"
