#!/usr/bin/env bash
# Builds everything and runs the whole suite: the normal build, the same suite under
# AddressSanitizer + UndefinedBehaviorSanitizer, and a short run of every fuzz target.
# Fails on any test failure or sanitizer report.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
"$ROOT/scripts/setup.sh"
JOBS="$(nproc)"
export QT_QPA_PLATFORM=offscreen

echo "== build and test"
BUILD_TYPE=Debug "$ROOT/scripts/build.sh" "$ROOT/build-test"
ctest --test-dir "$ROOT/build-test" --output-on-failure -j"$JOBS"

echo "== sanitizers (ASan + UBSan)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp:print_suppressions=0"
BUILD_TYPE=Debug "$ROOT/scripts/build.sh" "$ROOT/build-asan" -DZELLA_SANITIZE=ON -DZELLA_BENCH=OFF
ctest --test-dir "$ROOT/build-asan" --output-on-failure -j"$JOBS"

echo "== fuzz targets (briefly)"
CC=clang CXX=clang++ TARGET=fuzzers BUILD_TYPE=Debug "$ROOT/scripts/build.sh" "$ROOT/build-fuzz" \
  -DZELLA_FUZZ=ON -DZELLA_SANITIZE=ON -DZELLA_BENCH=OFF
for fuzzer in "$ROOT"/build-fuzz/bin/*_fuzz; do
  [[ -x "$fuzzer" ]] || continue
  corpus="$ROOT/build-fuzz/corpus/$(basename "$fuzzer")"
  mkdir -p "$corpus"
  echo "-- $(basename "$fuzzer")"
  "$fuzzer" -max_total_time="${FUZZ_SECONDS:-20}" -print_final_stats=0 "$corpus" 2>&1 | tail -n 3
done
echo "== all passed"
