#!/usr/bin/env bash
# Makes samples/demo.dvr, the built-in demo recording: a minute of 16 channels of colour bars
# with a moving square and a burned-in channel number and clock (top right, clear of the
# viewer's own title and time overlays). Channels 1-8 are JPEG pictures (one a second), 9-16
# MPEG-4 at four pictures a second, each record one group of pictures that begins with an intra
# picture, as a recorder records them. Every second holds a record of each channel, so the
# second is shared out as pauses a player keeps. Packed into records by the viewer's own writer
# (store_mkdvr). Needs ffmpeg and the DejaVu fonts (fonts-dejavu-core).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/demo}
OUT=${1:-$ROOT/samples/demo.dvr}
FPS=4
LENGTH=60
GOP=4       # MPEG-4: an intra picture every second
JPEG_STEP=4 # JPEG: a picture a second
FONT=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf

cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTRANDEL_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD" --target store_mkdvr >/dev/null

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
args=()
for ch in $(seq 1 16); do
  filter="hue=h=$((ch * 22)),drawbox=x='mod(t*40+$((ch * 17)),312)':y=150:w=40:h=40:color=yellow:t=fill"
  filter+=",drawtext=fontfile=$FONT:text='CH $ch  %{pts\:hms}':x=w-tw-10:y=10:fontsize=18:fontcolor=white:box=1:boxcolor=black@0.6"
  if [ "$ch" -le 8 ]; then
    mkdir "$TMP/ch$ch"
    ffmpeg -nostdin -v error -f lavfi -i "smptebars=size=352x240:rate=$FPS:duration=$LENGTH" \
      -vf "$filter,select='not(mod(n\,$JPEG_STEP))'" -fps_mode passthrough -q:v 14 "$TMP/ch$ch/frame%03d.jpg"
    args+=("$ch:jpeg:$TMP/ch$ch:$JPEG_STEP")
  else
    # The stream headers go before every intra picture, so that play can begin at any group.
    ffmpeg -nostdin -v error -f lavfi -i "smptebars=size=352x240:rate=$FPS:duration=$LENGTH" -vf "$filter" \
      -c:v mpeg4 -threads 1 -bf 0 -g $GOP -keyint_min $GOP -sc_threshold 1000000000 -q:v 14 \
      -flags +global_header -bsf:v dump_extra=freq=keyframe -f m4v "$TMP/ch$ch.m4v"
    args+=("$ch:mpeg:$TMP/ch$ch.m4v")
  fi
done
"$BUILD/tests/store/store_mkdvr" "$OUT" "$FPS" $((FPS * LENGTH)) "${args[@]}"
