#!/usr/bin/env bash
# Builds and runs every benchmark in bench/ and prints one table: what was measured, this
# project's figure, the peer measured in the same run, and the ratio (ours / peer for times,
# peer / ours for rates). Each benchmark program prints its own detail lines and, for the table,
# lines of the form  TABLE<TAB>what<TAB>ours<TAB>peer<TAB>peer figure<TAB>ratio.
# WebKit benchmarks run under a virtual X server when there is no display.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh >/dev/null
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOMEVANE_BENCH=ON >/dev/null || exit 2
cmake --build "$BUILD_DIR" -j "$(nproc)" >/dev/null || { echo "build failed"; exit 2; }

log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
for exe in $(find "$BUILD_DIR/bench" -type f -executable -name 'bench_*' | sort); do
  echo "== $(basename "$exe")"
  if [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" "$exe" | tee -a "$log" || status=1
  else
    "$exe" | tee -a "$log" || status=1
  fi
done
echo
{
  printf 'what\tours\tpeer\tpeer figure\tratio\n'
  grep -a '^TABLE	' "$log" | cut -f2-
} | column -t -s $'\t'
exit $status
