#!/usr/bin/env bash
# Packs an HTML documentation tree written elsewhere (for example /usr/share/doc/valgrind/html)
# into a book with tomevane-pack and opens every page of it in the viewer's page view under X,
# checking from the debug log that every file the pages ask for and the tree holds is served.
# The book is made by make-doc-book.sh: the tree's pages and a story that lists every page.
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
bash "$(dirname "$0")/make-doc-book.sh" "$tree" "$work"

"$build/tools/tomevane-pack" "$work/book" -o "$work/book.bin"

run=()
if [ -z "${DISPLAY:-}" ]; then run=(xvfb-run -a -s "-screen 0 1280x1024x24 -noreset"); fi
TOMEVANE_DOC_BOOK="$work/book.bin" TOMEVANE_DOC_PAGES="$work/pages.txt" \
TOMEVANE_DOC_TREE="$work/book/pages" \
  "${run[@]}" "$build/tests/viewer/test_doctree" --gtest_brief=1
