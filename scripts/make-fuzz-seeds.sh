#!/usr/bin/env bash
# Regenerates the committed seed corpora of the fuzz targets (tests/<area>/corpus/<target>/; other targets keep their own there).
# Usage: scripts/make-fuzz-seeds.sh [build directory, default build]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
cmake --build "$build" -j3 --target fuzz_make_seeds
"$build/tests/fuzz/fuzz_make_seeds" "$PWD"
