#!/usr/bin/env bash
# Runs the message-queue fuzzer for SECONDS (default 60) and sums it up:
#   tools/fuzz.sh [SECONDS]
# Build it first (make fuzz does both): cmake --preset fuzz && cmake --build --preset fuzz
# The corpus grows in build/fuzz/corpus, starting from tests/fuzz/corpus;
# libFuzzer's output goes to build/fuzz/fuzz.log, a crashing input to
# build/fuzz/artifacts/. Exits 1 when it found a crash, a leak or a hang.
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz
fuzzer=$build/tests/fuzz/queue_fuzz
if [ ! -x "$fuzzer" ]; then
  echo "fuzz.sh: no $fuzzer; build it with: cmake --preset fuzz && cmake --build --preset fuzz" >&2
  exit 2
fi

corpus=$build/corpus
artifacts=$build/artifacts
log=$build/fuzz.log
mkdir -p "$corpus" "$artifacts"
before=$(find "$artifacts" -type f | wc -l)

export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
start=$(date +%s)
status=0
# Inputs of up to 1 KiB are a few hundred events, plenty for one run of the
# program; -timeout catches a pump that never ends. The outer timeout is a
# last resort should libFuzzer itself not stop.
timeout $((seconds + 120)) "$fuzzer" -max_total_time="$seconds" -max_len=1024 -timeout=10 \
  -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" "$root/tests/fuzz/corpus" >"$log" 2>&1 || status=$?
elapsed=$(( $(date +%s) - start ))

last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
field() { sed -n "s/.* $1: \([^ ]*\).*/\1/p" <<<"$last" | grep . || echo "?"; }
stat() { sed -n "s/^stat::$1: *//p" "$log" | tail -n 1; }
executions=$(stat number_of_executed_units)
[ -n "$executions" ] || executions=$(sed -n 's/^#\([0-9]*\).*/\1/p' <<<"$last")
crashes=$(( $(find "$artifacts" -type f | wc -l) - before ))

echo "queue_fuzz, ${elapsed} s (log: build/fuzz/fuzz.log)"
echo "  executions:      ${executions:-?}"
echo "  executions/s:    $(stat average_exec_per_sec)"
echo "  coverage:        cov $(field cov), ft $(field ft)"
echo "  corpus:          $(field corp) in memory, $(find "$corpus" -type f | wc -l) files in build/fuzz/corpus"
echo "  crashes found:   $crashes"

if [ "$crashes" -gt 0 ] || [ "$status" -ne 0 ]; then
  grep -E '^queue_fuzz: |SUMMARY: |runtime error|ERROR: libFuzzer' "$log" | head -n 5 | sed 's/^/  /'
  find "$artifacts" -type f -newermt "@$start" | sed 's/^/  input: /'
  echo "  replay one with: QUEUE_FUZZ_TRACE=1 $fuzzer INPUT"
  exit 1
fi
