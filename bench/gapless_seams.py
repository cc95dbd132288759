#!/usr/bin/env python3
"""Finds the tracks of a list in a recording of their playback and measures
each seam between two of them.

  gapless_seams.py TOLERANCE RECORDING TRACK...

All files are raw 16-bit little-endian stereo. Each TRACK is what one track
must sound like; TOLERANCE is how far (in LSB) a played sample may stray from
it. Each track is found by its first and its last samples, so that a pause
inside a track (an underrun) is told from one between two tracks. Prints one
line, "worst differing missing inside":
  worst      the samples (per channel) inserted at the worst seam, negative
             when the next track began early (samples lost); 0 is gapless
  differing  samples of the tracks that differ from the reference by more
             than TOLERANCE (the first track's first half is not checked:
             a sound server may cut the very start of a stream, and does so
             too after a seam where the player opened its device again)
  missing    tracks not found at all (then worst counts only found seams)
  inside     the samples inserted inside the worst track, as worst
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


def locate(rec, rec_bytes, track, at, begin, tol):
    """Frame where `track` begins in `rec`, by its PROBE frames from frame
    `at` on, searched for from frame `begin` on; None when not found."""
    frames = len(track) // 2
    n = min(PROBE, frames - at)
    if n <= 0:
        return None
    probe = track[2 * at : 2 * (at + n)]
    found = find(rec, rec_bytes, probe, probe.tobytes(), max(0, begin + at), tol)
    return found - at if found >= 0 else None


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

    # Where each track begins, found by its head and by its tail (None: not
    # found). A head may be cut (the start of a stream); a track is lost when
    # neither is found.
    heads, tails = [], []
    search = -len(rec)  # the first track may begin before the recording
    for t in tracks:
        frames = len(t) // 2
        head = locate(rec, rec_bytes, t, 0, search, tol)
        tail = locate(rec, rec_bytes, t, max(0, frames - PROBE), search if head is None else head, tol)
        heads.append(head if head is not None else tail)
        tails.append(tail if tail is not None else head)
        if tails[-1] is not None:
            search = tails[-1] + frames - SLACK

    worst, diff, inside = 0, 0, 0
    for i, t in enumerate(tracks):
        frames = len(t) // 2
        if heads[i] is None:
            print(f"track {i + 1}: not heard", file=sys.stderr)
            continue
        paused = tails[i] - heads[i]
        if paused:
            print(f"track {i + 1}: {paused} samples inserted inside it", file=sys.stderr)
            if abs(paused) > abs(inside):
                inside = paused
        else:
            count, where = differing(rec, tails[i], t, frames // 2 if i == 0 else 0, tol)
            if count:
                print(f"track {i + 1}: {count} samples differ, from frame {where} on", file=sys.stderr)
            diff += count
        if i == 0 or tails[i - 1] is None:
            continue
        inserted = heads[i] - (tails[i - 1] + len(tracks[i - 1]) // 2)
        if inserted:
            print(f"seam {i}/{i + 1}: {inserted} samples inserted", file=sys.stderr)
        if abs(inserted) > abs(worst):
            worst = inserted
    print(worst, diff, heads.count(None), inside)


if __name__ == "__main__":
    main()
