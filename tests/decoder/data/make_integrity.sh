#!/bin/sh
# Regenerates the fixtures of the integrity paths with Debian's ffmpeg and libjpeg-turbo's cjpeg
# (used as tools only): baseline 4:2:0 JPEG pictures with the typical tables, and MPEG-1/2
# elementary streams.
set -e
cd "$(dirname "$0")"
src() { # size frames name.ppm
    ffmpeg -loglevel error -y -f lavfi -i "testsrc2=size=$1:rate=25" -frames:v 1 -f image2 -c:v ppm "$2"
}
src 176x144 t_176x144.ppm
src 64x48 t_64x48.ppm
cjpeg -quality 80 -sample 2x2,1x1,1x1 -baseline t_176x144.ppm > j_176x144.jpg
cjpeg -quality 80 -sample 2x2,1x1,1x1 -baseline -restart 7B t_176x144.ppm > jr_176x144.jpg
# the same picture twice: with tables made for it, and with the typical ones
cjpeg -quality 80 -sample 2x2,1x1,1x1 -optimize t_64x48.ppm > jo_64x48.jpg
cjpeg -quality 80 -sample 2x2,1x1,1x1 -baseline t_64x48.ppm > j_64x48.jpg
rm t_176x144.ppm t_64x48.ppm
mpg() { # codec size frames extra name
    ffmpeg -loglevel error -y -f lavfi -i "testsrc2=size=$2:rate=25" -frames:v "$3" -threads 1 -c:v "$1" \
        -flags +bitexact $4 -f "$1" "$5"
}
mpg mpeg1video 176x144 6 "-g 6 -bf 2 -q:v 4" m1_176x144.m1v
# quantiser 1: levels beyond 127, which MPEG-1 escapes with 16 bits
mpg mpeg1video 176x144 3 "-g 3 -bf 0 -qmin 1 -q:v 1" m1q1_176x144.m1v
mpg mpeg2video 176x144 6 "-g 6 -bf 2 -q:v 4" m2_176x144.m2v
# interlaced coding: field DCT, alternate scan, the non-linear quantiser and intra VLC format
mpg mpeg2video 352x288 3 "-g 3 -bf 0 -q:v 3 -flags +ildct+ilme+bitexact -alternate_scan 1 -non_linear_quant 1 -qmax 28 -intra_vlc 1" m2i_352x288.m2v
# seeds of the fuzz target (64 x 48 instances)
seeds=../corpus/integrity_fuzz
mkdir -p $seeds
cp j_64x48.jpg $seeds/j_64x48
mpg mpeg1video 64x48 2 "-g 2 -bf 0" $seeds/m1_64x48
mpg mpeg2video 64x48 2 "-g 2 -bf 0" $seeds/m2_64x48
