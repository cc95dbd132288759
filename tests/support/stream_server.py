#!/usr/bin/env python3
"""A small HTTP server on the loopback interface that plays the good and the
bad radio stations the stream input must cope with.

  stream_server.py MP3 LOW_MP3 OGG [CERT KEY]

MP3 is a constant 128 kbit/s MP3 (16000 bytes a second), LOW_MP3 an MP3 of
another rate and channel count, OGG an Ogg Vorbis file (for /change). Prints "PORT TLSPORT"
(TLSPORT 0 without a certificate) on one line once it listens, and stops by
itself after LIFETIME seconds (environment, default 120) or when its standard
input closes. Every request loop is bounded in time.

Paths:
  /file.mp3                the MP3, with its length (as a web server)
  /dir with space/café.mp3 the same, reached only by its percent-encoded path
  /icy                     the MP3 as a live stream paced in real time, with
                           ICY metadata every 8000 bytes, its title and
                           station in ISO-8859-1
  /stall                   live; a 3 s burst, 1 s paced, a 1.5 s stall, 1 s
                           paced, a 4 s stall, then paced again
  /drop                    one second of the MP3, then the connection closes
  /change                  the MP3, then LOW_MP3, then OGG in one response
  /metaint                 the MP3 behind a 2 GB ICY metadata interval claim
  /404, /html, /loop       not found, an HTML page, a redirect to itself
  /endless                 a header that never ends (a line every 10 ms)
  /short                   a quarter of the MP3 under the whole one's length
  /hls/master.m3u8         an HLS master list of one variant, whose media list
                           plays the MP3 as two segments
  /hls/loop.m3u8           a master list whose 10 variants are itself again
  /metaint1                the MP3 live, with an ICY block after every byte
                           (without them when ICY is not asked for)
Counts every request; /count answers how many came (itself excluded).
"""

import os
import socket
import ssl
import sys
import threading
import time

BYTES_PER_SECOND = 16000
LIFETIME = float(os.environ.get("LIFETIME", "120"))
STOP_AT = time.monotonic() + LIFETIME

mp3, low_mp3, ogg = (open(p, "rb").read() for p in sys.argv[1:4])
requests = 0
lock = threading.Lock()


def send(conn, data):
    conn.sendall(data)


