#!/bin/sh
# Makes the small pictures the simulator tests serve: a ten-frame MPEG-4 elementary stream for
# channel 2 and a JPEG picture for channel 3. Needs Debian's ffmpeg.
set -e
cd "$(dirname "$0")/data"
ffmpeg -loglevel error -y -f lavfi -i testsrc=size=352x288:rate=5 -frames:v 10 \
  -c:v mpeg4 -g 5 -bf 0 -q:v 12 -f m4v ch02.m4v
ffmpeg -loglevel error -y -f lavfi -i testsrc=size=352x288 -frames:v 1 -q:v 8 ch03.jpg
# One full-size (704 x 576) picture, so the picture size code follows the stream.
mkdir -p full
ffmpeg -loglevel error -y -f lavfi -i testsrc=size=704x576:rate=5 -frames:v 1 -c:v mpeg4 -q:v 31 -f m4v full/ch01.m4v
