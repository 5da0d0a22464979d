#!/usr/bin/env bash
# Makes samples/demo.dvr, the built-in demo recording: 16 channels of a generated test pattern
# with the channel number and a running clock, channels 1-8 as JPEG pictures and 9-16 as
# MPEG-4, packed into records by the viewer's own writer (store_mkdvr).
# Needs ffmpeg and the DejaVu fonts (fonts-dejavu-core).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/demo}
OUT=${1:-$ROOT/samples/demo.dvr}
FPS=5
LENGTH=3
FONT=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf

cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTRANDEL_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD" --target store_mkdvr >/dev/null

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
args=()
for ch in $(seq 1 16); do
  src="testsrc2=size=352x240:rate=$FPS:duration=$LENGTH"
  filter="hue=h=$((ch * 22)),drawtext=fontfile=$FONT:text='CH $ch  %{pts\:hms}':x=12:y=h-th-12:fontsize=22:fontcolor=white:box=1:boxcolor=black@0.6"
  if [ "$ch" -le 8 ]; then
    mkdir "$TMP/ch$ch"
    ffmpeg -nostdin -v error -f lavfi -i "$src" -vf "$filter" -q:v 12 "$TMP/ch$ch/frame%03d.jpg"
    args+=("$ch:jpeg:$TMP/ch$ch")
  else
    ffmpeg -nostdin -v error -f lavfi -i "$src" -vf "$filter" -c:v mpeg4 -threads 1 -bf 0 -g "$FPS" -q:v 10 -f m4v "$TMP/ch$ch.m4v"
    args+=("$ch:mpeg:$TMP/ch$ch.m4v")
  fi
done
"$BUILD/tests/store/store_mkdvr" "$OUT" "$FPS" $((FPS * LENGTH)) "${args[@]}"
