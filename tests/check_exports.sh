#!/bin/sh
# The library exports exactly the five entry points, under the soname the
# host loads, and leaves none of its own symbols undefined.
lib="$1"
fail=0
exports=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TDBRVWiu]$/ {print $3}' | sort | tr '\n' ' ')
expected="DeleteFunc GetInfoFunc RunFunc SetInfoFunc SetPropertyFunc "
if [ "$exports" != "$expected" ]; then
  echo "exports: '$exports', expected '$expected'"; fail=1
fi
soname=$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
if [ "$soname" != "libKelvo.so" ]; then
  echo "soname: '$soname'"; fail=1
fi
if ! readelf -d "$lib" | grep -q 'libSDL-1.2.so.0'; then
  echo "not linked against SDL 1.2"; fail=1
fi
if ! readelf -d "$lib" | grep -q 'libgtk-x11-2.0.so.0'; then
  echo "not linked against GTK+ 2"; fail=1
fi
[ $fail = 0 ] && echo "exports, soname and libraries as expected"
exit $fail
