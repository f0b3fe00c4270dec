#!/usr/bin/env bash
# A watch's status line in a terminal narrowed while the watch runs: the
# terminal wraps the line it shows over several rows, and the next update
# and the end of the watch clear every one of them. A detached tmux session
# on a server of its own runs a watch of the sample session into a file,
# until its line is "sample 100, next in 1 s"; the window is narrowed
# while the watch is stopped,
# and once the watch has written more, it is interrupted (Ctrl+C). The
# screen, its history included, must then show nothing but the lines
# before the watch, the shell's "[exit 0]" and the "^C" the terminal echoes.
#
# usage: status_line_resize.sh TMUX KESTREL
set -u
tmux=$1
kestrel=$2
work=$(mktemp -d)
socket="$work/tmux"
trap '"$tmux" -S "$socket" kill-server >/dev/null 2>&1; rm -rf "$work"' EXIT
export LC_ALL=C.UTF-8
unset KESTREL_SESSION

if ! "$tmux" -S "$socket" new-session -d -x 100 -y 20 \
  bash -c 'until [ -e "$0/go" ]; do sleep 0.05; done; clear; printf "before %s\n" 1 2 3 4 5; "$1" -w 1 -o json -O "$0/w.json"; echo "[exit $?]"; exec sleep 600' \
  "$work" "$kestrel" < /dev/null; then
  echo "FAIL: tmux cannot start a session"
  exit 1
fi
"$tmux" -S "$socket" pipe-pane -o "cat >> '$work/raw'"
touch "$work/go"

# Waits (at most 150 s) until the raw output holds TEXT.
wait_for() {
  for _ in $(seq 1 300); do
    grep -qF -- "$1" "$work/raw" 2>/dev/null && return 0
    sleep 0.5
  done
  echo "FAIL: the terminal was never sent: $1"
  exit 1
}

wait_for "sample 100, next in 1 s"
# The host's watch waits for nothing between samples: it is stopped while
# the terminal narrows and wraps its line again, as a watch waiting for its
# next sample would be.
watch=$(pgrep -P "$("$tmux" -S "$socket" display -p '#{pane_pid}')")
kill -STOP "$watch"
"$tmux" -S "$socket" resize-window -x 12
sleep 1
kill -CONT "$watch"
# Lines written since the resize fit the new width: "sample N" and no
# more.
size=$(stat -c %s "$work/raw")
for _ in $(seq 1 300); do
  [ "$(stat -c %s "$work/raw")" -gt $((size + 2000)) ] && break
  sleep 0.5
done
"$tmux" -S "$socket" send-keys C-c

screen="$work/screen"
status=
for _ in $(seq 1 300); do
  "$tmux" -S "$socket" capture-pane -p -S - > "$screen" 2>/dev/null
  status=$(sed -n 's/.*\[exit \([0-9]*\)\].*/\1/p' "$screen")
  [ -n "$status" ] && break
  sleep 0.5
done
if [ "$status" != 0 ]; then
  echo "FAIL: the watch did not end with exit code 0"
  cat "$screen"
  exit 1
fi
left=$(sed -e 's/\[exit 0\]//' -e 's/\^C//g' -e '/^before [1-5]$/d' \
  -e 's/[[:blank:]]*//g' "$screen" | grep -c .)
if [ "$left" != 0 ]; then
  echo "FAIL: rows of the status line stay on the screen:"
  cat "$screen"
  exit 1
fi
echo "ok: nothing of the status line stays on the narrowed screen"
