#!/usr/bin/env python3
# Writes the seeds of decoder_fuzz (../corpus/decoder_fuzz/): the first frames of the fixture
# streams, one seed per path through the decoder (intra, predicted, video packets, B-pictures,
# interlace, extended pixel aspect ratio, 6-bit quantisers). The target cuts each input into frames.
import os
import re

SEEDS = {  # fixture: frames kept (in decode order)
    'i_64x48': 3,
    'p4q_96x64': 3,
    'vp_128x96': 3,
    'vpb_128x96': 4,
    'b_96x64': 4,
    'b4v_96x64': 4,
    'il_96x64': 3,
    'ilb_96x64': 4,
    'par_80x64': 2,
    'qp6_64x48': 3,
}

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.join(here, '..', 'corpus', 'decoder_fuzz')
for name, frames in SEEDS.items():
    data = open(os.path.join(here, name + '.m4v'), 'rb').read()
    vops = [m.start() for m in re.finditer(b'\x00\x00\x01\xb6', data)]
    end = vops[frames] if frames < len(vops) else len(data)
    open(os.path.join(out, name), 'wb').write(data[:end])
