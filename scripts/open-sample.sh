#!/usr/bin/env bash
# Packs examples/sample-book into a book executable and opens it.
#   With a display: the book opens in a window and the script returns when the reader closes it.
#   Without one: the book runs for a few seconds under a virtual X server, a screenshot of the
#   screen is saved (SCREENSHOT, default build/sample-book.png) and the book is closed with Esc.
# Builds the viewer and the packer first (build folder: BUILD_DIR, default build).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh >/dev/null
build=${BUILD_DIR:-build}
if [ ! -x "$build/viewer/tomevane-viewer" ] || [ ! -x "$build/tools/tomevane-pack" ]; then
  cmake -S . -B "$build" -G Ninja >/dev/null
  cmake --build "$build" -j 2 --target tomevane-viewer tomevane-pack
fi
book="$build/sample-book"
"$build/tools/tomevane-pack" examples/sample-book -o "$book" --viewer "$build/viewer/tomevane-viewer"
echo "packed: $book"

if [ -n "${DISPLAY:-}" ] && [ "${1:-}" != --headless ]; then
  exec "$book"
fi

shot=${SCREENSHOT:-$build/sample-book.png}
export BOOK="$book" SHOT="$shot" SECONDS_SHOWN="${SECONDS_SHOWN:-5}"
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  "$BOOK" & pid=$!
  sleep "$SECONDS_SHOWN"
  import -window root "$SHOT"
  for w in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
    [ "$(xdotool getwindowname "$w")" = frmSplash ] && continue
    xdotool windowfocus --sync "$w" 2>/dev/null || true
    xdotool mousemove --window "$w" 20 20 key Escape
    break
  done
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
  kill "$pid" 2>/dev/null || true
  wait "$pid"
'
echo "screenshot: $shot"
