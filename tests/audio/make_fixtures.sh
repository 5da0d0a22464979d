#!/bin/sh
# Makes the IMA ADPCM interoperability fixtures. Needs Debian's sox and ffmpeg and the built
# ima_wav_tool (first argument, default build/tests/audio/ima_wav_tool).
#   tone.u8          16 blocks (8080 samples) of a 200-3000 Hz sweep, 8-bit unsigned, 8000 Hz
#   ours.wav         that sweep encoded by our encoder
#   ours.sox.s16     ours.wav decoded by sox (16-bit little-endian)
#   ours.ffmpeg.s16  ours.wav decoded by ffmpeg
#   sox.wav          the sweep encoded by sox (256-byte blocks of 505 samples)
#   sox.s16          sox.wav decoded by sox
set -e
root=$(cd "$(dirname "$0")/../.." && pwd)
tool=$(realpath "${1:-$root/build/tests/audio/ima_wav_tool}")
cd "$(dirname "$0")/data"
sox -r 8000 -n -c 1 -b 8 -e unsigned-integer -t raw tone.u8 synth 8080s sine 200-3000 vol 0.9
"$tool" tone.u8 ours.wav
sox ours.wav -t raw -e signed-integer -b 16 -L ours.sox.s16
ffmpeg -loglevel error -y -i ours.wav -f s16le -acodec pcm_s16le ours.ffmpeg.s16
sox -t raw -r 8000 -c 1 -b 8 -e unsigned-integer tone.u8 -e ima-adpcm sox.wav
sox sox.wav -t raw -e signed-integer -b 16 -L sox.s16
