#!/usr/bin/env python3
# Writes qp6_64x48.m4v, a hand-made layer with a 6-bit quant_precision (quantisers 33 to 63, out
# of reach of the usual 5 bits): one intra and two predicted pictures, and qp6_64x48.yuv.z, its
# pictures as this script reconstructs them (ffmpeg holds quantisers to 31, so it cannot serve as
# the reference here). Every coefficient is coded with the fixed-length escape, so no code table
# is needed. With --check the same layer is also written at 5 bits with quantisers 20 to 31 and
# decoded by ffmpeg, which must agree with this script's pictures: that checks the reconstruction.
import math
import random
import struct
import subprocess
import sys
import tempfile
import zlib

W, H = 64, 48
MB_COLS, MB_ROWS = W // 16, H // 16

ZIGZAG = [0, 1, 8, 16, 9, 2, 3, 10, 17, 24, 32, 25, 18, 11, 4, 5, 12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,
          7, 14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31,
          39, 46, 53, 60, 61, 54, 47, 55, 62, 63]


class Bits:
    def __init__(self):
        self.bits = []

    def put(self, value, n):
        self.bits += [(value >> (n - 1 - i)) & 1 for i in range(n)]

    def code(self, text):
        self.bits += [int(c) for c in text]

    def stuff(self):  # a 0, then 1s up to the byte boundary
        self.put(0, 1)
        while len(self.bits) % 8:
            self.put(1, 1)

    def start_code(self, code):
        assert len(self.bits) % 8 == 0
        self.put(code, 32)

    def bytes(self):
        assert len(self.bits) % 8 == 0
        return bytes(int(''.join(map(str, self.bits[i:i + 8])), 2) for i in range(0, len(self.bits), 8))


def put_events(b, events):
    for i, (run, level) in enumerate(events):
        b.code('0000011' '11')  # escape, fixed-length form
        b.put(int(i == len(events) - 1), 1)
        b.put(run, 6)
        b.put(1, 1)
        b.put(level & 0xFFF, 12)
        b.put(1, 1)


def random_events(rng, dc=None):
    """A few coefficient events among the first twenty positions; the first one is the DC
    difference when one is given."""
    events = [(0, dc)] if dc is not None else []
    for _ in range(rng.randint(1, 3)):
        events.append((rng.randint(0, 4), rng.choice([-2, -1, 1, 2])))
    return events


def dequantise(level, q):
    if level == 0:
        return 0
    m = 2 * q * abs(level) + (q if q & 1 else q - 1)
    return max(-2048, min(2047, m if level > 0 else -m))


def dc_scaler(q, luma):
    if q <= 4:
        return 8
    if luma:
        return 2 * q if q <= 8 else q + 8 if q <= 24 else 2 * q - 16
    return (q + 13) // 2 if q <= 24 else q - 6


def idct(coefficients):
    """The exact inverse DCT, rounded to integers."""
    c = [1 / math.sqrt(2)] + [1.0] * 7
    out = []
    for y in range(8):
        for x in range(8):
            s = 0.0
            for v in range(8):
                for u in range(8):
                    f = coefficients[v * 8 + u]
                    if f:
                        s += c[u] * c[v] * f * math.cos((2 * x + 1) * u * math.pi / 16) * \
                            math.cos((2 * y + 1) * v * math.pi / 16)
            out.append(int(math.floor(s / 4 + 0.5)))
    return out


def block_origin(b, mx, my):
    """Plane number, x and y of block b of macroblock (mx, my)."""
    if b < 4:
        return 0, 16 * mx + 8 * (b & 1), 16 * my + 8 * (b >> 1)
    return b - 3, 8 * mx, 8 * my


