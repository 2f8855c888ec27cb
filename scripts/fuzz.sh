#!/usr/bin/env bash
# Builds every fuzz target with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for SECONDS (default 60) on its seed corpus, then prints executions and findings
# per target. Crashing inputs are kept in out/fuzz/<target>/ (crash-*, leak-*, timeout-*, oom-*).
# Exit status 1 when any target found something. FUZZ_TARGETS="fuzz_a fuzz_b" runs only those.
set -uo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET=${1:-60}
BUILD_DIR=${FUZZ_BUILD_DIR:-build-fuzz}
OUT=out/fuzz
CC=clang CXX=clang++ cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTOMEVANE_FUZZ=ON -DTOMEVANE_SANITIZE=ON -DTOMEVANE_BENCH=OFF >/dev/null || exit 2
cmake --build "$BUILD_DIR" --target fuzz_all -j "$(nproc)" >/dev/null || { echo "fuzz build failed"; exit 2; }

targets=${FUZZ_TARGETS:-$(find "$BUILD_DIR/fuzz" -maxdepth 1 -type f -executable -name 'fuzz_*' -printf '%f\n' | sort)}
printf '%-22s %14s %9s\n' target executions findings
status=0
for t in $targets; do
  mkdir -p "$OUT/$t" "$OUT/$t/corpus"
  rm -f "$OUT/$t"/crash-* "$OUT/$t"/leak-* "$OUT/$t"/timeout-* "$OUT/$t"/oom-*
  seeds=
  for d in fuzz/corpus/$t fuzz/regressions/$t; do [ -d "$d" ] && seeds="$seeds $d"; done
  log=$OUT/$t/log.txt
  ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$BUILD_DIR/fuzz/$t" -max_total_time="$SECONDS_PER_TARGET" -rss_limit_mb=2048 -timeout=10 \
    -artifact_prefix="$OUT/$t/" -print_final_stats=1 "$OUT/$t/corpus" $seeds >"$log" 2>&1
  execs=$(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
  findings=$(find "$OUT/$t" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
  printf '%-22s %14s %9s\n' "$t" "${execs:-?}" "$findings"
  if [ "$findings" -gt 0 ] || [ -z "$execs" ]; then status=1; fi
done
exit $status
