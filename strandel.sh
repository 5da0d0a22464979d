#!/usr/bin/env bash
# Strandel's one entry: set up the machine, build, and run the viewer or the tests.
#   ./strandel.sh run        set up, build (Release) and start the viewer on its demo
#   ./strandel.sh test       set up, build (Release) and run every test
#   ./strandel.sh sanitize   set up, build with address and undefined-behaviour sanitizers, run the tests
#   ./strandel.sh fuzz [s]   set up clang and run every fuzz target for s seconds (default 15)
#   ./strandel.sh setup      only install what is missing
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD

PACKAGES=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-multimedia-dev libqt6opengl6-dev libgl-dev
  libjpeg62-turbo-dev zlib1g-dev libqt6sql6-sqlite
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth fonts-dejavu-core poppler-utils
  sox pulseaudio pulseaudio-utils
)

say() { printf 'strandel: %s\n' "$*"; }

setup() {
  local missing=()
  for p in "${PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  say "installing ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

jobs() { nproc 2>/dev/null || echo 2; }

build() { # build DIR [cmake options...] [-- targets...]
  local dir=$1; shift
  local opts=() targets=()
  while [ $# -gt 0 ]; do
    if [ "$1" = -- ]; then shift; targets=("$@"); break; fi
    opts+=("$1"); shift
  done
  cmake -S "$ROOT" -B "$dir" -G Ninja "${opts[@]}" >/dev/null
  if [ ${#targets[@]} -gt 0 ]; then
    cmake --build "$dir" -j "$(jobs)" --target "${targets[@]}"
  else
    cmake --build "$dir" -j "$(jobs)"
  fi
}

SIM_PID=
stop_sim() {
  if [ -n "$SIM_PID" ]; then
    kill "$SIM_PID" 2>/dev/null || true
    wait "$SIM_PID" 2>/dev/null || true
    SIM_PID=
  fi
}

port_taken() { # port_taken PORT: something already listens on 127.0.0.1:PORT
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

run_tests() { # run_tests DIR
  ctest --test-dir "$1" --output-on-failure -j "$(jobs)" --timeout 300
}

run_viewer() {
  local out=$ROOT/build/release
  local work=$out/run
  mkdir -p "$work"
  cp -n "$ROOT"/samples/Lang.txt "$work"/ 2>/dev/null || true
  cp -n "$ROOT"/samples/demo.dvr "$work"/ 2>/dev/null || true
  [ -f "$work/Strandel.lst" ] || cp "$ROOT"/samples/Strandel.lst "$work"/
  # The viewer finds its MPEG-4 decoder through the class registry.
  "$out"/decoder/lumaset_register >/dev/null
  # The demo recorder: the simulator serving the demo recording on loopback.
  if port_taken 5400; then
    say "port 127.0.0.1:5400 is taken (an earlier dvrsim still running?); stop that process and run again"
    exit 1
  fi
  "$out"/tools/dvrsim/dvrsim --listen 127.0.0.1:5400 --source "$work/demo.dvr" --channels 16 --ntsc \
    > "$work/dvrsim.log" 2>&1 &
  SIM_PID=$!
  # The simulator goes with the viewer, however the script ends.
  trap stop_sim EXIT
  trap 'stop_sim; exit 130' INT TERM
  local i
  for i in $(seq 50); do
    port_taken 5400 && break
    if ! kill -0 "$SIM_PID" 2>/dev/null; then
      say "the demo recorder did not start:"; cat "$work/dvrsim.log" >&2; SIM_PID=; exit 1
    fi
    sleep 0.1
  done
  say "demo recorder: dvrsim on 127.0.0.1:5400 serving samples/demo.dvr"
  cd "$work"
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    say "no display: starting the viewer under Xvfb (virtual screen); close it with Ctrl+C"
    xvfb-run -a -s "-screen 0 1280x1024x24" "$out"/viewer/app/strandel "$@"
  else
    "$out"/viewer/app/strandel "$@"
  fi
}

case "${1:-}" in
  setup) setup ;;
  run) shift; setup
    # Only what the run needs: the program, its decoder and the demo recorder.
    build build/release -DCMAKE_BUILD_TYPE=Release -- strandel lumaset lumaset_register dvrsim
    run_viewer "$@" ;;
  test) setup; build build/release -DCMAKE_BUILD_TYPE=Release; run_tests build/release ;;
  sanitize)
    setup
    build build/sanitize -DCMAKE_BUILD_TYPE=Debug -DSTRANDEL_SANITIZE=ON -DSTRANDEL_BUILD_BENCH=OFF
    run_tests build/sanitize ;;
  fuzz) setup clang libclang-rt-14-dev; scripts/run-fuzz.sh "${2:-15}" ;;
  *) echo "usage: $0 run|test|sanitize|fuzz|setup" >&2; exit 2 ;;
esac
