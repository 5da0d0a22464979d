#!/bin/sh
# Regenerates the live-view benchmark's stream with Debian's ffmpeg (used as a tool only):
# one second of a camera-like D1 picture (704 x 480) as an MPEG-4 I/P elementary stream,
# one intra picture then 24 predicted ones, at about the bit rate a recorder channel uses.
set -e
cd "$(dirname "$0")"
ffmpeg -loglevel error -y -f lavfi -i "testsrc2=size=704x480:rate=25" -frames:v 25 -threads 1 \
    -c:v mpeg4 -bf 0 -g 25 -b:v 1500k -flags +bitexact -f m4v d1_ip.m4v
