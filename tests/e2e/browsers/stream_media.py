"""Segmented streams for the browser lab: HLS and DASH made by ffmpeg, each
behind its own page whose small player script (stream_player.js) fetches the
playlist and the segments the way a site's own player does.

Every stream has its own folder of addresses (/streams/<name>/...) and its
own sound, so one browser profile can load all of them and no two streams
share a byte sequence a reader could mix up.
"""

import json
import math
import os
import re
import shlex
import struct
import subprocess

STREAM_TYPES = {".m3u8": "application/vnd.apple.mpegurl", ".mpd": "application/dash+xml",
                ".ts": "video/mp2t", ".bin": "application/octet-stream"}

# One key frame a second so every segment is one second long.
VIDEO = ["-c:v", "libx264", "-preset", "ultrafast", "-qp", "30", "-pix_fmt", "yuv420p",
         "-g", "25", "-keyint_min", "25", "-sc_threshold", "0", "-threads", "1"]
AUDIO = ["-c:a", "aac", "-b:a", "48k"]
HLS = ["-f", "hls", "-hls_time", "1", "-hls_playlist_type", "vod"]
FMP4 = ["-hls_segment_type", "fmp4", "-hls_fmp4_init_filename", "init.mp4",
        "-hls_segment_filename", "seg%d.m4s"]
TS = ["-hls_segment_filename", "seg%d.ts"]

# A fixed key and IV: encryption is as repeatable as the encoding.
AES_KEY = bytes(range(0x10, 0x20))
AES_IV = "000102030405060708090a0b0c0d0e0f"


# Small parts: every segment and the init segment under 16 KiB, so that a
# block-file cache keeps all of them inside its data files.
SMALL = ["-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25:duration=6",
         "-f", "lavfi", "-i", "sine=frequency=1100:duration=5.9",
         "-c:v", "libx264", "-preset", "ultrafast", "-qp", "45", "-pix_fmt", "yuv420p",
         "-g", "25", "-keyint_min", "25", "-sc_threshold", "0", "-threads", "1",
         "-c:a", "aac", "-b:a", "16k"]


# One track per file, fragmented a second at a time, with a global index.
SINGLE = ["-f", "mp4", "-movflags", "+frag_keyframe+global_sidx+dash", "-frag_duration", "1000000"]
SINGLE_VIDEO = (["-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25:duration=6"] + VIDEO + SINGLE,
                "video.mp4")
# As long as the picture: the pairing wants the lengths within 1 %.
SINGLE_SOUND = (["-f", "lavfi", "-i", "sine=frequency=1400:duration=6"] + AUDIO + SINGLE, "audio.mp4")

WEBM_VIDEO = (["-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25:duration=6", "-c:v", "libvpx-vp9",
               "-deadline", "realtime", "-cpu-used", "8", "-b:v", "150k", "-g", "25", "-threads", "1",
               "-f", "webm"], "video.webm")
WEBM_SOUND = (["-f", "lavfi", "-i", "sine=frequency=1500:duration=6", "-c:a", "libopus", "-b:a", "48k",
               "-f", "webm"], "audio.webm")


def sources(seconds, frequency, video=True):
    # The sound stops a little early: otherwise the encoder's last frame
    # spills into a tiny extra segment after the last whole second.
    inputs = []
    if video:
        inputs += ["-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25:duration=%d" % seconds]
    inputs += ["-f", "lavfi", "-i", "sine=frequency=%d:duration=%.1f" % (frequency, seconds - 0.1)]
    return inputs + (VIDEO if video else []) + AUDIO


class Recipe:
    """One stream: how ffmpeg makes it and how its page fetches it."""

    def __init__(self, name, options, playlist, protocol="hls", element="video", mse=True,
                 skip=(), playlist_cache="public, max-age=3600", key=False, encoding=None, in_all=True):
        self.name = name
        self.options = options
        self.playlist = playlist
        self.protocol = protocol
        self.element = element
        self.mse = mse
        self.skip = list(skip)
        self.playlist_cache = playlist_cache
        self.key = key
        self.encoding = encoding  # the playlist's Content-Encoding, where the client accepts it
        self.in_all = in_all      # one of /streams/all.html's frames


