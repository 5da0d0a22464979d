#!/bin/sh
# Regenerates the decoder fixtures with Debian's ffmpeg (used as a tool only).
# Each NAME.m4v is a raw MPEG-4 elementary stream; NAME.yuv.z holds ffmpeg's decoded
# yuv420p frames, zlib-compressed behind a 4-byte big-endian length (the form qUncompress
# reads), so the tests need neither ffmpeg nor big files.
# enc uses one encoder thread (no video packets); enc4 below sets its own threads.
set -e
cd "$(dirname "$0")"
enc() { # source-filter frames extra-options name
    ffmpeg -loglevel error -y -f lavfi -i "$1" -frames:v "$2" -threads 1 -c:v mpeg4 -bf 0 \
        -flags +bitexact -g 1 $3 -f m4v "$4.m4v"
    ffmpeg -loglevel error -y -i "$4.m4v" -f rawvideo -pix_fmt yuv420p "$4.yuv"
    python3 -c "import zlib,struct,sys; d=open(sys.argv[1],'rb').read(); open(sys.argv[1]+'.z','wb').write(struct.pack('>I',len(d))+zlib.compress(d,9))" "$4.yuv"
    rm "$4.yuv"
}
enc "testsrc2=size=64x48:rate=25" 3 "-q:v 2" i_64x48
enc "testsrc2=size=176x144:rate=25" 2 "-q:v 6 -mpeg_quant 1" iq_176x144
enc "testsrc2=size=352x288:rate=25" 1 "-q:v 8" i_352x288
enc "testsrc2=size=160x128:rate=25,pad=704:480:272:176:gray" 1 "-q:v 4" i_704x480
enc "testsrc2=size=160x128:rate=25,pad=720:576:16:432:gray" 1 "-q:v 4" i_720x576
# I/P streams, one picture group each: a turning pattern on a flat ground (flat, so that the
# reference pictures compress well).
enc "testsrc2=size=40x32:rate=25,pad=80:64:20:16:gray,rotate=0.05*t:fillcolor=gray" 12 "-g 12 -q:v 5" p_80x64
enc "testsrc2=size=48x32:rate=25,pad=96:64:24:16:gray,rotate=-0.08*t:fillcolor=gray" 24 "-g 24 -q:v 6 -flags +mv4 -mpeg_quant 1" p4q_96x64
# Interlaced I/P: field DCT and field prediction.
enc "testsrc2=size=48x32:rate=25,pad=96:64:24:16:gray,rotate=0.1*t:fillcolor=gray" 12 "-g 12 -q:v 4 -flags +ildct+ilme+bitexact" il_96x64
# Streams other encoders' settings produce: video packets (slice threads), B-pictures with a
# version-2 layer header, an extended pixel aspect ratio; and a quarter-pel stream to refuse.
enc4() { # like enc, with its own thread and B-picture options
    ffmpeg -loglevel error -y -f lavfi -i "$1" -frames:v "$2" -c:v mpeg4 -flags +bitexact $3 -f m4v "$4.m4v"
    ffmpeg -loglevel error -y -i "$4.m4v" -f rawvideo -pix_fmt yuv420p "$4.yuv"
    python3 -c "import zlib,struct,sys; d=open(sys.argv[1],'rb').read(); open(sys.argv[1]+'.z','wb').write(struct.pack('>I',len(d))+zlib.compress(d,9))" "$4.yuv"
    rm "$4.yuv"
}
enc4 "testsrc2=size=64x48:rate=25,pad=128:96:32:24:gray,rotate=0.06*t:fillcolor=gray" 8 "-threads 4 -slices 3 -g 4 -bf 0 -q:v 4" vp_128x96
# A pattern sliding over a flat ground: the co-located vectors that direct mode scales.
slide="testsrc2=size=64x48:rate=25,pad=192:128:64:40:gray,crop=96:64:'40+t*75':'24+t*50'"
enc4 "$slide" 10 "-threads 1 -g 10 -bf 2 -q:v 4" b_96x64
# video packets in B-pictures too (their markers are longer)
enc4 "testsrc2=size=64x48:rate=25,pad=192:128:64:40:gray,rotate=0.4*t:fillcolor=gray,crop=128:96:'40+t*75':'24+t*50'" \
    7 "-threads 4 -slices 3 -g 7 -bf 2 -q:v 4" vpb_128x96
# turning as it slides: four-vector co-located macroblocks
enc4 "testsrc2=size=64x48:rate=25,pad=192:128:64:40:gray,rotate=0.4*t:fillcolor=gray,crop=96:64:'40+t*75':'24+t*50'" \
    10 "-threads 1 -g 10 -bf 2 -flags +mv4+bitexact -q:v 4" b4v_96x64
enc4 "testsrc2=size=40x32:rate=25,pad=80:64:20:16:gray,setsar=5/3" 3 "-threads 1 -g 3 -bf 0 -q:v 5" par_80x64
ffmpeg -loglevel error -y -f lavfi -i "testsrc2=size=32x32:rate=25" -frames:v 2 -threads 1 -c:v mpeg4 -bf 0 \
    -flags +bitexact+qpel -f m4v qpel_32x32.m4v
# Interlaced B-pictures: direct mode over field-predicted macroblocks is not served.
enc4 "testsrc2=size=64x48:rate=25,pad=192:128:64:40:gray,rotate=0.4*t:fillcolor=gray,crop=96:64:'40+t*75':'24+t*50'" \
    10 "-threads 1 -g 10 -bf 2 -flags +bitexact+ildct+ilme -q:v 4" ilb_96x64
# A hand-made layer with a 6-bit quant_precision (quantisers above 31) and the script's own
# reconstruction of it, checked against ffmpeg on the same layer at 5 bits.
python3 make_qp6.py --check
