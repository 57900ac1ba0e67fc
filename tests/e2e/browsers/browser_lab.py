#!/usr/bin/env python3
"""A page server and browser controller for the end-to-end tests.

Serves test pages and media on 127.0.0.1 the way a real web server does
(HTTP/1.1, ranges, validators), and starts and ends real headless browsers
(Debian's chromium and firefox-esr) on request over HTTP on the same port.
The tests run under Wine and cannot start Linux processes, but they can
speak HTTP to 127.0.0.1.

    python3 browser_lab.py --serve [--port N] [--work DIR] [--port-file FILE]

Where openssl is installed the lab also serves HTTPS on a second port (written
to FILE.tls before FILE), with a certificate for 127.0.0.1 from an authority
it makes at start: Chromium takes it through its SPKI list, Firefox through
the authority put into its profile (certutil).  Browsers ask for br and zstd
over HTTPS only.

Control requests (GET or POST) take key=value lines (or a JSON object) in
the body, or the query, and answer with key=value lines:

    GET  /control/files              every served file: size, sha256, type
    GET  /control/stats              per path: requests, bytes, covered, ranges, statuses,
                                     firstSentUnixMs (when its first body bytes went out)
    POST /control/reset              forget the counters, every file back to its own mode
    POST /control/mode               path=/media/x mode=normal|whole|cut|stall [cutAt=N]
                                     (cut: the connection closes at cutAt; stall:
                                     the answer stops at cutAt until the mode changes)
    POST /control/launch             browser=chromium|firefox store=blockfile|simple
                                     userDataDir=PATH page=/media.html [tls=1]
                                     (forgets the counters unless resetStats=0; tls=1:
                                     the page over HTTPS)
    GET  /control/wait-idle?page=/media.html&timeout=MS&quiet=MS
    POST /control/stop               id=N (or every browser without id)
    GET  /control/path?path=PATH     the Linux form of a Windows path
    GET  /control/probe?path=PATH    ffprobe of a file: probed=1, duration (seconds),
                                     streams (codec types); probed=0 and error otherwise
    GET  /control/muxcheck?path=PATH&track0=A,B&track1=C,D
                                     a joined file against the served tracks (video: the
                                     addresses A, B joined; sound: C, D): checked=1, ok=1
                                     or fault=..., per track seconds and packets (mux_check.py)
    GET  /control/page?page=/x.html  a page's media and other resources; for a stream
                                     page also its playlist, tracks, segments (all, fetched,
                                     skipped), the coding its playlist was sent with
                                     (playlistCodingSent) and what its player reported
                                     (done, report.*)
    POST /control/bench-page         media=N other=M [tag=T]: makes that page, answers its path

Stream pages (/streams/<name>.html, every one at once in /streams/all.html,
and those whose playlist is sent compressed, when the client accepts it, in
/streams/encoded.html; see stream_media.py) call /streams/done?page=... with what their player did
when it has finished; wait-idle waits for that call too.

Paths may be Linux paths or Windows paths as Wine shows them (Z:\\...,
C:\\users\\...); Windows paths are resolved through WINEPREFIX.
"""

import argparse
import base64
import email.utils
import gzip
import hashlib
import http.server
import json
import os
import shutil
import signal
import socket
import ssl
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import zlib

# No compiled copy of the module beside it in the source tree.
sys.dont_write_bytecode = True
import mux_check  # noqa: E402
import stream_media  # noqa: E402

# Fixed dates keep the validators the same from one run to the next.
LAST_MODIFIED = email.utils.formatdate(1700000000, usegmt=True)

# ffmpeg options that make the same bytes on every run: one thread, no
# encoder or time stamps in the output (and no real-time encoder modes,
# whose choices depend on the clock).
BITEXACT = ["-fflags", "+bitexact", "-flags:v", "+bitexact", "-flags:a", "+bitexact", "-map_metadata", "-1"]

MEDIA_RECIPES = {
    # Larger than one 1 MiB block-file child, so its parts are spread.
    "video.mp4": ["-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=4",
                  "-f", "lavfi", "-i", "sine=frequency=440:duration=4",
                  "-vf", "noise=alls=20:allf=t:all_seed=7",
                  "-c:v", "libx264", "-preset", "ultrafast", "-qp", "30", "-pix_fmt", "yuv420p",
                  "-threads", "1", "-c:a", "aac", "-b:a", "64k", "-movflags", "+faststart"],
    "clip.webm": ["-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25:duration=3",
                  "-c:v", "libvpx", "-deadline", "good", "-cpu-used", "5", "-b:v", "300k",
                  "-threads", "1", "-an"],
    "sound.mp3": ["-f", "lavfi", "-i", "sine=frequency=660:duration=3",
                  "-c:a", "libmp3lame", "-b:a", "64k", "-id3v2_version", "0", "-write_xing", "0"],
    # About 10 KB: small enough to stay inside the block files.
    "small.mp3": ["-f", "lavfi", "-i", "sine=frequency=880:duration=1.2",
                  "-c:a", "libmp3lame", "-b:a", "64k", "-id3v2_version", "0", "-write_xing", "0"],
    # Served whole (200, no ranges): a different video, so it is its own element.
    "whole.mp4": ["-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=3",
                  "-vf", "noise=alls=20:allf=t:all_seed=11",
                  "-c:v", "libx264", "-preset", "ultrafast", "-qp", "30", "-pix_fmt", "yuv420p",
                  "-threads", "1", "-an", "-movflags", "+faststart"],
}

MEDIA_TYPES = {".mp4": "video/mp4", ".webm": "video/webm", ".mp3": "audio/mpeg", ".png": "image/png",
               ".js": "text/javascript", ".css": "text/css", ".html": "text/html; charset=utf-8"}