RECIPES = [
    # An MSE player appending fragmented MP4 (init segment, then .m4s fragments).
    Recipe("hls-fmp4", sources(6, 330) + HLS + FMP4 + ["-master_pl_name", "master.m3u8"], "index.m3u8"),
    # MPEG-TS segments fetched one by one, as a player that demuxes them itself does.
    Recipe("hls-ts", sources(6, 440) + HLS + TS, "index.m3u8", mse=False),
    # The viewer skipped ahead: two segments in the middle were never fetched.
    Recipe("hls-ts-gaps", sources(8, 550) + HLS + TS, "index.m3u8", mse=False, skip=(3, 4)),
    # AES-128 over whole segments: the page fetches playlist, key and segments.
    Recipe("hls-aes", sources(6, 660) + HLS + TS, "index.m3u8", mse=False, key=True),
    # The playlist may not be stored: only the segments reach the cache.
    Recipe("hls-nostore", sources(6, 770) + HLS + FMP4 + ["-master_pl_name", "master.m3u8"], "index.m3u8",
           playlist_cache="no-store"),
    Recipe("hls-audio", sources(6, 880, video=False) + HLS + FMP4 + ["-master_pl_name", "master.m3u8"],
           "index.m3u8", element="audio"),
    # Parts small enough to stay inside the block files, two of six fragments skipped.
    Recipe("hls-small", SMALL + HLS + FMP4 + ["-master_pl_name", "master.m3u8"], "index.m3u8", skip=(2, 3)),
    # The playlist sent compressed, as CDNs send texts (for HTTPS runs: see
    # /streams/encoded.html).
    Recipe("hls-gzip", sources(4, 1100) + HLS + TS, "index.m3u8", mse=False, encoding="gzip"),
    Recipe("hls-br", sources(4, 1200) + HLS + TS, "index.m3u8", mse=False, encoding="br"),
    Recipe("hls-zstd", sources(4, 1300) + HLS + TS, "index.m3u8", mse=False, encoding="zstd"),
    # Video and sound as two representations, addressed by a SegmentTemplate.
    Recipe("dash", sources(6, 990) + ["-f", "dash", "-seg_duration", "1", "-use_template", "1",
                                      "-use_timeline", "0", "-init_seg_name", "init-$RepresentationID$.m4s",
                                      "-media_seg_name", "chunk-$RepresentationID$-$Number$.m4s"],
           "manifest.mpd", protocol="dash"),
    # As Bilibili serves a video: one video-only and one sound-only MP4, each
    # a single fragmented file with a global sidx after its moov, fetched by
    # byte ranges (the header and index first, then pieces) by a player that
    # knows the addresses from its own data, so no manifest is cached.  Not
    # in all.html: it is no stream of segments.
    Recipe("ranged", [SINGLE_VIDEO, SINGLE_SOUND], "video.mp4", protocol="ranged", in_all=False),
    # The same with VP9 picture and Opus sound, each a whole WebM file (as
    # YouTube serves its WebM tracks).
    Recipe("ranged-webm", [WEBM_VIDEO, WEBM_SOUND], "video.webm", protocol="ranged", in_all=False),
]

# The size of the pieces the ranged page asks for after the header and index.
RANGE_PIECE = 48 * 1024


class Track:
    """One sequence of segments that joins into one file: the init segment
    (fragmented MP4) followed by the segments in order; for a ranged page one
    whole file, fetched header and index first."""

    def __init__(self, mime, content_type, init, segments, header_end=None):
        self.mime = mime                  # for a SourceBuffer: type and codecs
        self.content_type = content_type  # served Content-Type of its segments
        self.init = init                  # address path, or None (MPEG-TS)
        self.segments = segments          # address paths, in play order
        self.header_end = header_end      # ranged: last byte of the moov and sidx


