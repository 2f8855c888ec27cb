#!/usr/bin/env bash
# A reader's session over a real documentation tree: the tree is made into a book (make-doc-book.sh)
# whose reading order is grouped into chapters of a few pages, with entries that step to anchors
# inside pages (page.html#anchor); the book gets a toolbar with a button of every command, a user
# form, and a page with a print section. test_session then walks the book at random from the seed.
#
# usage: scripts/reader-session.sh TREE SEED [BUILD_DIR] [ACTIONS]   (BUILD_DIR defaults to ./build)
# Exit status: 0 when the session went through, 1 when not, 77 when TREE does not exist.
set -euo pipefail

tree=${1:?usage: reader-session.sh TREE SEED [BUILD_DIR] [ACTIONS]}
seed=${2:?usage: reader-session.sh TREE SEED [BUILD_DIR] [ACTIONS]}
build=$(cd "${3:-build}" && pwd)
actions=${4:-220}
if [ ! -d "$tree" ]; then
  echo "reader-session: no tree at $tree (its package is not installed)"
  exit 77
fi

work=$(mktemp -d /tmp/tomevane-reader-session-XXXXXX)
trap 'rm -rf "$work"' EXIT
bash "$(dirname "$0")/make-doc-book.sh" "$tree" "$work" >/dev/null
book=$work/book

# The pages of the book's own: one with a print section, and the user form's page, whose button
# closes the form.
cat > "$book/pages/session-notes.html" <<'HTML'
<html><head><title>Notes</title></head><body>
<p><a href="#notes">Notes</a> <a href="index.html">Contents</a></p>
<div id="NotesPAGE"><h1><a name="notes">Notes</a></h1><p>Reading notes, printed on their own.</p></div>
<p>The end of the notes.</p></body></html>
HTML
mkdir -p "$book/pages/forms"
cat > "$book/pages/forms/about.html" <<'HTML'
<html><head><title>About</title></head><body><p>About this book</p>
<button id="close" onclick="window.close()">Close</button></body></html>
HTML

# The reading order: the first page alone, the notes page alone, then chapters of five pages (the
# last one of several pages). After each of the first two pages with three anchors or more come
# two entries that step to its second and third anchor. order.txt lists the page entries as
# "chapter<TAB>page" for the session's expectations.
mapfile -t pages < <(grep -v '"' "$work/pages.txt")
first=${pages[0]}
for page in "${pages[@]}"; do [ "$page" = index.html ] && first=index.html; done
rest=()
for page in "${pages[@]}"; do [ "$page" != "$first" ] && rest+=("$page"); done
size=5
count=${#rest[@]}
chapters=$(((count + size - 1) / size))
[ $((count % size)) -eq 1 ] && [ "$chapters" -gt 1 ] && chapters=$((chapters - 1))
anchored=0
: > "$work/order.txt"
entry() { # chapter page indent
  printf '%s<item page="\\%s" pagename="%s"/>\n' "$3" "${2//\//\\}" "${2##*/}"
  printf '%s\t\\%s\n' "$1" "${2//\//\\}" >> "$work/order.txt"
}
{
  echo '<Story>'
  entry 0 "$first" '  '
  entry 1 session-notes.html '  '
  for ((c = 0; c < chapters; c++)); do
    echo '  <item>'
    end=$(((c + 1) * size))
    [ $c -eq $((chapters - 1)) ] && end=$count
    for ((i = c * size; i < end; i++)); do
      page=${rest[$i]}
      entry $((c + 2)) "$page" '    '
      if [ $anchored -lt 2 ]; then
        mapfile -t anchors < <(grep -o '<a name="[^"#]*"' "$book/pages/$page" | sed 's/.*name="//; s/"$//' | sed -n '2,3p')
        if [ ${#anchors[@]} -eq 2 ]; then
          anchored=$((anchored + 1))
          for anchor in "${anchors[@]}"; do entry $((c + 2)) "$page#$anchor" '    '; done
        fi
      fi
    done
    echo '  </item>'
  done
  echo '</Story>'
} > "$book/system/Story.xml"

cat > "$book/system/System.xml" <<'XML'
<System Story="Story.xml" ApplicationTitle="Documentation tree" ToolButtons="ToolButtons.xml"
        Forms="Forms.xml"><toolbar ToolbarShowCaption=False/></System>
XML
cat > "$book/system/Forms.xml" <<'XML'
<Forms><Form Name="About" Path="\forms\about.html" Caption="About" Width=300 Height=200/></Forms>
XML
{
  echo '<ToolButtons><Buttons>'
  for kind in 1 2 3 4 5 6 7 8 0 9 11 12 14 15 16 17; do echo "  <Button Kind=$kind Caption=\"$kind\"/>"; done
  echo '</Buttons></ToolButtons>'
} > "$book/system/ToolButtons.xml"

"$build/tools/tomevane-pack" "$book" -o "$work/book.bin"

run=()
if [ -z "${DISPLAY:-}" ]; then run=(xvfb-run -a -s "-screen 0 1280x1024x24 -noreset"); fi
TOMEVANE_SESSION_BOOK="$work/book.bin" TOMEVANE_SESSION_ORDER="$work/order.txt" \
TOMEVANE_SESSION_SEED="$seed" TOMEVANE_SESSION_ACTIONS="$actions" \
  "${run[@]}" "$build/tests/viewer/test_session" --gtest_brief=1