MIN_MP4_SIZE = 1024 * 1024 + 1


def tiny_png(width, height, rgb):
    """A solid-colour PNG made with the standard library."""
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    row = b"\x00" + bytes(rgb) * width
    raw = zlib.compress(row * height, 9)
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", raw) + chunk(b"IEND", b"")


class ServedFile:
    def __init__(self, path, data, mode="normal", content_type=None, cache_control=None):
        self.path = path
        self.data = data
        self.default_mode = mode
        self.sha256 = hashlib.sha256(data).hexdigest()
        self.etag = '"%s"' % self.sha256[:20]
        self.content_type = content_type or MEDIA_TYPES.get(os.path.splitext(path)[1], "application/octet-stream")
        self.cache_control = cache_control or "public, max-age=3600"
        self.mode = mode
        self.cut_at = len(data) // 2
        self.media = path.startswith("/media/")
        # (coding, bytes): sent instead of the plain bytes to a client that
        # accepts the coding, as a server that compresses its texts does.
        self.encoded = None


def encode(data, coding):
    """The body as a server sends it with Content-Encoding `coding`, made by
    Python's gzip or Debian's brotli and zstd tools."""
    if coding == "gzip":
        return gzip.compress(data, mtime=0)
    tool = {"br": ["brotli", "-c", "-q", "11"], "zstd": ["zstd", "-c", "-q", "-19"]}[coding]
    return subprocess.run(tool, input=data, capture_output=True, check=True).stdout


def make_media(folder):
    """Makes the test media with ffmpeg (a few seconds); name -> bytes."""
    os.makedirs(folder, exist_ok=True)
    # Side by side: each encoder uses one thread.
    running = {}
    for name, options in MEDIA_RECIPES.items():
        command = ["ffmpeg", "-nostdin", "-v", "error", "-y"] + options + BITEXACT + [os.path.join(folder, name)]
        running[name] = subprocess.Popen(command, stdin=subprocess.DEVNULL)
    result = {}
    for name, process in running.items():
        if process.wait() != 0:
            raise RuntimeError("ffmpeg could not make %s" % name)
        with open(os.path.join(folder, name), "rb") as handle:
            result[name] = handle.read()
    if len(result["video.mp4"]) < MIN_MP4_SIZE:
        raise RuntimeError("video.mp4 came out smaller than 1 MiB")
    return result


