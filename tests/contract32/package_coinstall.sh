#!/bin/sh
# Installs a build's packages with dpkg into a database of its own (no
# system is touched), beside the plug-in's package of the other architecture
# when another build is named, and checks that dpkg lists every one installed
# and that each architecture's library lies in its own folder.
#   package_coinstall.sh SCRATCH PLUGIN_DEB DEMO_DEB [OTHER_BUILD_DIR]
set -u
scratch="$1"
plugin="$2"
demo="$3"
other_build="${4:-}"
fail() { echo "FAIL: $*"; exit 1; }

debs="$plugin $demo"
want="kelvo:$(dpkg-deb -f "$plugin" Architecture) kelvo-demo:$(dpkg-deb -f "$demo" Architecture)"
if [ -n "$other_build" ]; then
  cpack -G DEB --config "$other_build/CPackConfig.cmake" -B "$scratch/other" >"$scratch/cpack-other.log" 2>&1 ||
    { cat "$scratch/cpack-other.log"; fail "cpack of $other_build"; }
  other=$(ls "$scratch"/other/kelvo_*.deb)
  other_arch=$(dpkg-deb -f "$other" Architecture)
  [ "$other_arch" != "$(dpkg-deb -f "$plugin" Architecture)" ] || fail "$other_build is of the same architecture"
  debs="$debs $other"
  want="$want kelvo:$other_arch"
else
  echo "no build of the other architecture named: the plug-in installed for one"
fi

# A dpkg database of its own. The packages' dependencies (libc, SDL, GTK) are
# not in it: those are the system's business, not this test's.
db="$scratch/dpkg-root"
mkdir -p "$db/var/lib/dpkg/info" "$db/var/lib/dpkg/updates" || fail "mkdir"
: >"$db/var/lib/dpkg/status"
for a in $want; do
  case "${a#*:}" in "$(dpkg --print-architecture)") ;; *) dpkg --root="$db" --add-architecture "${a#*:}" ;; esac
done
dpkg --root="$db" --force-not-root --force-depends --log=/dev/null -i $debs >"$scratch/dpkg.log" 2>&1 ||
  { cat "$scratch/dpkg.log"; fail "dpkg -i $(echo $debs | tr ' ' '\n' | sed 's|.*/||' | tr '\n' ' ')"; }
installed=$(dpkg-query --root="$db" -W -f='${Package}:${Architecture} ${db:Status-Abbrev}\n' | sort)
for a in $want; do
  echo "$installed" | grep -qx "$a ii *" || { echo "$installed"; fail "$a is not installed"; }
done
for a in $want; do
  case "$a" in
    kelvo:*)
      triplet=$(dpkg-architecture -qDEB_HOST_MULTIARCH -a"${a#*:}" 2>/dev/null)
      [ -f "$db/usr/lib/$triplet/kelvo/libKelvo.so" ] || fail "no /usr/lib/$triplet/kelvo/libKelvo.so"
      ;;
  esac
done
echo "installed together with dpkg: $want"
