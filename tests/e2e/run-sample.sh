#!/usr/bin/env bash
# End to end: packs the sample book, starts the book executable on the X display (a virtual one
# when there is none), waits in its debug log for the first page of the reading order to be
# complete, sends Escape to its main window and expects the program to end with exit code 0.
#   run-sample.sh PACKER VIEWER BOOKDIR [MODE]
# MODE "packed" (the default) packs the book and starts the result; "folder" starts the viewer on
# the unpacked folder (--book BOOKDIR --watch); "run" lets the packer pack and run it (--run), and
# expects the packer to end with the viewer's exit code and no packed file to be left behind.
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
packer=$1 viewer=$2 book=$3 mode=${4:-packed}
work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

first=$(grep -o 'page="[^"]*"' "$book/system/Story.xml" | head -1 | sed 's/^page="\(.*\)"$/\1/')
expected="DocumentComplete mfs:$first"

mkdir "$work/tmp"
case "$mode" in
  packed)
    "$packer" "$book" -o "$work/book" --viewer "$viewer"
    G_MESSAGES_DEBUG=Tomevane "$work/book" >"$work/log" 2>&1 &
    pid=$! ;;
  folder)
    # A copy that lacks a page of its reading order: the check's problem comes before the book opens.
    cp -r "$book" "$work/folder"
    book=$work/folder
    rm "$book/pages/quickref.htm"
    G_MESSAGES_DEBUG=Tomevane "$viewer" --book "$book" --watch >"$work/log" 2>&1 &
    pid=$! ;;
  run)
    TMPDIR="$work/tmp" G_MESSAGES_DEBUG=Tomevane "$packer" "$book" --run --viewer "$viewer" >"$work/log" 2>&1 &
    pid=$! ;;
  *) echo "unknown mode $mode"; exit 2 ;;
esac

wait_for() { # wait_for SECONDS COMMAND...
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do
    if [ $SECONDS -ge $deadline ]; then return 1; fi
    sleep 0.2
  done
}
if ! wait_for 60 grep -qF "$expected" "$work/log"; then
  echo "FAIL: no \"$expected\" in the debug log"; cat "$work/log"; exit 1
fi
echo "seen: $expected"

# The main window is the program's visible window other than the splash ("frmSplash").
window=
# The viewer's own process: with --run, the packer's child.
viewer_pid() {
  if [ "$mode" = run ]; then pgrep -P "$pid" | head -1; else echo "$pid"; fi
}
find_window() {
  local w vp
  vp=$(viewer_pid) || return 1
  [ -n "$vp" ] || return 1
  for w in $(xdotool search --onlyvisible --pid "$vp" 2>/dev/null); do
    if [ "$(xdotool getwindowname "$w")" != frmSplash ]; then window=$w; return 0; fi
  done
  return 1
}
if ! wait_for 20 find_window; then
  echo "FAIL: main window not found"; cat "$work/log"; exit 1
fi
# Without a window manager nobody gives focus: put it and the pointer on the main window, then
# type Escape as the keyboard would.
xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool mousemove --window "$window" 20 20
xdotool key Escape

status=0
if ! wait_for 30 bash -c "! kill -0 $pid 2>/dev/null"; then
  echo "FAIL: still running after Escape"; cat "$work/log"; exit 1
fi
wait "$pid" || status=$?
pid=
if [ "$status" -ne 0 ]; then
  echo "FAIL: exit code $status"; cat "$work/log"; exit 1
fi
grep -q "Esc: closing the main window" "$work/log" || { echo "FAIL: Esc not seen"; cat "$work/log"; exit 1; }
if [ "$mode" = folder ]; then
  grep -q "book folder $book" "$work/log" || { echo "FAIL: book folder not logged"; cat "$work/log"; exit 1; }
  problem=$(grep -n 'Story.xml: Page "\\quickref.htm" is not in pages/' "$work/log" | cut -d: -f1 | head -1)
  navigate=$(grep -n 'navigate mfs:' "$work/log" | cut -d: -f1 | head -1)
  if [ -z "$problem" ] || [ "$problem" -gt "$navigate" ]; then
    echo "FAIL: the check's problem not printed before the book opened"; cat "$work/log"; exit 1
  fi
fi
if [ -n "$(ls -A "$work/tmp")" ]; then
  echo "FAIL: left behind: $(ls -A "$work/tmp")"; exit 1
fi
echo "PASS: closed by Escape, exit code 0"