class Site:
    """The files and pages served, and what was served of each."""

    def __init__(self, media, streams=()):
        self.lock = threading.Condition()
        self.closing = False
        self.files = {}
        self.pages = {}
        # Stream pages by path; pages made of other pages (frames) by path;
        # what each stream page's player reported at its end.
        self.streams = {}
        self.parts = {}
        self.reports = {}
        for name, data in media.items():
            self.add(ServedFile("/media/" + name, data, "whole" if name == "whole.mp4" else "normal"))
        # The same video behind other addresses, for a body cut short (the
        # connection closes halfway) and one that stops halfway until released.
        self.add(ServedFile("/media/cut.mp4", media["video.mp4"], "cut"))
        self.add(ServedFile("/media/stall.mp4", media["video.mp4"], "stall"))
        self.add(ServedFile("/static/picture.png", tiny_png(64, 48, (200, 60, 30))))
        self.add(ServedFile("/static/app.js", b"document.title = 'media page';\n"
                            b"for (const m of document.querySelectorAll('video,audio')) m.play().catch(() => {});\n"))
        self.add(ServedFile("/static/style.css", b"body { background: #fafafa; font: 14px sans-serif; }\n"))
        self.add_page("/media.html", ["/media/video.mp4", "/media/clip.webm", "/media/sound.mp3"],
                      ["/static/picture.png", "/static/app.js", "/static/style.css"])
        self.add_page("/whole.html", ["/media/whole.mp4"], [])
        self.add_page("/small.html", ["/media/small.mp3"], [])
        self.add_page("/cut.html", ["/media/cut.mp4"], [])
        self.add_page("/stall.html", ["/media/stall.mp4"], [])
        self.add(ServedFile("/streams/player.js", stream_media.player_script()))
        for stream in streams:
            for path, (data, content_type, cache_control) in stream.files.items():
                served = ServedFile(path, data, content_type=content_type, cache_control=cache_control)
                if path == stream.playlist and stream.recipe.encoding:
                    served.encoded = (stream.recipe.encoding, encode(data, stream.recipe.encoding))
                self.add(served)
            self.streams[stream.page] = stream
            self.pages[stream.page] = (stream.media(), ["/streams/player.js"])
            self.add(ServedFile(stream.page, stream_media.stream_page_html(stream)))
        if streams:
            # Every stream page at once, each in its frame: one browser run fills
            # one cache with all of them.  The pages whose playlists are sent
            # compressed are apart: over plain HTTP browsers accept gzip only,
            # so they are for HTTPS runs.
            plain = [s for s in streams if not s.recipe.encoding and s.recipe.in_all]
            encoded = [s for s in streams if s.recipe.encoding]
            self.parts["/streams/all.html"] = [s.page for s in plain]
            self.pages["/streams/all.html"] = ([p for s in plain for p in s.media()], ["/streams/player.js"])
            self.add(ServedFile("/streams/all.html", stream_media.all_streams_html(plain)))
            if encoded:
                self.parts["/streams/encoded.html"] = [s.page for s in encoded]
                self.pages["/streams/encoded.html"] = ([p for s in encoded for p in s.media()],
                                                       ["/streams/player.js"])
                self.add(ServedFile("/streams/encoded.html", stream_media.all_streams_html(encoded)))
        self.reset()

    def add(self, served):
        self.files[served.path] = served

    def add_page(self, path, media, others):
        self.pages[path] = (media, others)
        self.add(ServedFile(path, page_html(media, others)))

    def bench_page(self, media_count, other_count, tag=""):
        """A page of N media and M other resources, each behind its own address;
        a tag gives the page and its resources addresses of their own, so one
        browser profile can load several such pages without cache hits."""
        if tag and not tag.isalnum():
            raise ValueError("tag must be letters and digits")
        suffix = "-" + tag if tag else ""
        folder = tag + "/" if tag else ""
        path = "/bench-%d-%d%s.html" % (media_count, other_count, suffix)
        with self.lock:
            if path in self.pages:
                return path
            sources = ["/media/video.mp4", "/media/clip.webm", "/media/sound.mp3"]
            media = []
            for index in range(media_count):
                source = self.files[sources[index % len(sources)]]
                copy = ServedFile("/media/bench/%s%d/%s" % (folder, index, source.path.rsplit("/", 1)[1]), source.data)
                self.add(copy)
                media.append(copy.path)
            others = []
            for index in range(other_count):
                if index % 3 == 0:
                    served = ServedFile("/static/bench/%s%d.png" % (folder, index),
                                        tiny_png(8 + index % 32, 8, (index % 256, 80, 160)))
                elif index % 3 == 1:
                    served = ServedFile("/static/bench/%s%d.js" % (folder, index), b"window.v%d = %d;\n" % (index, index))
                else:
                    served = ServedFile("/static/bench/%s%d.css" % (folder, index), b".c%d { color: #%06x; }\n" % (index, index))
                self.add(served)
                others.append(served.path)
            self.pages[path] = (media, others)
            self.add(ServedFile(path, page_html(media, others)))
            return path

    def reset(self):
        with self.lock:
            self.stats = {}
            self.reports = {}
            self.codings_sent = {}  # path -> the Content-Encoding last sent
            self.active = 0
            self.stalled = 0
            self.last_activity = time.monotonic()
            self.lock.notify_all()

    def record(self, path, status, first, last, sent):
        """One response (or part of one) served: [first, last] of the file, `sent` bytes."""
        with self.lock:
            entry = self.stats.setdefault(path, {"requests": 0, "bytes": 0, "ranges": [], "statuses": [],
                                                 "spans": []})
            if status is not None:
                entry["requests"] += 1
                entry["statuses"].append(str(status))
            entry["bytes"] += sent
            if sent > 0:
                entry["spans"].append((first, first + sent))
                # Wall-clock time, comparable with the Windows side's system time.
                entry.setdefault("first_sent", int(time.time() * 1000))
            self.last_activity = time.monotonic()
            self.lock.notify_all()

    def record_range(self, path, header):
        with self.lock:
            entry = self.stats.setdefault(path, {"requests": 0, "bytes": 0, "ranges": [], "statuses": [],
                                                 "spans": []})
            entry["ranges"].append(header or "none")

    def covered(self, path):
        """Bytes of the file sent at least once (the union of the spans)."""
        spans = sorted(self.stats.get(path, {}).get("spans", []))
        total, end = 0, 0
        for first, last in spans:
            if last > end:
                total += last - max(first, end)
                end = last
        return total

    def begin(self):
        with self.lock:
            self.active += 1
            self.last_activity = time.monotonic()

    def end(self):
        with self.lock:
            self.active -= 1
            self.last_activity = time.monotonic()
            self.lock.notify_all()

    def report(self, values):
        """A stream page's player says it has finished."""
        page = values.get("page", "")
        if page not in self.streams:
            raise KeyError("no stream page %s" % page)
        with self.lock:
            self.reports[page] = {k: v for k, v in values.items() if k != "page"}
            self.last_activity = time.monotonic()
            self.lock.notify_all()

    def page_error(self, page):
        """The first error a stream page (or a page of frames) reported."""
        for part in [page] + self.parts.get(page, []):
            error = self.reports.get(part, {}).get("error", "")
            if error:
                return "%s: %s" % (part, error)
        return ""

    def wait_idle(self, page, timeout, quiet, browsers_alive=lambda: True):
        """Waits until every medium of the page was sent in full (up to its cut),
        every stream player on it reported its end, and nothing was served
        for `quiet` seconds; gives up early when no browser runs any more or
        a player reported an error."""
        media = self.pages.get(page, ([], []))[0]
        players = [p for p in [page] + self.parts.get(page, []) if p in self.streams]
        deadline = time.monotonic() + timeout
        with self.lock:
            while True:
                now = time.monotonic()
                if self.page_error(page):
                    return False
                fetched = all(self.covered(path) >= self.expected(path) for path in media) and all(
                    p in self.reports for p in players)
                page_seen = page not in self.files or self.stats.get(page, {}).get("requests", 0) > 0
                busy = self.active - self.stalled
                if fetched and page_seen and busy == 0 and now - self.last_activity >= quiet:
                    return True
                if now >= deadline or not browsers_alive():
                    return False
                wake = min(deadline, self.last_activity + quiet) if fetched else deadline
                self.lock.wait(max(0.01, min(0.25, wake - now)))

    def expected(self, path):
        served = self.files[path]
        if path in self.codings_sent:
            return len(served.encoded[1])
        return served.cut_at if served.mode in ("cut", "stall") else len(served.data)

    def hold(self, served):
        """A stalled answer waits here, its connection open, until its file's
        mode changes or the lab ends."""
        with self.lock:
            self.stalled += 1
            self.lock.notify_all()
            try:
                while served.mode == "stall" and not self.closing:
                    self.lock.wait(0.5)
            finally:
                self.stalled -= 1
                self.last_activity = time.monotonic()


