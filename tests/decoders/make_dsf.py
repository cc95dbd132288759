# make_dsf.py OUT RATE SECONDS: a stereo DSF of two tones, 1-bit by a
# first-order sigma-delta modulator (no common tool writes DSD).
import math
import struct
import sys

out, rate, secs = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
n = int(rate * secs) // 8 * 8
block = 4096
channels = []
for c in range(2):
    bits = bytearray(n // 8)
    acc = 0.0
    w = 2 * math.pi * (1000 + 500 * c) / rate
    for i in range(n):
        y = 1.0 if acc >= 0 else -1.0
        acc += 0.5 * math.sin(w * i) - y
        if y > 0:
            bits[i >> 3] |= 1 << (i & 7)  # least significant bit first
    channels.append(bytes(bits) + b"\0" * ((-len(bits)) % block))
data = b"".join(ch[k:k + block] for k in range(0, len(channels[0]), block) for ch in channels)
fmt = struct.pack("<4sQIIIIIIQII", b"fmt ", 52, 1, 0, 2, 2, rate, 1, n, block, 0)
body = fmt + struct.pack("<4sQ", b"data", 12 + len(data)) + data
with open(out, "wb") as f:
    f.write(struct.pack("<4sQQQ", b"DSD ", 28, 28 + len(body), 0) + body)
