#!/usr/bin/env bash
# Runs the host kestrel binary under valgrind's memcheck over a representative
# set of runs: every view, help and the usage error, every failure path, the
# built-in and the file-read sample session, and arguments that are not
# UTF-8. Fails on any memory error, on definitely or indirectly lost bytes,
# and on an unexpected exit code.
#   tests/memcheck.sh VALGRIND KESTREL SAMPLE_SESSION_FILE
set -u
valgrind=$1
kestrel=$2
sample=$3

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failures=0
runs=0

# check EXIT SESSION [ARGUMENT...]: SESSION is a file, or "-" for the
# built-in sample session.
check() {
  local expected=$1 session=$2
  shift 2
  local environment=(-u KESTREL_SESSION)
  [ "$session" = - ] || environment=(KESTREL_SESSION="$session")
  env "${environment[@]}" "$valgrind" --quiet --error-exitcode=99 \
    --leak-check=full --show-leak-kinds=definite,indirect \
    --errors-for-leak-kinds=definite,indirect --log-file="$scratch/log" \
    "$kestrel" "$@" >"$scratch/out" 2>"$scratch/err"
  local code=$?
  runs=$((runs + 1))
  if [ "$code" -ne "$expected" ] || [ -s "$scratch/log" ]; then
    failures=$((failures + 1))
    echo "FAILED: kestrel $* (session $session): exit $code, expected $expected" >&2
    cat "$scratch/log" "$scratch/err" >&2
  fi
}

# Sessions for the failure paths: the sample with one failing step added
# before it (its end is a watch's last sample block).
with_line() {
  local file="$scratch/$1.txt"
  { echo "$2"; cat "$sample"; } >"$file"
  echo "$file"
}

# The views, over the built-in sample.
check 0 -
check 0 - -c
check 0 - -v
check 0 - -c -v
check 0 - -v -f brush
check 0 - -c -v -f dc explorer
check 0 - 2212
check 0 - chrome
check 0 - -v no-such-process
check 0 - -h
check 1 - notepad calc
check 0 - "$(printf 'caf\xe9')"
check 0 - -v -f "$(printf '\xc0\xaf')"
check 0 - -o json -v
check 0 - -o csv -v -f dc -s name
check 0 - -o csv -s total
check 0 - -o html -v -f brush
check 6 - -t 1000 -s all
check 1 - -o xml
check 0 - -w 2 -n 6 -c -v
check 0 - -o json -v -n 3
# Metrics replacing a file at each sample, and a file that cannot be made.
check 0 - -o prometheus -w 1 -n 6 -O "$scratch/kestrel.prom"
check 5 - -c -O "$scratch/missing/kestrel.txt"
# The sample read from its file.
check 0 "$sample" -c -v

# The failure paths.
check 2 "$(with_line snapshot 'snapshot fail')"
for step in ntdll-lookup open-self query-status peb-null virtual-query region-unreadable; do
  check 2 "$(with_line "$step" "fail $step")" -v
done
printf 'self 1000\nprocess 4 1 open a\nthread 1\n' >"$scratch/bad.txt"
check 4 "$scratch/bad.txt"
check 4 "$scratch/missing.txt"
printf '' >"$scratch/empty.txt"
check 0 "$scratch/empty.txt" -c

echo "memcheck: $runs runs, $failures failed"
[ "$failures" -eq 0 ]
