#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
#   1. the normal build with all tests (GUI tests under a virtual X server when there is no display);
#   2. an AddressSanitizer + UndefinedBehaviorSanitizer build of the tests, the GUI ones included;
#   3. a ThreadSanitizer build of the archive worker and loader tests;
#   4. a short run of every fuzz target (FUZZ_SECONDS each, default 20);
#   5. the sample book on a minimal Debian 12 reader's machine (scripts/reader-machine.sh), as a
#      single file and as a .deb, when the Debian mirror can be reached.
# TOMEVANE_QUICK=1 runs the first step only.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)
summary=$(mktemp)
trap 'rm -f "$summary"' EXIT

# Runs ctest on a build folder and keeps its closing counts for the summary line at the end.
run_ctest() {
  local dir=$1
  shift
  local runner=()
  [ -z "${DISPLAY:-}" ] && runner=(xvfb-run -a -s "-screen 0 1280x1024x24 -noreset")
  "${runner[@]}" ctest --test-dir "$dir" --output-on-failure -j "$jobs" "$@" | tee -a "$summary"
  return "${PIPESTATUS[0]}"
}

print_summary() {
  awk '/tests passed, [0-9]+ tests failed out of [0-9]+/ { failed += $4; total += $NF }
       END { printf "tests: %d passed, %d failed\n", total - failed, failed }' "$summary"
}

echo "== normal build and all tests"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
run_ctest build

if [ "${TOMEVANE_QUICK:-0}" = 1 ]; then print_summary; exit 0; fi

echo "== sanitizer build (ASan + UBSan) and its tests, the GUI tests under a virtual X server"
# Our code only is instrumented; GTK, WebKit and the engine's own process are not. Leaks inside
# those libraries are suppressed by name (scripts/lsan.supp). The walks over the documentation tree
# run in the normal build only, which keeps this step's time down; so do the packaging tests, which
# are about the libraries a released viewer needs (an instrumented one needs the sanitizer runtimes).
asan_start=$(date +%s)
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOMEVANE_SANITIZE=ON -DTOMEVANE_GUI=ON \
  -DTOMEVANE_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs"
echo "sanitizer build: $(($(date +%s) - asan_start)) s"
asan_start=$(date +%s)
# Full stacks for every allocation: the toolkit's libraries have no frame pointers, and a leak's
# stack cut short there would name no library to match.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:fast_unwind_on_malloc=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0" \
  run_ctest build-asan -E '^(ReaderSession|DocumentationTree|Packaging)\.'
echo "sanitizer tests: $(($(date +%s) - asan_start)) s"

echo "== thread sanitizer build and the archive worker and loader tests"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOMEVANE_TSAN=ON -DTOMEVANE_GUI=OFF \
  -DTOMEVANE_BENCH=OFF >/dev/null
cmake --build build-tsan -j "$jobs" --target test_cabinet
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  run_ctest build-tsan -R 'BookArchiveLoader|LoadArchiveFromCabinet|Reader\.'

echo "== short fuzz run"
bash scripts/fuzz.sh "${FUZZ_SECONDS:-20}"

echo "== the sample book on a reader's machine"
# 77: skipped (no mirror, or not root); the script has said why.
reader_status=0
bash scripts/reader-machine.sh || reader_status=$?
case $reader_status in
0) echo "100% tests passed, 0 tests failed out of 1" >>"$summary" ;;
77) echo "reader's machine: skipped (see above)" ;;
*)
  echo "0% tests passed, 1 tests failed out of 1" >>"$summary"
  print_summary
  echo "reader's machine: FAILED"
  exit 1
  ;;
esac
print_summary