class Picture:
    def __init__(self, previous=None):
        self.planes = [list(p) for p in previous.planes] if previous else \
            [[0] * (W * H), [0] * (W * H // 4), [0] * (W * H // 4)]

    def write_block(self, plane, x0, y0, values, add):
        width = W if plane == 0 else W // 2
        p = self.planes[plane]
        for y in range(8):
            for x in range(8):
                i = (y0 + y) * width + x0 + x
                p[i] = max(0, min(255, (p[i] if add else 0) + values[y * 8 + x]))

    def i420(self):
        return bytes(self.planes[0] + self.planes[1] + self.planes[2])


def make(precision, first_quant):
    rng = random.Random(6)
    low, high = first_quant - 7, (1 << precision) - 1
    b = Bits()
    b.start_code(0x100)
    b.start_code(0x120)
    b.put(0, 1)      # random_accessible_vol
    b.put(1, 8)      # simple object
    b.put(0, 1)      # is_object_layer_identifier
    b.put(1, 4)      # square pixels
    b.put(0, 1)      # vol_control_parameters
    b.put(0, 2)      # rectangular
    b.put(1, 1)
    b.put(25, 16)    # vop_time_increment_resolution
    b.put(1, 1)
    b.put(0, 1)      # fixed_vop_rate
    b.put(1, 1)
    b.put(W, 13)
    b.put(1, 1)
    b.put(H, 13)
    b.put(1, 1)
    b.put(0, 1)      # interlaced
    b.put(1, 1)      # obmc_disable
    b.put(0, 1)      # sprite_enable
    b.put(int(precision != 5), 1)  # not_8_bit
    if precision != 5:
        b.put(precision, 4)
        b.put(8, 4)  # bits_per_pixel
    b.put(0, 1)      # quant_type
    b.put(1, 1)      # complexity_estimation_disable
    b.put(1, 1)      # resync_marker_disable
    b.put(0, 1)      # data_partitioned
    b.put(0, 1)      # scalability
    b.stuff()

    pictures = []
    for n, kind in enumerate('IPP'):
        picture = Picture(pictures[-1] if pictures else None)
        dc = {}  # reconstructed DC of every block: (plane, block x, block y)
        b.start_code(0x1B6)
        b.put(0 if kind == 'I' else 1, 2)
        b.put(0, 1)  # modulo_time_base
        b.put(1, 1)
        b.put(n, 5)  # vop_time_increment
        b.put(1, 1)
        b.put(1, 1)  # vop_coded
        if kind == 'P':
            b.put(0, 1)  # vop_rounding_type
        b.put(7, 3)  # intra_dc_vlc_thr: every DC is a coefficient event
        q = first_quant + 3 * n
        b.put(q, precision)
        if kind == 'P':
            b.put(1, 3)  # vop_fcode_forward
        for mb in range(MB_COLS * MB_ROWS):
            mx, my = mb % MB_COLS, mb // MB_COLS
            if kind == 'P':
                b.put(0, 1)       # coded
                b.code('000000101')  # inter with dquant, chroma coded
                b.code('0011')    # luma coded
            else:
                b.code('000011')  # intra with dquant, chroma coded
                b.put(0, 1)       # ac_pred_flag
                b.code('11')      # luma coded
            steps = [d for d in (-1, -2, 1, 2) if low <= q + d <= high]
            d = rng.choice(steps)
            b.put({-1: 0, -2: 1, 1: 2, 2: 3}[d], 2)
            q += d
            if kind == 'P':
                b.code('1' '1')   # zero motion vector difference: a copy of the picture before
            for blk in range(6):
                plane, x0, y0 = block_origin(blk, mx, my)
                events = random_events(rng, rng.choice([-2, -1, 1, 2]) if kind == 'I' else None)
                put_events(b, events)
                coefficients = [0] * 64
                position = 0
                for run, level in events:
                    position += run
                    coefficients[ZIGZAG[position]] = level
                    position += 1
                if kind == 'I':
                    # DC from the left or the upper block, whichever the gradient favours
                    bx, by = x0 // 8, y0 // 8
                    left, corner, above = (dc.get((plane, bx + dx, by + dy), 1024)
                                           for dx, dy in ((-1, 0), (-1, -1), (0, -1)))
                    prediction = above if abs(left - corner) < abs(corner - above) else left
                    scaler = dc_scaler(q, plane == 0)
                    level = (prediction + scaler // 2) // scaler + coefficients[0]
                    dc[(plane, bx, by)] = max(-2048, min(2047, level * scaler))
                    values = [dc[(plane, bx, by)]] + [dequantise(c, q) for c in coefficients[1:]]
                else:
                    values = [dequantise(c, q) for c in coefficients]
                picture.write_block(plane, x0, y0, idct(values), add=kind == 'P')
        b.stuff()
        pictures.append(picture)
    return b.bytes(), b''.join(p.i420() for p in pictures)


def psnr(a, b):
    se = sum((x - y) ** 2 for x, y in zip(a, b))
    return 99.0 if se == 0 else 10 * math.log10(255 * 255 * len(a) / se)


def main():
    stream, pictures = make(6, 40)
    open('qp6_64x48.m4v', 'wb').write(stream)
    open('qp6_64x48.yuv.z', 'wb').write(struct.pack('>I', len(pictures)) + zlib.compress(pictures, 9))
    if '--check' in sys.argv:
        stream5, pictures5 = make(5, 24)
        with tempfile.NamedTemporaryFile(suffix='.m4v') as f:
            f.write(stream5)
            f.flush()
            decoded = subprocess.run(['ffmpeg', '-loglevel', 'error', '-i', f.name, '-f', 'rawvideo',
                                      '-pix_fmt', 'yuv420p', '-'], capture_output=True, check=True).stdout
        value = psnr(decoded, pictures5)
        print('reconstruction against ffmpeg at 5 bits: %.1f dB' % value)
        if value < 50:
            sys.exit('the reconstruction disagrees with ffmpeg')


if __name__ == '__main__':
    main()
