#!/usr/bin/env bash
# The same commit gives the same zip, whoever packs it and when: the download
# made with cpack from this build folder, and again from a second build folder
# configured and compiled afresh (kept between runs, so that only what changed
# is compiled again) in another time zone under another umask, must have the
# same SHA-256.
#
# usage: reproducible_package.sh CMAKE CPACK BUILD_DIR PACKAGE_NAME -- CONFIGURE_ARGUMENT...
# (the arguments that configure BUILD_DIR: -S, -G, the toolchain, the build type)
set -u

if [ $# -lt 5 ] || [ "$5" != "--" ]; then
  echo "usage: $0 CMAKE CPACK BUILD_DIR PACKAGE_NAME -- CONFIGURE_ARGUMENT..." >&2
  exit 2
fi
cmake=$1
cpack=$2
build=$3
name=$4
shift 5
second=$build/reproducible

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# pack LOG CPACK_CONFIG OUT: makes the zip into OUT, or shows why not.
pack() {
  if ! "$cpack" --config "$2" -B "$3" > "$work/$1.log" 2>&1; then
    cat "$work/$1.log"
    echo "FAIL: cpack did not make the package ($1)"
    exit 1
  fi
  if grep -q "not reproducible" "$work/$1.log"; then
    cat "$work/$1.log"
    echo "FAIL: the zip was not written reproducibly ($1)"
    exit 1
  fi
}

(umask 022 && TZ=UTC pack first "$build/CPackConfig.cmake" "$work/first")

if ! (umask 077 &&
      "$cmake" "$@" -B "$second" -DBUILD_TESTING=OFF > "$work/configure.log" 2>&1 &&
      "$cmake" --build "$second" --target kestrel kestrelw --parallel 2 > "$work/build.log" 2>&1); then
  cat "$work/configure.log" "$work/build.log" 2>/dev/null
  echo "FAIL: the second build folder does not build"
  exit 1
fi
(umask 077 && TZ=Pacific/Chatham pack second "$second/CPackConfig.cmake" "$work/second")

first_hash=$(sha256sum < "$work/first/$name.zip" | cut -d' ' -f1)
second_hash=$(sha256sum < "$work/second/$name.zip" | cut -d' ' -f1)
echo "first build folder:  $first_hash"
echo "second build folder: $second_hash"
if [ "$first_hash" != "$second_hash" ]; then
  echo "FAIL: two packages of the same commit differ"
  cmp -l "$work/first/$name.zip" "$work/second/$name.zip" | head -n 5
  exit 1
fi
echo "all checks passed"
