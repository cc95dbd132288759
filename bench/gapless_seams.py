#!/usr/bin/env python3
"""Finds the tracks of a list in a recording of their playback and measures
each seam between two of them.

  gapless_seams.py TOLERANCE RECORDING TRACK...

All files are raw 16-bit little-endian stereo. Each TRACK is what one track
must sound like; TOLERANCE is how far (in LSB) a played sample may stray from
it. Prints one line, "worst differing missing":
  worst      the samples (per channel) inserted at the worst seam, negative
             when the next track began early (samples lost); 0 is gapless
  differing  samples of the tracks that differ from the reference by more
             than TOLERANCE (the first track's first half is not checked:
             a sound server may cut the very start of a stream, and does so
             too after a seam where the player opened its device again)
  missing    tracks not found at all (then worst counts only found seams)
and, on standard error, every seam and track that is not clean.
"""

import sys
from array import array

FRAME = 4  # bytes: two 16-bit channels
PROBE = 256  # frames matched to find a track
SLACK = 44100  # frames a track may begin before the previous one ends


def samples(data):
    a = array("h")
    a.frombytes(data[: len(data) - len(data) % FRAME])
    if sys.byteorder != "little":
        a.byteswap()
    return a


def find(rec, rec_bytes, probe, probe_bytes, start, tol):
    """First frame at or after `start` where `probe` plays, or -1."""
    if tol == 0:
        k = rec_bytes.find(probe_bytes, start * FRAME)
        # A match must fall on a frame boundary.
        while k >= 0 and k % FRAME:
            k = rec_bytes.find(probe_bytes, k + 1)
        return k // FRAME if k >= 0 else -1
    p0, p1, n = probe[0], probe[1], len(probe)
    for f in range(start, len(rec) // 2 - n // 2 + 1):
        i = 2 * f
        if abs(rec[i] - p0) > tol or abs(rec[i + 1] - p1) > tol:
            continue
        if all(abs(rec[i + j] - probe[j]) <= tol for j in range(n)):
            return f
    return -1


def differing(rec, at, ref, first, tol):
    """(count, first frame) of the samples of `ref` from frame `first` on that
    `rec` (holding ref at frame `at`) does not play within tol; samples past
    the recording's end count."""
    count, where = 0, None
    for j in range(2 * first, len(ref)):
        i = 2 * at + j
        if i < 0 or i >= len(rec) or abs(rec[i] - ref[j]) > tol:
            count += 1
            if where is None:
                where = j // 2
    return count, where


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    tol = int(sys.argv[1])
    with open(sys.argv[2], "rb") as f:
        rec_bytes = f.read()
    rec = samples(rec_bytes)
    tracks = []
    for name in sys.argv[3:]:
        with open(name, "rb") as f:
            tracks.append(samples(f.read()))

    starts = []  # frame of each track's first sample in the recording, or None
    search = None  # the first track is looked for from the recording's start
    for t in tracks:
        frames = len(t) // 2
        # Probe the middle: a seam's damage cannot hide the track this way.
        mid = max(0, frames // 2 - PROBE // 2)
        n = min(PROBE, frames - mid)
        probe = t[2 * mid : 2 * (mid + n)]
        begin = 0 if search is None else max(0, search + mid)
        at = find(rec, rec_bytes, probe, probe.tobytes(), begin, tol) if n > 0 else -1
        if at < 0:
            starts.append(None)
            continue
        starts.append(at - mid)
        search = at - mid + frames - SLACK

    worst, diff = 0, 0
    for i, t in enumerate(tracks):
        if starts[i] is None:
            print(f"track {i + 1}: not heard", file=sys.stderr)
            continue
        count, where = differing(rec, starts[i], t, len(t) // 4 if i == 0 else 0, tol)
        if count:
            print(f"track {i + 1}: {count} samples differ, from frame {where} on", file=sys.stderr)
        diff += count
        if i == 0 or starts[i - 1] is None:
            continue
        inserted = starts[i] - (starts[i - 1] + len(tracks[i - 1]) // 2)
        if inserted:
            print(f"seam {i}/{i + 1}: {inserted} samples inserted", file=sys.stderr)
        if abs(inserted) > abs(worst):
            worst = inserted
    print(worst, diff, starts.count(None))


if __name__ == "__main__":
    main()