def head(conn, status="200 OK", fields=()):
    lines = ["HTTP/1.0 " + status] + [f"{k}: {v}" for k, v in fields]
    send(conn, ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1"))


def looped(data):
    """The MP3 again and again, from its first frame."""
    while True:
        yield from (data[i:i + 1000] for i in range(0, len(data), 1000))


def paced(conn, chunks, seconds, icy=None):
    """Sends `seconds` of the stream in real time (icy: insert metadata)."""
    start = time.monotonic()
    sent = 0
    while time.monotonic() - start < seconds and time.monotonic() < STOP_AT:
        due = (time.monotonic() - start) * BYTES_PER_SECOND
        while sent < due:
            chunk = next(chunks)
            send(conn, icy(chunk) if icy else chunk)
            sent += len(chunk)
        time.sleep(0.02)


def icy_inserter(interval, block):
    """Returns a function that puts `block` after every `interval` bytes."""
    state = {"left": interval}

    def insert(chunk):
        out = []
        at = 0
        while at < len(chunk):
            take = chunk[at:at + state["left"]]
            out.append(take)
            at += len(take)
            state["left"] -= len(take)
            if state["left"] == 0:
                out.append(block)
                state["left"] = interval
        return b"".join(out)

    return insert


def handle(conn):
    global requests
    try:
        conn.settimeout(3)
        request = b""
        while b"\r\n\r\n" not in request and len(request) < 65536:
            data = conn.recv(4096)
            if not data:
                return
            request += data
        target = request.split(b" ")[1].decode("latin-1")
        path = target.split("?")[0]
        if path == "/count":
            head(conn, fields=[("Content-Type", "text/plain")])
            send(conn, str(requests).encode())
            return
        with lock:
            requests += 1
        if path in ("/file.mp3", "/dir%20with%20space/caf%C3%A9.mp3"):
            head(conn, fields=[("Content-Type", "audio/mpeg"), ("Content-Length", len(mp3))])
            send(conn, mp3)
        elif path == "/icy":
            title = "StreamTitle='Caf\xe9 Artist - Cr\xe8me Song';".encode("latin-1")
            block = bytes([(len(title) + 15) // 16]) + title
            block += b"\0" * (1 + 16 * block[0] - len(block))
            head(conn, "200 OK", [("Content-Type", "audio/mpeg"), ("icy-metaint", 8000),
                                   ("icy-name", "Radio \xe9t\xe9")])
            paced(conn, looped(mp3), 60, icy_inserter(8000, block))
        elif path == "/stall":
            head(conn, fields=[("Content-Type", "audio/mpeg")])
            chunks = looped(mp3)
            for _ in range(3 * BYTES_PER_SECOND // 1000):
                send(conn, next(chunks))
            for seconds, gap in ((1, 1.5), (1, 4), (60, 0)):
                paced(conn, chunks, seconds)
                time.sleep(gap)
        elif path == "/drop":
            head(conn, fields=[("Content-Type", "audio/mpeg")])
            send(conn, mp3[:BYTES_PER_SECOND])
        elif path == "/change":
            head(conn, fields=[("Content-Type", "audio/mpeg")])
            send(conn, mp3[:2 * BYTES_PER_SECOND] + low_mp3 + ogg)
        elif path == "/short":
            head(conn, fields=[("Content-Type", "audio/mpeg"), ("Content-Length", len(mp3))])
            send(conn, mp3[:len(mp3) // 4])
        elif path in ("/hls/master.m3u8", "/hls/media.m3u8", "/hls/loop.m3u8"):
            if path == "/hls/media.m3u8":
                body = "#EXTM3U\n#EXT-X-TARGETDURATION:20\n#EXT-X-MEDIA-SEQUENCE:0\n"
                body += "#EXTINF:20,\n/file.mp3\n" * 2 + "#EXT-X-ENDLIST\n"
            else:
                variant = "media.m3u8" if path == "/hls/master.m3u8" else "loop.m3u8"
                body = "#EXTM3U\n" + "".join(
                    f"#EXT-X-STREAM-INF:BANDWIDTH={128000 + i}\n{variant}?v={i}\n"
                    for i in range(1 if variant == "media.m3u8" else 10))
            head(conn, fields=[("Content-Type", "application/vnd.apple.mpegurl"),
                               ("Content-Length", len(body))])
            send(conn, body.encode())
        elif path == "/metaint1" and b"icy-metadata: 1" not in request.lower():
            head(conn, fields=[("Content-Type", "audio/mpeg")])
            paced(conn, looped(mp3), 60)
        elif path == "/metaint1":
            title = b"StreamTitle='Tiny';"
            block = bytes([(len(title) + 15) // 16]) + title
            block += b"\0" * (1 + 16 * block[0] - len(block))
            head(conn, fields=[("Content-Type", "audio/mpeg"), ("icy-metaint", 1)])
            paced(conn, looped(mp3), 60, icy_inserter(1, block))
        elif path == "/metaint":
            head(conn, fields=[("Content-Type", "audio/mpeg"), ("icy-metaint", 2 ** 31)])
            paced(conn, looped(mp3), 60)
        elif path == "/html":
            page = b"<!DOCTYPE html><html><body>" + b"<p>No radio here.</p>" * 200 + b"</body></html>"
            head(conn, fields=[("Content-Type", "text/html"), ("Content-Length", len(page))])
            send(conn, page)
        elif path == "/loop":
            head(conn, "302 Found", [("Location", "/loop")])
        elif path == "/endless":
            send(conn, b"HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n")
            for i in range(6000):  # a minute at most
                if time.monotonic() > STOP_AT:
                    break
                send(conn, b"X-Filler-%d: more to come\r\n" % i)
                time.sleep(0.01)
        else:
            head(conn, "404 Not Found", [("Content-Length", 0)])
    except (OSError, StopIteration):
        pass
    finally:
        conn.close()


def serve(listener, wrap=None):
    while time.monotonic() < STOP_AT:
        try:
            conn, _ = listener.accept()
        except socket.timeout:
            continue
        except OSError:
            return
        if wrap:
            try:
                conn.settimeout(5)
                conn = wrap.wrap_socket(conn, server_side=True)
            except (OSError, ssl.SSLError):
                conn.close()
                continue
        threading.Thread(target=handle, args=(conn,), daemon=True).start()


def listen():
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("127.0.0.1", 0))
    s.listen(32)
    s.settimeout(0.5)
    return s


def main():
    plain = listen()
    secure, context = None, None
    if len(sys.argv) > 5:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(sys.argv[4], sys.argv[5])
        secure = listen()
    print(plain.getsockname()[1], secure.getsockname()[1] if secure else 0, flush=True)
    threading.Thread(target=serve, args=(plain,), daemon=True).start()
    if secure:
        threading.Thread(target=serve, args=(secure, context), daemon=True).start()
    # Ends with its parent: standard input closes when the test goes.
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    while time.monotonic() < STOP_AT:
        time.sleep(0.5)
    os._exit(0)


main()
