#!/usr/bin/env bash
# Makes the download with cpack in a folder of its own, then checks it as a
# user would: the checksum file verifies the zip, the zip holds the four files
# and nothing else, the changelog has an entry for the version, kestrel.exe
# carries no debug sections, and the unpacked kestrel.exe prints its usage
# text under Wine.
#
# usage: package_test.sh CMAKE CPACK CPACK_CONFIG WINE PACKAGE_NAME VERSION OBJDUMP
set -u

if [ $# -ne 7 ]; then
  echo "usage: $0 CMAKE CPACK CPACK_CONFIG WINE PACKAGE_NAME VERSION OBJDUMP" >&2
  exit 2
fi
cmake=$1
cpack=$2
config=$3
wine=$4
name=$5
version=$6
objdump=$7

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

if ! "$cpack" --config "$config" -B "$work/out" > "$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL: cpack did not make the package"
  exit 1
fi
zip=$work/out/$name.zip
if [ ! -f "$zip" ] || [ ! -f "$zip.sha256" ]; then
  echo "FAIL: no $name.zip with its .sha256; cpack made:"
  ls "$work/out"
  exit 1
fi
echo "made: $name.zip, $name.zip.sha256"

(cd "$work/out" && sha256sum --check --strict "$name.zip.sha256") ||
  fail "the checksum file does not verify the zip"

mkdir "$work/unpacked"
(cd "$work/unpacked" && "$cmake" -E tar xf "$zip") || fail "the zip does not unpack"
contents=$(cd "$work/unpacked" && find . -mindepth 1 | sort)
expected=$'./CHANGELOG.md\n./LICENSE\n./README.md\n./kestrel.exe\n./kestrel.rules.yml'
if [ "$contents" != "$expected" ]; then
  fail "the zip holds:"
  echo "$contents"
fi

grep -q "^## \[$version\] - " "$work/unpacked/CHANGELOG.md" ||
  fail "CHANGELOG.md has no entry for $version"

if ! sections=$("$objdump" -h "$work/unpacked/kestrel.exe"); then
  fail "$objdump cannot read the zip's kestrel.exe"
elif grep -q '\.debug_' <<< "$sections"; then
  fail "the zip's kestrel.exe carries debug sections:"
  grep '\.debug_' <<< "$sections"
fi

# Run from inside the unpacked folder, as from a console opened there.
(cd "$work/unpacked" && "$wine" kestrel.exe -h > "$work/stdout" 2> "$work/stderr" < /dev/null)
code=$?
[ "$code" = 0 ] || fail "kestrel.exe -h: exit code $code"
grep -q "^usage: kestrel.exe " "$work/stdout" || fail "kestrel.exe -h: no usage text"
[ -s "$work/stderr" ] && fail "kestrel.exe -h: standard error: $(cat "$work/stderr")"

if [ "$failures" != 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
