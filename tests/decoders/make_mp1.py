# make_mp1.py OUT FRAMES: MPEG-1 layer I, 48 kHz mono at 192 kb/s, a tone in
# the third subband (no common tool encodes layer I).
import math
import sys

out, frames = sys.argv[1], int(sys.argv[2])


class Bits:
    def __init__(self):
        self.value, self.count = 0, 0

    def put(self, value, width):
        self.value, self.count = self.value << width | value, self.count + width

    def bytes(self, size):
        self.put(0, size * 8 - self.count)
        return self.value.to_bytes(size, "big")


data = b""
for f in range(frames):
    b = Bits()
    # Sync, MPEG-1, layer I, no CRC, 192 kb/s, 48 kHz, no padding, mono.
    for value, width in [(0xFFF, 12), (1, 1), (3, 2), (1, 1), (6, 4), (1, 2), (0, 1), (0, 1),
                         (3, 2), (0, 2), (0, 1), (1, 1), (0, 2)]:
        b.put(value, width)
    for sb in range(32):
        b.put(3 if sb == 2 else 0, 4)  # 4-bit samples in subband 2 only
    b.put(8, 6)  # its scale factor
    for k in range(12):
        x = math.sin(2 * math.pi * (f * 12 + k) / 7.0)
        b.put(int(round((x * 0.9 + 1) / 2 * 14)) ^ 0x8, 4)  # the code's top bit is inverted
    data += b.bytes(192)
with open(out, "wb") as f:
    f.write(data)