def page_html(media, others):
    lines = ["<!DOCTYPE html>", "<html><head><meta charset=\"utf-8\"><title>lab</title>"]
    for path in others:
        if path.endswith(".css"):
            lines.append('<link rel="stylesheet" href="%s">' % path)
    lines.append("</head><body>")
    for path in media:
        tag = "audio" if path.endswith(".mp3") else "video"
        lines.append('<%s src="%s" autoplay muted preload="auto"></%s>' % (tag, path, tag))
    for path in others:
        if path.endswith(".png"):
            lines.append('<img src="%s" alt="">' % path)
        elif path.endswith(".js"):
            lines.append('<script src="%s"></script>' % path)
    lines.append("</body></html>")
    return ("\n".join(lines) + "\n").encode()


def parse_range(header, size):
    """One 'bytes=a-b' range as (first, last) inclusive; None: the whole file;
    'bad': not satisfiable."""
    if not header or not header.startswith("bytes=") or "," in header:
        return None
    first_text, _, last_text = header[6:].strip().partition("-")
    try:
        if first_text == "":
            length = int(last_text)
            if length <= 0:
                return "bad"
            return (max(0, size - length), size - 1)
        first = int(first_text)
        last = int(last_text) if last_text else size - 1
    except ValueError:
        return None
    if first >= size or last < first:
        return "bad"
    return (first, min(last, size - 1))


def to_linux_path(path, wineprefix):
    """A Linux path for a Linux path or a Windows path as Wine shows it."""
    if path.startswith("/"):
        return path
    if len(path) >= 3 and path[1] == ":" and path[2] in "\\/":
        if not wineprefix:
            raise ValueError("a Windows path needs WINEPREFIX")
        drive = os.path.realpath(os.path.join(wineprefix, "dosdevices", path[0].lower() + ":"))
        current = drive
        for part in [p for p in path[3:].replace("\\", "/").split("/") if p]:
            exact = os.path.join(current, part)
            if not os.path.exists(exact) and os.path.isdir(current):
                # Wine compares names without case.
                match = [n for n in os.listdir(current) if n.lower() == part.lower()]
                if match:
                    exact = os.path.join(current, match[0])
            current = exact
        return current
    raise ValueError("not an absolute path: %r" % path)


RUN_MARKER = "EE_BROWSER_LAB_RUN"


def browser_processes(session, marker):
    """Live processes of one browser run: its session, and whatever left the
    session (the crash handler) but inherited the run's marker variable."""
    found = []
    wanted = ("%s=%s" % (RUN_MARKER, marker)).encode()
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % name) as handle:
                stat = handle.read()
            fields = stat[stat.rfind(")") + 2:].split()
            # state ppid pgrp session ...
            if fields[0] in ("Z", "X"):
                continue
            if int(fields[3]) == session:
                found.append(int(name))
                continue
            with open("/proc/%s/environ" % name, "rb") as handle:
                if wanted in handle.read().split(b"\0"):
                    found.append(int(name))
        except (OSError, ValueError, IndexError):
            continue
    return found


LOCK_LINKS = ("SingletonLock", "SingletonSocket", "SingletonCookie", "lock")


def remove_lock_links(folder):
    """The browsers leave lock links behind (Chromium's Singleton*, pointing
    at a host name or at a socket, Firefox's lock) that Wine cannot delete."""
    removed = 0
    for root, dirs, files in os.walk(folder):
        for name in dirs + files:
            full = os.path.join(root, name)
            if os.path.islink(full) and (name in LOCK_LINKS or not os.path.exists(full)):
                os.unlink(full)
                removed += 1
    return removed


FIREFOX_PREFS = {
    "media.autoplay.default": 0,
    "media.autoplay.blocking_policy": 0,
    "browser.shell.checkDefaultBrowser": False,
    "browser.startup.homepage_override.mstone": "ignore",
    "browser.aboutwelcome.enabled": False,
    "datareporting.policy.dataSubmissionEnabled": False,
    "datareporting.healthreport.uploadEnabled": False,
    "toolkit.telemetry.reportingpolicy.firstRun": False,
    "app.update.enabled": False,
    "app.normandy.enabled": False,
    "extensions.update.enabled": False,
    "network.captive-portal-service.enabled": False,
    "network.connectivity-service.enabled": False,
    "network.proxy.type": 0,
    "network.http.http3.enable": False,
    "browser.safebrowsing.malware.enabled": False,
    "browser.safebrowsing.phishing.enabled": False,
    "browser.safebrowsing.downloads.enabled": False,
    "browser.cache.disk.smart_size.enabled": False,
    "browser.cache.disk.capacity": 1048576,
}


class Browser:
    def __init__(self, ident, kind, process, folders, cache, started, private):
        self.private = private
        self.ident = ident
        self.kind = kind
        self.process = process
        self.folders = folders
        self.cache = cache
        self.started = started


