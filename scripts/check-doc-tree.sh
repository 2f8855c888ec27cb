#!/usr/bin/env bash
# Packs an HTML documentation tree written elsewhere (for example /usr/share/doc/valgrind/html)
# into a book with tomevane-pack and opens every page of it in the viewer's page view under X,
# checking from the debug log that every file the pages ask for and the tree holds is served.
# The tree becomes the book's pages; a minimal system folder is generated: System.xml and a
# Story.xml that lists every page.
#
# usage: scripts/check-doc-tree.sh TREE [BUILD_DIR]     (BUILD_DIR defaults to ./build)
# Exit status: 0 when every such file was served, 1 when not, 77 when TREE does not exist.
set -euo pipefail

tree=${1:?usage: check-doc-tree.sh TREE [BUILD_DIR]}
build=$(cd "${2:-build}" && pwd)
if [ ! -d "$tree" ]; then
  echo "check-doc-tree: no tree at $tree (its package is not installed)"
  exit 77
fi

work=$(mktemp -d /tmp/tomevane-doc-tree-XXXXXX)
trap 'rm -rf "$work"' EXIT
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
    echo "check-doc-tree: left out $dropped (its name differs from another only in letter case)"
    rm -f -- "$dropped"
  done)

(cd "$work/book/pages" && find . -type f \( -iname '*.htm' -o -iname '*.html' \) | sed 's|^\./||' |
  LC_ALL=C sort) > "$work/pages.txt"

# The description files quote values with '"' and know no character references: a page whose
# name holds a quote is opened by the check all the same, but not listed in the story.
{
  echo '<Story>'
  while IFS= read -r page; do
    case "$page" in *\"*) continue ;; esac
    echo "  <item page=\"\\${page//\//\\}\" pagename=\"${page##*/}\"/>"
  done < "$work/pages.txt"
  echo '</Story>'
} > "$work/book/system/Story.xml"
echo '<System Story="Story.xml" ApplicationTitle="Documentation tree"/>' > "$work/book/system/System.xml"

"$build/tools/tomevane-pack" "$work/book" -o "$work/book.bin"

run=()
if [ -z "${DISPLAY:-}" ]; then run=(xvfb-run -a -s "-screen 0 1280x1024x24 -noreset"); fi
TOMEVANE_DOC_BOOK="$work/book.bin" TOMEVANE_DOC_PAGES="$work/pages.txt" \
TOMEVANE_DOC_TREE="$work/book/pages" \
  "${run[@]}" "$build/tests/viewer/test_doctree" --gtest_brief=1
