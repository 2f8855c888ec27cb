#!/usr/bin/env bash
# Makes a book folder out of an HTML documentation tree written elsewhere (for example
# /usr/share/doc/valgrind/html): the tree becomes the book's pages, and a minimal system folder is
# generated (System.xml and a Story.xml that lists every page). Also writes WORK/pages.txt, the
# tree's HTML pages one a line ("/" between folders), in byte order.
#
# usage: scripts/make-doc-book.sh TREE WORK      (the book goes to WORK/book)
set -euo pipefail

tree=${1:?usage: make-doc-book.sh TREE WORK}
work=${2:?usage: make-doc-book.sh TREE WORK}
mkdir -p "$work/book/system"
# Debian's doc trees link to files shared between packages: take the files themselves.
cp -rL "$tree" "$work/book/pages"
# A book's archive tells no letter case apart, as the file systems books are written on: of names
# that differ only in case the book keeps the largest file (the tree's other pages link to it).
(cd "$work/book/pages" && find . -type f -printf '%s\t%p\n' | awk -F'\t' '
  { key = tolower($2); all[NR] = $2; lower[NR] = key
    if (!(key in size) || $1 + 0 > size[key]) { size[key] = $1 + 0; keep[key] = $2 } }
  END { for (i = 1; i <= NR; i++) if (keep[lower[i]] != all[i]) print all[i] }' |
  while IFS= read -r dropped; do
    echo "make-doc-book: left out $dropped (its name differs from another only in letter case)"
    rm -f -- "$dropped"
  done)

(cd "$work/book/pages" && find . -type f \( -iname '*.htm' -o -iname '*.html' \) | sed 's|^\./||' |
  LC_ALL=C sort) > "$work/pages.txt"

# The description files quote values with '"' and know no character references: a page whose
# name holds a quote is not listed in the story.
{
  echo '<Story>'
  while IFS= read -r page; do
    case "$page" in *\"*) continue ;; esac
    echo "  <item page=\"\\${page//\//\\}\" pagename=\"${page##*/}\"/>"
  done < "$work/pages.txt"
  echo '</Story>'
} > "$work/book/system/Story.xml"
echo '<System Story="Story.xml" ApplicationTitle="Documentation tree"/>' > "$work/book/system/System.xml"
