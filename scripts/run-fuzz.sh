#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
# Usage: scripts/run-fuzz.sh [seconds per target, default 20]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
build=build-fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DSTRANDEL_SANITIZE=ON -DSTRANDEL_BUILD_BENCH=OFF > /dev/null
# Every fuzz target of the tree, as "name:path" lines.
mapfile -t entries < "$build/fuzz-targets.txt"
names=()
for e in "${entries[@]}"; do [ -n "$e" ] && names+=("${e%%:*}"); done
cmake --build "$build" -j "$(nproc)" --target "${names[@]}"
for e in "${entries[@]}"; do
  [ -n "$e" ] || continue
  name=${e%%:*} path=${e#*:}
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  # Seeds committed beside a target's tests (tests/<area>/corpus/<name>) are read as well.
  seeds=()
  for d in tests/*/corpus/"$name"; do if [ -d "$d" ]; then seeds+=("$d"); fi; done
  echo "== $name (${seconds}s)"
  "$path" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "$corpus" "${seeds[@]}"
done
