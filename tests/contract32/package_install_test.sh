#!/bin/sh
# Builds the Debian packages of a build tree (kelvo: the plug-in; kelvo-demo:
# the stand-in host and the gamepad), checks them with lintian when it is
# installed (any error or warning fails), installs them into a scratch root
# with dpkg-deb -x, and loads the plug-in from there on each SDL 1.2 present:
# classic, and sdl12-compat when installed. Then installs them with dpkg into
# a database of its own, together with the plug-in's package of the other
# architecture when OTHER_BUILD_DIR names a build of it.
#   package_install_test.sh BUILD_DIR ARCH OTHER_BUILD_DIR LOADER [EMULATOR COMMAND...]
# ARCH is the packages' Debian architecture (amd64, i386); OTHER_BUILD_DIR may
# be empty; LOADER is kelvo_package_loader of the same build, run through the
# emulator command when one is given.
set -u
build="$1"
arch="$2"
other_build="$3"
loader="$4"
shift 4
here=$(cd "$(dirname "$0")" && pwd)
triplet=$(dpkg-architecture -qDEB_HOST_MULTIARCH -a"$arch" 2>/dev/null)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kelvo-package-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack"; }
plugin="$scratch/out/kelvo_1.6.1_$arch.deb"
demo="$scratch/out/kelvo-demo_1.6.1_$arch.deb"
for deb in "$plugin" "$demo"; do
  [ -f "$deb" ] || { ls "$scratch/out"; fail "no package $deb"; }
  [ "$(dpkg-deb -f "$deb" Version)" = 1.6.1 ] || fail "Version of $deb"
  [ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "Architecture of $deb"
done
# The plug-in's packages of two architectures install side by side; the
# demo's share /usr/bin, one architecture at a time.
[ "$(dpkg-deb -f "$plugin" Multi-Arch)" = same ] || fail "kelvo is not Multi-Arch: same"
[ "$(dpkg-deb -f "$demo" Multi-Arch)" = no ] || fail "kelvo-demo claims Multi-Arch"
# Either SDL 1.2: the classic library, or sdl12-compat as the system's.
depends=$(dpkg-deb -f "$plugin" Depends)
for runtime in "libsdl1.2debian (>= 1.2.15) | libsdl1.2-compat-shim" libgtk2.0-0; do
  case ", $depends," in *", $runtime"[\ ,]*) ;; *) fail "Depends lacks $runtime: $depends" ;; esac
done
case "$(dpkg-deb -f "$demo" Depends)" in "kelvo (= 1.6.1), "*) ;; *) fail "kelvo-demo does not depend on kelvo" ;; esac

if command -v lintian >/dev/null; then
  # lintian leaves files in TMPDIR: in the scratch folder they go with it.
  mkdir "$scratch/tmp"
  TMPDIR="$scratch/tmp" lintian "$plugin" "$demo" >"$scratch/lintian.log" 2>&1
  if grep -Eq '^[EW]: ' "$scratch/lintian.log"; then
    cat "$scratch/lintian.log"
    fail "lintian: $(grep -Ec '^E: ' "$scratch/lintian.log") errors, $(grep -Ec '^W: ' "$scratch/lintian.log") warnings"
  fi
  echo "lintian: no errors or warnings"
else
  echo "lintian is not installed: packages not checked with it"
fi

root="$scratch/root"
for deb in "$plugin" "$demo"; do dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x $deb"; done
libs=$(cd "$root" && find . -name 'libKelvo.so*')
[ "$libs" = "./usr/lib/$triplet/kelvo/libKelvo.so" ] || fail "libKelvo.so is not (only) in the plug-in folder: '$libs'"
lib="$root/${libs#./}"
"$here/check_elf.sh" "$lib" "$arch" || fail "installed library"
for program in kelvo-host kelvo-vjoy; do
  [ -x "$root/usr/bin/$program" ] || fail "$program not in usr/bin"
  [ -f "$root/usr/share/man/man1/$program.1.gz" ] || fail "no manual page for $program"
done

# Nothing may point the loader back at the build tree.
unset LD_LIBRARY_PATH KELVO_LIBRARY
loaded=$("$@" "$loader" "$lib") || fail "loading the installed library"
echo "$loaded"
case "$loaded" in *"SDL 1.2.15") ;; *) fail "not loaded with classic SDL 1.2: $loaded" ;; esac
compat="/usr/lib/$triplet/sdl12-compat"
if [ -e "$compat/libSDL-1.2.so.0" ]; then
  loaded=$(LD_LIBRARY_PATH=$compat "$@" "$loader" "$lib") || fail "loading the installed library on sdl12-compat"
  echo "$loaded"
  case "$loaded" in *"SDL 1.2.1"[0-9]) fail "not loaded with sdl12-compat: $loaded" ;; esac
fi

# The installed host finds the installed plug-in by itself.
if [ -n "${DISPLAY:-}" ]; then
  (cd "$scratch" && SDL_JOYSTICK_DEVICE="$scratch/none" "$@" "$root/usr/bin/kelvo-host" --no-virtual \
    --seconds 0 >"$scratch/host.log" 2>&1) || { cat "$scratch/host.log"; fail "installed kelvo-host"; }
  grep -q "^library: root/usr/lib/$triplet/kelvo/libKelvo.so$" "$scratch/host.log" ||
    { cat "$scratch/host.log"; fail "installed kelvo-host did not load the installed plug-in"; }
fi
"$here/package_coinstall.sh" "$scratch" "$plugin" "$demo" "$other_build" || fail "installing with dpkg"
echo "kelvo_1.6.1_$arch.deb and kelvo-demo_1.6.1_$arch.deb: plug-in $(echo "$libs" | cut -c2-), Depends: $depends"
