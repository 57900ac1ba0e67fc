"""Checks a file the program joined from a picture and a sound track against
the tracks the lab served: ffprobe must find one video and one audio
stream, each as long as its source (within 0.1 s) and with the source's
packets byte for byte (size and MD5 of each, in order), and
`ffmpeg -v error -i FILE -f null -` must print nothing."""

import json
import os
import shutil
import subprocess
import tempfile

TOLERANCE = 0.1


def number(text):
    """ffprobe's figure, N/A as 0."""
    try:
        return float(text)
    except ValueError:
        return 0.0


def packets(path, kind):
    """Each packet of the file's first stream of `kind` (v, a): (pts, duration,
    size, hash); pts and duration in seconds."""
    command = ["ffprobe", "-v", "error", "-select_streams", kind + ":0", "-show_data_hash", "MD5",
               "-show_entries", "packet=pts_time,duration_time,size,data_hash", "-of", "json", path]
    done = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    if done.returncode != 0:
        raise RuntimeError("ffprobe %s: %s" % (path, done.stderr.decode(errors="replace").strip()))
    return [(number(p.get("pts_time", "")), number(p.get("duration_time", "")), int(p["size"]), p["data_hash"])
            for p in json.loads(done.stdout or b"{}").get("packets", [])]


def length(found):
    """Seconds from the first packet's start to the last one's end."""
    if not found:
        return 0.0
    return max(p + d for p, d, _, _ in found) - min(p for p, _, _, _ in found)


def kinds(path):
    command = ["ffprobe", "-v", "error", "-show_entries", "stream=codec_type", "-of", "csv=p=0", path]
    done = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
    return [line.strip() for line in done.stdout.decode().splitlines() if line.strip()]


def check(joined, sources):
    """`sources`: the video track's bytes, then the sound track's.  Answers
    checked=1 with ok=1 or the first fault found (fault=...), and figures."""
    if not shutil.which("ffprobe") or not shutil.which("ffmpeg"):
        return {"checked": 0, "error": "no ffprobe or ffmpeg"}
    reply = {"checked": 1, "ok": 0, "fault": ""}
    streams = kinds(joined)
    reply["streams"] = ",".join(streams)
    if sorted(streams) != ["audio", "video"]:
        reply["fault"] = "streams are %s, not one video and one audio" % reply["streams"]
        return reply
    decode = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", joined, "-f", "null", "-"],
                            stdin=subprocess.DEVNULL, capture_output=True, timeout=300)
    reply["decodeErrors"] = (decode.stdout + decode.stderr).decode(errors="replace").strip()
    with tempfile.TemporaryDirectory() as folder:
        for kind, name, data in (("v", "video", sources[0]), ("a", "audio", sources[1])):
            source = os.path.join(folder, name)
            with open(source, "wb") as handle:
                handle.write(data)
            served, written = packets(source, kind), packets(joined, kind)
            reply[name + "Seconds"] = "%.3f" % length(written)
            reply[name + "SourceSeconds"] = "%.3f" % length(served)
            reply[name + "Packets"] = len(written)
            if abs(length(written) - length(served)) > TOLERANCE and not reply["fault"]:
                reply["fault"] = "%s lasts %.3f s, its source %.3f s" % (name, length(written), length(served))
            same = [(s, h) for _, _, s, h in written] == [(s, h) for _, _, s, h in served]
            if not same and not reply["fault"]:
                reply["fault"] = "%s packets differ from the source's (%d against %d)" % (
                    name, len(written), len(served))
    if reply["decodeErrors"] and not reply["fault"]:
        reply["fault"] = "ffmpeg reports: " + reply["decodeErrors"][:300]
    reply["ok"] = int(not reply["fault"])
    return reply