class Stream:
    def __init__(self, recipe, base, tracks, files, key):
        self.recipe = recipe
        self.page = "/streams/%s.html" % recipe.name
        self.playlist = base + recipe.playlist
        self.tracks = tracks
        self.files = files  # address path -> (bytes, content type, Cache-Control)
        self.key = key

    def fetched(self, track):
        return [s for i, s in enumerate(track.segments) if i not in self.recipe.skip]

    def skipped(self, track):
        return [s for i, s in enumerate(track.segments) if i in self.recipe.skip]

    def media(self):
        """Every address the page fetches, in the order it fetches them."""
        if self.recipe.protocol == "ranged":
            return [t.segments[0] for t in self.tracks]
        paths = [self.playlist] + ([self.key] if self.key else [])
        paths += [t.init for t in self.tracks if t.init]
        for index in range(max(len(t.segments) for t in self.tracks)):
            if index not in self.recipe.skip:
                paths += [t.segments[index] for t in self.tracks if index < len(t.segments)]
        return paths

    def description(self):
        """What /control/page tells a test about the stream."""
        reply = {"stream": self.recipe.protocol,
                 "container": "ts" if self.tracks[0].init is None and self.recipe.protocol != "ranged" else "fmp4",
                 "playlist": self.playlist,
                 "playlistCached": 0 if "no-store" in self.recipe.playlist_cache else 1,
                 "key": self.key or "",
                 "encryption": "AES-128" if self.key else "",
                 "encoding": self.recipe.encoding or "",
                 "tracks": len(self.tracks)}
        # Over all tracks, track by track.
        reply["segments"] = ",".join(p for t in self.tracks for p in t.segments)
        reply["fetched"] = ",".join(p for t in self.tracks for p in self.fetched(t))
        reply["skipped"] = ",".join(p for t in self.tracks for p in self.skipped(t))
        for index, track in enumerate(self.tracks):
            prefix = "track%d." % index
            reply[prefix + "type"] = track.content_type
            reply[prefix + "mime"] = track.mime
            reply[prefix + "init"] = track.init or ""
            reply[prefix + "segments"] = ",".join(track.segments)
            reply[prefix + "fetched"] = ",".join(self.fetched(track))
            reply[prefix + "skipped"] = ",".join(self.skipped(track))
        return reply

    def config(self):
        """What the page's player script is told."""
        config = {"page": self.page, "protocol": self.recipe.protocol, "playlist": self.playlist,
                  "mse": self.recipe.mse, "type": self.tracks[0].mime, "skip": self.recipe.skip}
        if self.recipe.protocol == "ranged":
            config["tracks"] = [{"address": t.segments[0], "type": t.mime, "header": t.header_end,
                                 "size": len(self.files[t.segments[0]][0])} for t in self.tracks]
            config["piece"] = RANGE_PIECE
        return config


def start(recipe, folder, bitexact):
    os.makedirs(folder, exist_ok=True)
    options = list(recipe.options)
    if recipe.key:
        with open(os.path.join(folder, "key.bin"), "wb") as handle:
            handle.write(AES_KEY)
        # Key address as the playlist names it, key file, IV.
        info = os.path.join(folder, "key.info")
        with open(info, "w") as handle:
            handle.write("key.bin\n%s\n%s\n" % (os.path.join(folder, "key.bin"), AES_IV))
        options += ["-hls_key_info_file", info]
    if recipe.protocol == "ranged":
        # One ffmpeg run per file, one after the other.
        commands = [shlex.join(["ffmpeg", "-nostdin", "-v", "error", "-y"] + o + bitexact + [name])
                    for o, name in options]
        return subprocess.Popen(["sh", "-c", " && ".join(commands)], stdin=subprocess.DEVNULL, cwd=folder)
    command = ["ffmpeg", "-nostdin", "-v", "error", "-y"] + options + bitexact + [recipe.playlist]
    return subprocess.Popen(command, stdin=subprocess.DEVNULL, cwd=folder)


def read(folder, name):
    with open(os.path.join(folder, name), "rb") as handle:
        return handle.read()


def hls_codecs(folder):
    """The CODECS of the one variant in ffmpeg's master playlist."""
    found = re.search(r'CODECS="([^"]+)"', read(folder, "master.m3u8").decode())
    if not found:
        raise RuntimeError("no CODECS in %s/master.m3u8" % folder)
    return found.group(1)


def hls_stream(recipe, folder, base):
    text = read(folder, recipe.playlist).decode()
    init = re.search(r'#EXT-X-MAP:URI="([^"]+)"', text)
    names = [line for line in text.splitlines() if line and not line.startswith("#")]
    audio = recipe.element == "audio"
    if init:
        kind = "audio/mp4" if audio else "video/mp4"
        track = Track('%s; codecs="%s"' % (kind, hls_codecs(folder)), kind, base + init.group(1),
                      [base + n for n in names])
    else:
        track = Track("video/mp2t", "video/mp2t", None, [base + n for n in names])
    key = re.search(r'#EXT-X-KEY:METHOD=AES-128,URI="([^"]+)"', text)
    return [track], (base + key.group(1)) if key else None


