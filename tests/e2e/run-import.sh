#!/usr/bin/env bash
# End to end: imports an EPUB as a book folder, packs it, starts the book on the X display (a
# virtual one when there is none) and expects from its debug log and its window: the first page
# of the spine completes, every picture it asks for is served (at least one when PICTURES is
# "pictures"), and the main window's caption is the publication's title.
#   run-import.sh PACKER VIEWER EPUB FIRSTPAGE TITLE [PICTURES]
# EPUB "pandoc" makes one with pandoc from two Markdown chapters with a cover picture, which the
# first page (the cover page) shows.
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
packer=$1 viewer=$2 epub=$3 first=$4 title=$5 pictures=${6:-}
work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
if [ "$epub" = pandoc ]; then
  command -v pandoc >/dev/null || { echo "SKIP: pandoc is not installed"; exit 0; }
  printf '# Première partie\n\nTexte.\n' >"$work/one.md"
  printf '# Second\n\n![dot](dot.png)\n' >"$work/two.md"
  convert -size 60x90 xc:darkred "$work/cover.png"
  convert -size 8x8 xc:blue "$work/dot.png"
  (cd "$work" && pandoc one.md two.md -o book.epub --metadata title="$title" --epub-cover-image=cover.png)
  epub=$work/book.epub
fi
if [ ! -f "$epub" ]; then echo "SKIP: $epub is not installed"; exit 0; fi

"$packer" --import "$epub" -o "$work/book"
"$packer" "$work/book" -o "$work/packed" --viewer "$viewer"
G_MESSAGES_DEBUG=Tomevane "$work/packed" >"$work/log" 2>&1 &
pid=$!

wait_for() { # wait_for SECONDS COMMAND...
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do
    if [ $SECONDS -ge $deadline ]; then return 1; fi
    sleep 0.2
  done
}
expected="DocumentComplete mfs:$first"
if ! wait_for 60 grep -qF "$expected" "$work/log"; then
  echo "FAIL: no \"$expected\" in the debug log"; cat "$work/log"; exit 1
fi
echo "seen: $expected"
# Every picture request of the page is answered with the picture.
sleep 1 # pictures of a complete page may still be on their way
asked=$(grep -E 'scheme request mfs:[^ ]*\.(png|jpe?g|gif|svg): ' "$work/log" || true)
if [ "$pictures" = pictures ] && [ -z "$asked" ]; then echo "FAIL: no picture was asked for"; cat "$work/log"; exit 1; fi
if [ -n "$asked" ] && echo "$asked" | grep -v ': 200, '; then echo "FAIL: a picture was not served"; exit 1; fi
echo "$asked"

caption=
find_caption() {
  local w name
  for w in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
    name=$(xdotool getwindowname "$w")
    if [ "$name" != frmSplash ]; then caption=$name; return 0; fi
  done
  return 1
}
if ! wait_for 20 find_caption; then echo "FAIL: main window not found"; cat "$work/log"; exit 1; fi
if [ "$caption" != "$title" ]; then echo "FAIL: caption \"$caption\", expected \"$title\""; exit 1; fi
echo "PASS: opened on $first, pictures served, caption \"$caption\""