class TlsSite:
    """HTTPS for the lab: a certificate authority and a certificate for
    127.0.0.1 made at start with openssl, so the browsers negotiate br and
    zstd (which they ask for over HTTPS only) as they do with real sites."""

    def __init__(self, folder):
        os.makedirs(folder, exist_ok=True)
        self.folder = folder
        self.ca = os.path.join(folder, "ca.pem")
        self.cert = os.path.join(folder, "cert.pem")
        self.key = os.path.join(folder, "key.pem")
        ca_key = os.path.join(folder, "ca-key.pem")
        run = lambda *command: subprocess.run(command, check=True, capture_output=True)  # noqa: E731
        run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", ca_key, "-out", self.ca,
            "-days", "2", "-subj", "/CN=Browser Lab CA", "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
        request = os.path.join(folder, "cert.csr")
        run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", self.key, "-out", request,
            "-subj", "/CN=127.0.0.1")
        extensions = os.path.join(folder, "cert.ext")
        with open(extensions, "w") as handle:
            handle.write("subjectAltName=IP:127.0.0.1,DNS:localhost\nextendedKeyUsage=serverAuth\n"
                         "basicConstraints=CA:FALSE\n")
        run("openssl", "x509", "-req", "-in", request, "-CA", self.ca, "-CAkey", ca_key, "-CAcreateserial",
            "-out", self.cert, "-days", "2", "-extfile", extensions)
        # The base64 SHA-256 of the certificate's public key, as Chromium's
        # --ignore-certificate-errors-spki-list takes it.
        public = run("openssl", "x509", "-in", self.cert, "-pubkey", "-noout").stdout
        der = subprocess.run(["openssl", "pkey", "-pubin", "-outform", "der"], input=public, check=True,
                             capture_output=True).stdout
        self.spki = base64.b64encode(hashlib.sha256(der).digest()).decode()
        self.port = 0

    def context(self):
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(self.cert, self.key)
        return context

    def trust_in_firefox(self, profile):
        """The lab's authority trusted in a Firefox profile's certificate store."""
        if not shutil.which("certutil"):
            raise ValueError("certutil (libnss3-tools) is needed for Firefox over HTTPS")
        database = "sql:" + profile
        if not os.path.exists(os.path.join(profile, "cert9.db")):
            subprocess.run(["certutil", "-N", "-d", database, "--empty-password"], check=True, capture_output=True)
        subprocess.run(["certutil", "-A", "-d", database, "-n", "Browser Lab CA", "-t", "C,,", "-i", self.ca],
                       check=True, capture_output=True)


