#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (every library with the fuzzer's coverage hooks) and
# runs each for a bounded time, starting from its committed seeds (tests/<area>/corpus/<name>).
# A target whose coverage stays tiny is fuzzing blind (its code under test lacks the hooks):
# that fails the run.
# Usage: scripts/run-fuzz.sh [seconds per target, default 20]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
build=build-fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DSTRANDEL_SANITIZE=ON -DSTRANDEL_FUZZ=ON -DSTRANDEL_BUILD_BENCH=OFF > /dev/null
# Every fuzz target of the tree, as "name:path:seeds" lines.
mapfile -t entries < "$build/fuzz-targets.txt"
names=()
for e in "${entries[@]}"; do [ -n "$e" ] && names+=("${e%%:*}"); done
cmake --build "$build" -j "$(nproc)" --target "${names[@]}"
min_edges=40 # a blind target stalls near 15; the smallest code under test passes 70
failed=0
for e in "${entries[@]}"; do
  [ -n "$e" ] || continue
  IFS=: read -r name path seeds <<< "$e"
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  echo "== $name (${seconds}s)"
  log="$build/corpus/$name.log"
  # New inputs go to the working corpus; the committed seeds are only read.
  "$path" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "$corpus" "$seeds" 2>&1 | tee "$log"
  edges=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  if [ "${edges:-0}" -lt "$min_edges" ]; then
    echo "!! $name reached only ${edges:-0} edges: its code under test lacks coverage hooks" >&2
    failed=1
  fi
done
exit "$failed"
