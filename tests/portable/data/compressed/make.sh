#!/usr/bin/env bash
# Makes the compressed bodies the decoding tests read, with Debian's gzip,
# brotli and zstd tools and Python's zlib (for deflate, which no tool
# writes).  Run from this folder; the outputs are checked in.
set -euo pipefail
# A media playlist of 1,500 segments: longer than one 64 KiB read.
{
  printf '#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:4\n#EXT-X-MEDIA-SEQUENCE:0\n'
  for i in $(seq 0 1499); do printf '#EXTINF:4.000000,\nhttps://cdn.test/hls/720p/segment-%05d.ts\n' "$i"; done
  printf '#EXT-X-ENDLIST\n'
} > playlist.m3u8
gzip -9 -n -c playlist.m3u8 > playlist.m3u8.gz
brotli -q 11 -c playlist.m3u8 > playlist.m3u8.br
zstd -q -19 -c playlist.m3u8 > playlist.m3u8.zst
python3 -c 'import sys,zlib; d=open("playlist.m3u8","rb").read(); open("playlist.m3u8.zlib","wb").write(zlib.compress(d,9)); c=zlib.compressobj(9,zlib.DEFLATED,-15); open("playlist.m3u8.deflate","wb").write(c.compress(d)+c.flush())'
# Two gzip members, as `gzip -c a >> b` leaves them.
head -c 30000 playlist.m3u8 | gzip -n -c > playlist-members.m3u8.gz
tail -c +30001 playlist.m3u8 | gzip -n -c >> playlist-members.m3u8.gz
# A bomb: a few KiB of brotli claiming 64 MiB of playlist lines.
{
  printf '#EXTM3U\n#EXT-X-TARGETDURATION:2\n'
  { yes "$(printf '#EXTINF:2,\nbomb.ts')" || true; } | head -c $((64 << 20))
} | brotli -q 11 -w 24 -c > bomb.m3u8.br
# A short media playlist of two TS segments, in each coding a cache holds.
printf '#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\nseg7.ts\n#EXTINF:1,\nseg8.ts\n#EXT-X-ENDLIST\n' > short.m3u8
gzip -9 -n -c short.m3u8 > short.m3u8.gz
brotli -q 11 -c short.m3u8 > short.m3u8.br
zstd -q -19 -c short.m3u8 > short.m3u8.zst
rm short.m3u8
