#!/bin/sh
# The library as the host's loader sees it, read from its ELF headers alone:
#   check_elf.sh LIBRARY i386|amd64
# word size and machine of that architecture, a shared object with the soname
# "libKelvo.so", exactly the five entry points defined in its dynamic symbol
# table (as functions, global, default visibility), SDL 1.2 and GTK+ 2 needed,
# and no text relocations.
lib="$1"
arch="$2"
fail=0
say() { echo "$*"; fail=1; }

[ -f "$lib" ] || { echo "no such file: $lib"; exit 1; }
case "$arch" in
  i386) want_class=ELF32; want_machine="Intel 80386" ;;
  amd64) want_class=ELF64; want_machine="Advanced Micro Devices X86-64" ;;
  *) echo "unknown architecture '$arch'"; exit 2 ;;
esac

header=$(readelf -h "$lib")
class=$(echo "$header" | sed -n 's/^ *Class: *//p')
machine=$(echo "$header" | sed -n 's/^ *Machine: *//p')
type=$(echo "$header" | sed -n 's/^ *Type: *\([A-Z]*\).*/\1/p')
[ "$class" = "$want_class" ] || say "class: '$class', expected '$want_class'"
[ "$machine" = "$want_machine" ] || say "machine: '$machine', expected '$want_machine'"
[ "$type" = "DYN" ] || say "type: '$type', expected DYN"

# Defined symbols of the dynamic table: Ndx is not UND. Columns of
# readelf --dyn-syms -W: Num Value Size Type Bind Vis Ndx Name.
defined=$(readelf --dyn-syms -W "$lib" |
  awk '$1 ~ /^[0-9]+:$/ && $7 != "UND" && $8 != "" {print $4, $5, $6, $8}' | sort)
expected="FUNC GLOBAL DEFAULT DeleteFunc
FUNC GLOBAL DEFAULT GetInfoFunc
FUNC GLOBAL DEFAULT RunFunc
FUNC GLOBAL DEFAULT SetInfoFunc
FUNC GLOBAL DEFAULT SetPropertyFunc"
if [ "$defined" != "$expected" ]; then
  say "defined dynamic symbols:"
  echo "$defined" | sed 's/^/  /'
fi

dynamic=$(readelf -d "$lib")
soname=$(echo "$dynamic" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = "libKelvo.so" ] || say "soname: '$soname'"
for needed in libSDL-1.2.so.0 libgtk-x11-2.0.so.0; do
  echo "$dynamic" | grep -q "(NEEDED).*\[$needed\]" || say "does not need $needed"
done
echo "$dynamic" | grep -q "(TEXTREL)" && say "has text relocations"

[ $fail = 0 ] && echo "$lib: $class $machine, soname $soname, exports the five entry points only"
exit $fail
