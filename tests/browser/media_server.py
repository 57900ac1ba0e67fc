#!/usr/bin/env python3
"""A small HTTP/1.1 page server for browser tests: serves one folder on
127.0.0.1, answers byte ranges with 206, Content-Range, Accept-Ranges, a
strong ETag and Last-Modified (browsers store range answers only with them).
Usage: media_server.py FOLDER PORT [BYTES_PER_SECOND]
PORT 0 picks one; the port in use is printed as "port N" on the first line of
standard output.  With BYTES_PER_SECOND, bodies over 1 MiB are sent at that
rate, so that a browser is caught while it is still writing them.  Each
finished body is logged as "sent NAME"."""
import email.utils
import hashlib
import http.server
import os
import re
import sys
import time
import urllib.parse

TYPES = {".mp4": "video/mp4", ".webm": "video/webm", ".mp3": "audio/mpeg", ".html": "text/html; charset=utf-8",
         ".ogg": "audio/ogg", ".m4a": "audio/mp4", ".flv": "video/x-flv"}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    folder = "."
    rate = 0

    def log_message(self, fmt, *args):
        sys.stderr.write("%s %s\n" % (self.address_string(), fmt % args))

    def do_HEAD(self):
        self.answer(with_body=False)

    def do_GET(self):
        self.answer(with_body=True)

    def answer(self, with_body):
        name = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path).lstrip("/") or "index.html"
        path = os.path.join(self.folder, os.path.basename(name))
        if not os.path.isfile(path):
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        with open(path, "rb") as f:
            data = f.read()
        stat = os.stat(path)
        first, last, status = 0, len(data) - 1, 200
        match = re.fullmatch(r"bytes=(\d*)-(\d*)", self.headers.get("Range", "").strip())
        if match and (match.group(1) or match.group(2)):
            if match.group(1):
                first = int(match.group(1))
                last = min(int(match.group(2)), len(data) - 1) if match.group(2) else len(data) - 1
            else:
                first = max(0, len(data) - int(match.group(2)))
            if first >= len(data) or first > last:
                self.send_response(416)
                self.send_header("Content-Range", "bytes */%d" % len(data))
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            status = 206
        part = data[first:last + 1]
        self.send_response(status)
        self.send_header("Content-Type", TYPES.get(os.path.splitext(path)[1], "application/octet-stream"))
        self.send_header("Content-Length", str(len(part)))
        self.send_header("Accept-Ranges", "bytes")
        self.send_header("ETag", '"%s"' % hashlib.sha1(data).hexdigest()[:16])
        self.send_header("Last-Modified", email.utils.formatdate(stat.st_mtime, usegmt=True))
        self.send_header("Cache-Control", "max-age=3600")
        if status == 206:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (first, last, len(data)))
        self.end_headers()
        if not with_body:
            return
        step = max(1, self.rate // 10) if self.rate and len(part) > 1 << 20 else len(part) or 1
        try:
            for at in range(0, len(part), step):
                self.wfile.write(part[at:at + step])
                if step < len(part):
                    time.sleep(0.1)
            sys.stderr.write("sent %s %d-%d\n" % (name, first, last))
        except (BrokenPipeError, ConnectionResetError):
            pass


def main():
    Handler.folder = sys.argv[1]
    Handler.rate = int(sys.argv[3]) if len(sys.argv) > 3 else 0
    server = http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[2])), Handler)
    print("port %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