def dash_stream(recipe, folder, base):
    text = read(folder, recipe.playlist).decode()
    duration = re.search(r'mediaPresentationDuration="PT([0-9.]+)S"', text)
    tracks = []
    for match in re.finditer(r'<Representation id="([^"]+)" mimeType="([^"]+)" codecs="([^"]+)".*?'
                             r'<SegmentTemplate timescale="(\d+)" duration="(\d+)" initialization="([^"]+)" '
                             r'media="([^"]+)" startNumber="(\d+)"', text, re.S):
        ident, mime, codecs, scale, length, init, media, first = match.groups()
        # As a player counts them: the presentation's length in segment lengths.
        count = math.ceil(float(duration.group(1)) * int(scale) / int(length) - 1e-9)
        name = lambda number: media.replace("$RepresentationID$", ident).replace("$Number$", str(number))
        tracks.append(Track('%s; codecs="%s"' % (mime, codecs), mime,
                            base + init.replace("$RepresentationID$", ident),
                            [base + name(int(first) + i) for i in range(count)]))
    if not tracks or not duration:
        raise RuntimeError("%s/%s is not the manifest expected" % (folder, recipe.playlist))
    return tracks, None


def top_boxes(data):
    """(type, offset, size) of the top-level boxes of an ISO file."""
    boxes, at = [], 0
    while at + 8 <= len(data):
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        if size < 8:
            break
        boxes.append((kind.decode("latin-1"), at, size))
        at += size
    return boxes


def ranged_stream(recipe, folder, base):
    """The two single files, each with where its header (and, in an MP4,
    its sidx) ends: what a player fetches first."""
    tracks = []
    for options, name in recipe.options:
        data = read(folder, name)
        kind = "video" if name.startswith("video") else "audio"
        if name.endswith(".webm"):
            cluster = data.find(b"\x1f\x43\xb6\x75")
            if cluster < 0:
                raise RuntimeError("%s/%s has no cluster" % (folder, name))
            mime = "%s/webm; codecs=\"%s\"" % (kind, "vp9" if kind == "video" else "opus")
            header_end = cluster - 1
        else:
            sidx = [b for b in top_boxes(data) if b[0] == "sidx"]
            if not sidx:
                raise RuntimeError("%s/%s has no sidx" % (folder, name))
            avcc = data.find(b"avcC")
            codecs = "avc1.%s" % data[avcc + 5:avcc + 8].hex() if kind == "video" else "mp4a.40.2"
            mime = '%s/mp4; codecs="%s"' % (kind, codecs)
            header_end = sidx[0][1] + sidx[0][2] - 1
        tracks.append(Track(mime, mime.split(";")[0], None, [base + name], header_end))
    return tracks, None


def start_streams(folder, bitexact):
    """Starts ffmpeg for every stream (side by side, each a fraction of a
    second) into folder/<name>/; finish_streams waits for them."""
    return [(r, os.path.join(folder, r.name), start(r, os.path.join(folder, r.name), bitexact)) for r in RECIPES]


def finish_streams(running):
    """The streams started, with their served files, once ffmpeg made them."""
    streams = []
    for recipe, where, process in running:
        if process.wait() != 0:
            raise RuntimeError("ffmpeg could not make the stream %s" % recipe.name)
        base = "/streams/%s/" % recipe.name
        maker = {"dash": dash_stream, "ranged": ranged_stream}.get(recipe.protocol, hls_stream)
        tracks, key = maker(recipe, where, base)
        files = {}
        for track in tracks:
            for path in ([track.init] if track.init else []) + track.segments:
                files[path] = (read(where, path[len(base):]), track.content_type, None)
        playlist = base + recipe.playlist
        if recipe.protocol != "ranged":
            files[playlist] = (read(where, recipe.playlist), STREAM_TYPES[os.path.splitext(playlist)[1]],
                               recipe.playlist_cache)
        if key:
            files[key] = (read(where, key[len(base):]), STREAM_TYPES[".bin"], None)
        streams.append(Stream(recipe, base, tracks, files, key))
    return streams


def player_script():
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "stream_player.js"), "rb") as handle:
        return handle.read()


def stream_page_html(stream):
    tag = stream.recipe.element
    # The configuration is JSON inside a script element: no "</" can occur in it.
    config = json.dumps(stream.config()).replace("</", "<\\/")
    return ("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>stream</title></head><body>\n"
            "<%s id=\"player\" muted></%s>\n"
            "<script type=\"application/json\" id=\"stream-config\">%s</script>\n"
            "<script src=\"/streams/player.js\"></script>\n</body></html>\n" % (tag, tag, config)).encode()


def all_streams_html(streams):
    frames = "".join('<iframe src="%s" width="200" height="150"></iframe>\n' % s.page for s in streams)
    return ("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>streams</title></head><body>\n%s"
            "</body></html>\n" % frames).encode()