class Lab:
    def __init__(self, work, wineprefix):
        self.work = work
        self.wineprefix = wineprefix
        folder = os.path.join(work, "media")
        # The streams are made while the other media are.
        streams = stream_media.start_streams(os.path.join(folder, "streams"), BITEXACT)
        media = make_media(folder)
        self.site = Site(media, stream_media.finish_streams(streams))
        self.browsers = {}
        self.tls = None  # a TlsSite once HTTPS is served
        self.next_id = 1
        self.lock = threading.Lock()

    def page_url(self, port, page, tls=False):
        if page.startswith("http:") or page.startswith("https:"):
            return page
        if tls:
            if not self.tls:
                raise ValueError("the lab serves no HTTPS here (no openssl)")
            return "https://127.0.0.1:%d%s" % (self.tls.port, page if page.startswith("/") else "/" + page)
        return "http://127.0.0.1:%d%s" % (port, page if page.startswith("/") else "/" + page)

    def launch(self, port, request):
        kind = request.get("browser", "chromium")
        page = self.page_url(port, request.get("page", "/media.html"), request.get("tls", "0") == "1")
        given = request.get("userDataDir", "")
        if not given:
            raise ValueError("userDataDir is required")
        folder = to_linux_path(given, self.wineprefix)
        separator = "/" if given.startswith("/") else "\\"
        with self.lock:
            ident = self.next_id
            self.next_id += 1
        # A short private temporary folder: Chromium's socket path must stay
        # under 107 bytes, and the leftovers stay out of the shared /tmp.
        private = os.path.join(self.work, "b%d" % ident)
        temp = os.path.join(private, "t")
        os.makedirs(temp, exist_ok=True)
        env = dict(os.environ)
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "WINEPREFIX", "WINEDEBUG", "WINEARCH", "WINEDLLOVERRIDES"):
            env.pop(name, None)
        env.update({RUN_MARKER: private, "TMPDIR": temp, "HOME": private, "XDG_CONFIG_HOME": os.path.join(private, "config"),
                    "XDG_CACHE_HOME": os.path.join(private, "cache")})
        if kind == "chromium":
            store = request.get("store", "simple")
            command = [shutil.which("chromium") or "chromium", "--headless=new", "--no-sandbox",
                       "--disable-gpu", "--disable-quic", "--no-first-run", "--no-default-browser-check",
                       "--disable-background-networking", "--disable-component-update", "--disable-sync",
                       "--disable-breakpad", "--autoplay-policy=no-user-gesture-required",
                       "--user-data-dir=" + folder, "--disk-cache-dir=" + folder]
            if self.tls:
                # The lab's certificate counts as valid (not as an error let
                # through): Chromium stores no answer that came with an error.
                command.append("--ignore-certificate-errors-spki-list=" + self.tls.spki)
            if store == "blockfile":
                command.append("--enable-features=DiskCacheBackendExperiment:backend/blockfile")
            elif store != "simple":
                raise ValueError("store must be blockfile or simple")
            command.append(page)
            folders = [folder]
            cache = separator.join([given.rstrip("\\/"), "Default", "Cache", "Cache_Data"])
        elif kind == "firefox":
            profile_given = request.get("profileDir", "")
            profile = to_linux_path(profile_given, self.wineprefix) if profile_given else os.path.join(private, "p")
            os.makedirs(profile, exist_ok=True)
            os.makedirs(folder, exist_ok=True)
            prefs = dict(FIREFOX_PREFS)
            prefs["browser.cache.disk.parent_directory"] = folder
            with open(os.path.join(profile, "user.js"), "w") as handle:
                for name, value in prefs.items():
                    handle.write("user_pref(%s, %s);\n" % (json.dumps(name), json.dumps(value)))
            if self.tls and request.get("tls", "0") == "1":
                self.tls.trust_in_firefox(profile)
            env["MOZ_HEADLESS"] = "1"
            command = [shutil.which("firefox-esr") or "firefox-esr", "--headless", "--no-remote",
                       "--profile", profile, page]
            folders = [folder, profile]
            cache = separator.join([given.rstrip("\\/"), "cache2"])
        else:
            raise ValueError("browser must be chromium or firefox")
        # The counters tell what this run fetched.
        if request.get("resetStats", "1") != "0":
            self.site.reset()
        log = open(os.path.join(private, "log"), "wb")
        process = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                   start_new_session=True, cwd=private)
        log.close()
        browser = Browser(ident, kind, process, folders, cache, time.monotonic(), private)
        with self.lock:
            self.browsers[ident] = browser
        return {"id": ident, "pid": process.pid, "cache": cache, "linuxFolder": folder}

    def any_running(self):
        with self.lock:
            return any(browser.process.poll() is None for browser in self.browsers.values())

    def ended_report(self):
        """For a wait that failed: which browser ended by itself, with the
        end of its log."""
        with self.lock:
            ended = [b for b in self.browsers.values() if b.process.poll() is not None]
        if not ended:
            return {}
        browser = ended[-1]
        try:
            with open(os.path.join(browser.private, "log"), "rb") as handle:
                tail = handle.read()[-600:].decode("utf-8", "replace")
        except OSError:
            tail = ""
        return {"browserEnded": browser.ident, "exitCode": browser.process.returncode,
                "log": " | ".join(line for line in tail.splitlines() if line.strip())}

    def stop(self, ident=None):
        with self.lock:
            chosen = [self.browsers.pop(ident)] if ident is not None and ident in self.browsers else (
                list(self.browsers.values()) if ident is None else [])
            if ident is None:
                self.browsers.clear()
        if ident is not None and not chosen:
            raise KeyError("no browser %s" % ident)
        reply = {"stopped": len(chosen), "remaining": 0}
        for browser in chosen:
            began = time.monotonic()
            session = browser.process.pid
            marker = browser.private
            # A signal as a person's session ending would send: the browser
            # closes its cache entries and writes its index.
            try:
                os.kill(session, signal.SIGTERM)
            except ProcessLookupError:
                pass
            try:
                code = browser.process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                code = None
            # Children (renderers, zygotes, content processes) follow their
            # parent; whatever is left after a bound is ended by force.
            deadline = time.monotonic() + 5
            while browser_processes(session, marker) and time.monotonic() < deadline:
                time.sleep(0.05)
            for pid in browser_processes(session, marker):
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            if code is None:
                code = browser.process.wait(timeout=5)
            left = browser_processes(session, marker)
            removed = sum(remove_lock_links(folder) for folder in browser.folders if os.path.isdir(folder))
            # Sockets and leftovers of the run; the log stays for a look.
            shutil.rmtree(os.path.join(browser.private, "t"), ignore_errors=True)
            reply.update({"id": browser.ident, "exitCode": code, "stopMs": int((time.monotonic() - began) * 1000),
                          "runMs": int((time.monotonic() - browser.started) * 1000), "linksRemoved": removed})
            reply["remaining"] += len(left)
        return reply


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "BrowserLab/1"

    def log_message(self, format, *args):
        if self.server.verbose:
            sys.stderr.write("lab: %s\n" % (format % args))

    # --- plumbing -------------------------------------------------------
    def reply_text(self, status, values):
        if isinstance(values, dict):
            body = "".join("%s=%s\n" % (key, value) for key, value in values.items())
        else:
            body = values
        data = body.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(data)

    def request_values(self):
        values = {}
        query = urllib.parse.urlsplit(self.path).query
        for key, value in urllib.parse.parse_qsl(query, keep_blank_values=True):
            values[key] = value
        length = int(self.headers.get("Content-Length") or 0)
        if length:
            body = self.rfile.read(length).decode("utf-8")
            if body.lstrip().startswith("{"):
                values.update({k: str(v) for k, v in json.loads(body).items()})
            else:
                for line in body.splitlines():
                    key, sep, value = line.partition("=")
                    if sep:
                        values[key.strip()] = value.strip()
        return values

    def do_HEAD(self):
        self.do_GET()

    def do_POST(self):
        self.do_GET()

    def do_GET(self):
        target = urllib.parse.urlsplit(self.path)
        path = urllib.parse.unquote(target.path)
        if path == "/" or path == "":
            path = "/index.html"
        if path.startswith("/control/"):
            try:
                self.control(path[len("/control/"):], self.request_values())
            except (ValueError, KeyError, OSError) as error:
                self.reply_text(400, {"error": str(error).replace("\n", " ")})
            return
        if path == "/streams/done":
            try:
                self.server.lab.site.report(self.request_values())
            except KeyError as error:
                self.reply_text(400, {"error": str(error)})
                return
            self.reply_text(200, {"ok": 1})
            return
        if self.headers.get("Content-Length"):
            self.rfile.read(int(self.headers["Content-Length"]))
        if path == "/index.html":
            links = "".join('<li><a href="%s">%s</a></li>' % (p, p) for p in sorted(self.server.lab.site.pages))
            data = ("<!DOCTYPE html><html><body><ul>%s</ul></body></html>\n" % links).encode()
            self.send_response(200)
            self.send_header("Content-Type", "text/html; charset=utf-8")
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            if self.command != "HEAD":
                self.wfile.write(data)
            return
        served = self.server.lab.site.files.get(path)
        if served is None:
            self.reply_text(404, {"error": "not found"})
            return
        self.serve(served)

    # --- files ----------------------------------------------------------
    def serve(self, served):
        site = self.server.lab.site
        size = len(served.data)
        header = self.headers.get("Range")
        site.record_range(served.path, header)
        if_none_match = self.headers.get("If-None-Match")
        if if_none_match and served.etag in [tag.strip() for tag in if_none_match.split(",")]:
            self.send_response(304)
            self.common_headers(served)
            self.end_headers()
            site.record(served.path, 304, 0, 0, 0)
            return
        if served.encoded:
            coding, body = served.encoded
            accepted = [token.split(";")[0].strip() for token in self.headers.get("Accept-Encoding", "").split(",")]
            if coding in accepted:
                self.send_response(200)
                self.common_headers(served)
                self.send_header("Content-Encoding", coding)
                self.send_header("Vary", "Accept-Encoding")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                site.record(served.path, 200, 0, 0, 0)
                with site.lock:
                    site.codings_sent[served.path] = coding
                if self.command != "HEAD":
                    self.wfile.write(body)
                    site.record(served.path, None, 0, 0, len(body))
                return
        wanted = None
        if served.mode != "whole":
            if_range = self.headers.get("If-Range")
            if not if_range or if_range == served.etag or if_range == LAST_MODIFIED:
                wanted = parse_range(header, size)
        if wanted == "bad":
            self.send_response(416)
            self.send_header("Content-Range", "bytes */%d" % size)
            self.send_header("Content-Length", "0")
            self.end_headers()
            site.record(served.path, 416, 0, 0, 0)
            return
        first, last = wanted if wanted else (0, size - 1)
        status = 206 if wanted else 200
        self.send_response(status)
        self.common_headers(served)
        if wanted:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (first, last, size))
        self.send_header("Content-Length", str(last - first + 1))
        end = last + 1
        if served.mode == "cut":
            # The server stops halfway: the connection closes before the
            # promised length has been sent.
            end = min(end, max(first, served.cut_at))
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        site.record(served.path, status, first, first, 0)
        if self.command == "HEAD":
            return
        site.begin()
        try:
            position = first
            if served.mode == "stall" and served.cut_at < end:
                stop = max(position, served.cut_at)
                self.send_part(served, position, stop)
                position = stop
                self.wfile.flush()
                site.hold(served)
                if site.closing:
                    self.close_connection = True
                    return
            self.send_part(served, position, end)
            if served.mode == "cut":
                self.wfile.flush()
                self.connection.shutdown(socket.SHUT_RDWR)
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True
        finally:
            site.end()

    def send_part(self, served, position, end):
        while position < end:
            chunk = served.data[position:min(end, position + 65536)]
            self.wfile.write(chunk)
            self.server.lab.site.record(served.path, None, position, position, len(chunk))
            position += len(chunk)

    def common_headers(self, served):
        self.send_header("Content-Type", served.content_type)
        self.send_header("ETag", served.etag)
        self.send_header("Last-Modified", LAST_MODIFIED)
        self.send_header("Cache-Control", served.cache_control)
        self.send_header("Accept-Ranges", "none" if served.mode == "whole" else "bytes")

    # --- control --------------------------------------------------------
    def control(self, action, values):
        lab = self.server.lab
        site = lab.site
        if action == "files":
            reply = {"count": len(site.files)}
            for path in sorted(site.files):
                served = site.files[path]
                reply[path + ".size"] = len(served.data)
                reply[path + ".sha256"] = served.sha256
                reply[path + ".type"] = served.content_type
                reply[path + ".mode"] = served.mode
            reply["mediaFolder"] = os.path.join(lab.work, "media")
            self.reply_text(200, reply)
        elif action == "stats":
            reply = {}
            with site.lock:
                for path in sorted(site.stats):
                    entry = site.stats[path]
                    reply[path + ".requests"] = entry["requests"]
                    reply[path + ".bytes"] = entry["bytes"]
                    reply[path + ".covered"] = site.covered(path)
                    reply[path + ".ranges"] = ",".join(entry["ranges"])
                    reply[path + ".statuses"] = ",".join(entry["statuses"])
                    if "first_sent" in entry:
                        reply[path + ".firstSentUnixMs"] = entry["first_sent"]
            self.reply_text(200, reply)
        elif action == "reset":
            with site.lock:
                for served in site.files.values():
                    served.mode = served.default_mode
                    served.cut_at = len(served.data) // 2
            site.reset()
            self.reply_text(200, {"ok": 1})
        elif action == "mode":
            served = site.files[values["path"]]
            mode = values.get("mode", "normal")
            if mode not in ("normal", "whole", "cut", "stall"):
                raise ValueError("mode must be normal, whole, cut or stall")
            with site.lock:
                served.mode = mode
                if "cutAt" in values:
                    served.cut_at = int(values["cutAt"])
                # Releases the answers a stall holds.
                site.lock.notify_all()
            self.reply_text(200, {"path": served.path, "mode": served.mode, "cutAt": served.cut_at})
        elif action == "bench-page":
            path = site.bench_page(int(values.get("media", 20)), int(values.get("other", 300)),
                                   values.get("tag", ""))
            self.reply_text(200, {"page": path, "media": ",".join(site.pages[path][0])})
        elif action == "page":
            page = values["page"]
            media, others = site.pages[page]
            reply = {"media": ",".join(media), "other": ",".join(others)}
            if page in site.parts:
                reply["parts"] = ",".join(site.parts[page])
            if page in site.streams:
                stream = site.streams[page]
                reply.update(stream.description())
                with site.lock:
                    report = dict(site.reports.get(page, {}))
                    reply["playlistCodingSent"] = site.codings_sent.get(stream.playlist, "")
                reply["done"] = int(bool(report))
                reply.update({"report." + k: v for k, v in sorted(report.items())})
            self.reply_text(200, reply)
        elif action == "launch":
            self.reply_text(200, lab.launch(self.server.server_address[1], values))
        elif action == "wait-idle":
            began = time.monotonic()
            idle = site.wait_idle(values.get("page", "/media.html"), float(values.get("timeout", 30000)) / 1000,
                                  float(values.get("quiet", 500)) / 1000, lab.any_running)
            reply = {"idle": int(idle), "waitedMs": int((time.monotonic() - began) * 1000)}
            if not idle:
                reply.update(lab.ended_report())
                error = site.page_error(values.get("page", "/media.html"))
                if error:
                    reply["pageError"] = error
            self.reply_text(200, reply)
        elif action == "stop":
            self.reply_text(200, lab.stop(int(values["id"]) if values.get("id") else None))
        elif action == "path":
            self.reply_text(200, {"linux": to_linux_path(values["path"], lab.wineprefix)})
        elif action == "probe":
            self.reply_text(200, probe_media(to_linux_path(values["path"], lab.wineprefix)))
        elif action == "muxcheck":
            # track0 / track1: the served addresses of the video / sound track, in order, comma-separated.
            tracks = [b"".join(site.files[p].data for p in values[name].split(",")) for name in ("track0", "track1")]
            self.reply_text(200, mux_check.check(to_linux_path(values["path"], lab.wineprefix), tracks))
        else:
            self.reply_text(404, {"error": "unknown control " + action})


