#!/usr/bin/env bash
# The media-facts readers on files Debian's ffmpeg makes (once, in OUTDIR),
# each fact compared with what ffprobe says of the same file.
# Usage: media_facts_test.sh MEDIA_FACTS_TESTS OUTDIR
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
tests="${1:?usage: media_facts_test.sh MEDIA_FACTS_TESTS OUTDIR}"
out="${2:?usage: media_facts_test.sh MEDIA_FACTS_TESTS OUTDIR}"
"$here/make_facts_media.sh" "$out"
EE_FACTS_MEDIA="$out" "$tests"
