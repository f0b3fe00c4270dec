#!/usr/bin/env bash
# Runs a command in a terminal, as a user would, and checks what the screen
# shows: a detached tmux session of a fixed size, on a server of its own, runs
# the command; capture-pane reads the screen and its history until the
# command has ended, or gives up after a bounded number of tries. The LINEs
# must show one after the other, as whole lines (blanks at their ends aside),
# and the command must exit 0. The terminal reads UTF-8.
#
# With --locale NAME, the check is skipped (exit 77) where that locale is
# not installed. With --width COLUMNS the pane is that narrow (120 columns
# otherwise). With --shown TEXT, TEXT must also have been written to the
# terminal on the way, whatever the screen shows at the end (a status line
# that is rewritten and then rubbed out); with --not-shown TEXT it must not
# have been. With --first, the LINEs are the screen's first ones. With
# --keys KEYS, KEYS are typed (tmux send-keys) once the terminal was sent
# the first --shown TEXT.
#
# usage: terminal_test.sh TMUX [--locale NAME] [--width COLUMNS]
#        [--shown TEXT]... [--not-shown TEXT]... [--keys KEYS] [--first]
#        LINE... -- COMMAND [ARG...]
set -u

if [ $# -lt 3 ]; then
  echo "usage: $0 TMUX [--locale NAME] LINE... -- COMMAND [ARG...]" >&2
  exit 2
fi
tmux=$1
shift
if [ "$1" = "--locale" ]; then
  if ! locale -a 2>/dev/null | grep -qixF "$2"; then
    echo "SKIPPED: the $2 locale is not installed"
    exit 77
  fi
  shift 2
fi
width=120
if [ "$1" = "--width" ]; then
  width=$2
  shift 2
fi
shown=()
while [ "${1:-}" = "--shown" ]; do
  shown+=("$2")
  shift 2
done
not_shown=()
while [ "${1:-}" = "--not-shown" ]; do
  not_shown+=("$2")
  shift 2
done
keys=
if [ "${1:-}" = "--keys" ]; then
  keys=$2
  shift 2
fi
first=false
if [ "${1:-}" = "--first" ]; then
  first=true
  shift
fi
expected=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  expected+=("$1")
  shift
done
if [ $# -lt 2 ] || [ ${#expected[@]} -eq 0 ]; then
  echo "usage: $0 TMUX [--locale NAME] LINE... -- COMMAND [ARG...]" >&2
  exit 2
fi
shift

work=$(mktemp -d)
socket="$work/tmux"
trap '"$tmux" -S "$socket" kill-server >/dev/null 2>&1; rm -rf "$work"' EXIT
export LC_ALL=C.UTF-8

# The pane outlives the command, so that its last lines can be read. The
# command waits until all it writes is recorded.
if ! "$tmux" -S "$socket" new-session -d -x "$width" -y 40 \
  bash -c 'until [ -e "$0" ]; do sleep 0.05; done; "$@"; echo "[exit $?]"; exec sleep 600' \
  "$work/go" "$@" < /dev/null; then
  echo "FAIL: tmux cannot start a session"
  exit 1
fi
"$tmux" -S "$socket" pipe-pane -o "cat >> '$work/raw'"
touch "$work/go"

screen="$work/screen"
status=
for _ in $(seq 1 300); do
  if [ -n "$keys" ] && grep -qF -- "${shown[0]}" "$work/raw" 2>/dev/null; then
    "$tmux" -S "$socket" send-keys -l -- "$keys"
    keys=
  fi
  "$tmux" -S "$socket" capture-pane -p -J -S - > "$screen" 2>/dev/null
  status=$(sed -n 's/.*\[exit \([0-9]*\)\] *$/\1/p' "$screen")
  [ -n "$status" ] && break
  sleep 0.5
done

mapfile -t lines < <(sed 's/[[:blank:]]*$//' "$screen")
found=false
last=$((${#lines[@]} - ${#expected[@]}))
$first && last=0
for ((i = 0; i <= last && i + ${#expected[@]} <= ${#lines[@]}; i++)); do
  found=true
  for ((j = 0; j < ${#expected[@]}; j++)); do
    if [ "${lines[i + j]}" != "${expected[j]}" ]; then
      found=false
      break
    fi
  done
  $found && break
done

failed=false
for text in "${shown[@]}"; do
  if ! grep -qF -- "$text" "$work/raw"; then
    echo "FAIL: the terminal was never sent: $text"
    failed=true
  fi
done
for text in "${not_shown[@]}"; do
  if grep -qF -- "$text" "$work/raw"; then
    echo "FAIL: the terminal was sent: $text"
    failed=true
  fi
done
if [ -z "$status" ]; then
  echo "FAIL: the command had not ended after 150 s"
  failed=true
elif [ "$status" != 0 ]; then
  echo "FAIL: exit code $status"
  failed=true
fi
if ! $found; then
  $first && echo "FAIL: the screen does not start with these lines:"
  $first || echo "FAIL: the screen does not show these lines one after the other:"
  printf '  %s\n' "${expected[@]}"
  failed=true
fi
if $failed; then
  echo "The screen:"
  cat "$screen"
  exit 1
fi
echo "ok: the screen shows ${#expected[@]} line(s) as expected"