def probe_media(path):
    """What ffprobe reads of a media file a test wrote: its container's
    duration and its streams' kinds (video, audio); "probed=0" where ffprobe
    is missing or cannot read the file."""
    if not shutil.which("ffprobe"):
        return {"probed": 0, "error": "no ffprobe"}
    command = ["ffprobe", "-v", "error", "-show_entries", "format=duration:stream=codec_type",
               "-of", "json", path]
    try:
        done = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        found = json.loads(done.stdout or b"{}")
    except (subprocess.TimeoutExpired, ValueError) as error:
        return {"probed": 0, "error": str(error)}
    if done.returncode != 0 or "format" not in found:
        return {"probed": 0, "error": done.stderr.decode(errors="replace").strip()}
    kinds = [entry.get("codec_type", "") for entry in found.get("streams", [])]
    return {"probed": 1, "duration": found["format"].get("duration", ""), "streams": ",".join(kinds)}


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        # A browser that ended mid-connection, or gave up a handshake: not the lab's fault.
        if isinstance(sys.exc_info()[1], (ConnectionError, ssl.SSLError)):
            return
        super().handle_error(request, client_address)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--serve", action="store_true", help="serve until ended (Ctrl+C or a signal)")
    parser.add_argument("--port", type=int, default=0, help="0: a free port")
    parser.add_argument("--work", help="folder for media and browser leftovers (default: a new one in /tmp)")
    parser.add_argument("--port-file", help="write the port here once serving")
    parser.add_argument("--parent-pid", type=int, help="end when this process has gone")
    parser.add_argument("--verbose", action="store_true")
    arguments = parser.parse_args()
    if not arguments.serve:
        parser.print_help()
        return 2
    made_work = arguments.work is None
    work = arguments.work or tempfile.mkdtemp(prefix="eelab.", dir="/tmp")
    os.makedirs(work, exist_ok=True)
    began = time.monotonic()
    lab = Lab(work, os.environ.get("WINEPREFIX", ""))
    made = time.monotonic() - began
    server = Server(("127.0.0.1", arguments.port), Handler)
    server.lab = lab
    server.verbose = arguments.verbose
    port = server.server_address[1]
    servers = [server]
    if shutil.which("openssl"):
        lab.tls = TlsSite(os.path.join(work, "tls"))
        tls_server = Server(("127.0.0.1", 0), Handler)
        # The handshake on the handler's thread, not in accept: a slow client holds up no other.
        tls_server.socket = lab.tls.context().wrap_socket(tls_server.socket, server_side=True,
                                                          do_handshake_on_connect=False)
        tls_server.lab = lab
        tls_server.verbose = arguments.verbose
        lab.tls.port = tls_server.server_address[1]
        servers.append(tls_server)

    finished = threading.Event()

    def finish(*_):
        finished.set()

    signal.signal(signal.SIGTERM, finish)
    signal.signal(signal.SIGINT, finish)
    for each in servers:
        threading.Thread(target=each.serve_forever, daemon=True).start()
    if arguments.port_file and lab.tls:
        # The HTTPS port beside the port file, written first.
        with open(arguments.port_file + ".tls.part", "w") as handle:
            handle.write("%d\n" % lab.tls.port)
        os.replace(arguments.port_file + ".tls.part", arguments.port_file + ".tls")
    if arguments.port_file:
        with open(arguments.port_file + ".part", "w") as handle:
            handle.write("%d\n" % port)
        os.replace(arguments.port_file + ".part", arguments.port_file)
    print("browser lab: http://127.0.0.1:%d/ (media made in %.1f s in %s)" % (port, made, os.path.join(work, "media")),
          flush=True)
    while not finished.wait(0.5):
        if arguments.parent_pid and not os.path.exists("/proc/%d" % arguments.parent_pid):
            break
    # No browser outlives the lab.
    with lab.site.lock:
        lab.site.closing = True
        lab.site.lock.notify_all()
    stopped = lab.stop()
    for each in servers:
        each.shutdown()
        each.server_close()
    if stopped["remaining"]:
        print("browser lab: %d browser processes could not be ended" % stopped["remaining"], file=sys.stderr)
    if made_work:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
