#!/usr/bin/env bash
# Packs a portable zip per Windows target: the program, a short Chinese user
# guide and the licence, in one folder that runs from anywhere writable (the
# program keeps its settings beside itself).  Then checks every zip.
#
#   package.sh            builds release executables of both targets first
#   package.sh --reuse    packs the executables of the already built test
#                         trees (build/win32, build/win64); used by test.sh
#
# Zips go to $BUILD_ROOT/package (--reuse) or to dist/ (release).
set -euo pipefail
here="$(dirname "${BASH_SOURCE[0]}")"
source "$here/env.sh"

reuse=0
[ "${1:-}" = "--reuse" ] && reuse=1
version=1.11.0122
jobs="${EE_JOBS:-$(nproc)}"

if [ $reuse -eq 1 ]; then
  out="$BUILD_ROOT/package"
else
  out="$EE_ROOT/dist"
  # Release trees of their own, without the tests, beside the test trees.
  [ -f "$BUILD_ROOT/native/CMakeCache.txt" ] || "$here/build.sh" native
  for t in win32 win64; do
    arch=i686; [ $t = win64 ] && arch=x86_64
    dir="$BUILD_ROOT/release-$t"
    if [ ! -f "$dir/CMakeCache.txt" ]; then
      cmake -S "$EE_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DEE_TESTS=OFF \
        -DCMAKE_TOOLCHAIN_FILE="$EE_ROOT/cmake/toolchain-$arch-w64-mingw32.cmake" \
        -DEE_HOST_TOOLS_DIR="$BUILD_ROOT/native/tools" >/dev/null
    fi
    cmake --build "$dir" -j "$jobs" --target ElementExtractor
  done
fi
mkdir -p "$out"

fail() { echo "package: $*" >&2; exit 1; }

# Text files for Windows: CRLF line ends; the guide as UTF-8 with a byte-order
# mark, which every Notepad since Windows XP recognises.
crlf() { sed 's/\r$//; s/$/\r/' "$1"; }

# Info-ZIP stores the guide's Chinese name in UTF-8 without saying so; this
# sets the UTF-8 flag (bit 11) of every entry, in the local and the central
# headers, so unzip tools on Windows read the name as UTF-8.
mark_utf8_names() {  # zip
  perl -e '
    open(my $f, "+<:raw", $ARGV[0]) or die "cannot open $ARGV[0]\n";
    local $/; my $zip = <$f>;
    my $end = rindex($zip, "PK\x05\x06"); die "no central directory\n" if $end < 0;
    my ($count, $size, $start) = unpack("v V V", substr($zip, $end + 10, 10));
    my $at = $start;
    for (1 .. $count) {
      die "bad central header\n" unless substr($zip, $at, 4) eq "PK\x01\x02";
      my $local = unpack("V", substr($zip, $at + 42, 4));
      die "bad local header\n" unless substr($zip, $local, 4) eq "PK\x03\x04";
      for my $flag ($at + 8, $local + 6) {
        substr($zip, $flag, 2) = pack("v", unpack("v", substr($zip, $flag, 2)) | 0x0800);
      }
      my ($name, $extra, $comment) = unpack("v v v", substr($zip, $at + 28, 6));
      $at += 46 + $name + $extra + $comment;
    }
    seek($f, 0, 0); print $f $zip; close($f) or die;
  ' "$1"
}

pack() {  # target
  local t=$1 arch=i686 machine=pei-i386
  [ "$t" = win64 ] && { arch=x86_64; machine=pei-x86-64; }
  local exe="$BUILD_ROOT/$t/ElementExtractor.exe"
  [ $reuse -eq 1 ] || exe="$BUILD_ROOT/release-$t/ElementExtractor.exe"
  [ -f "$exe" ] || fail "no $exe (build the $t target first)"

  local name="ElementExtractor-$version-$t"
  local stage
  stage="$(mktemp -d)"
  mkdir "$stage/$name"
  "$arch-w64-mingw32-strip" -o "$stage/$name/ElementExtractor.exe" "$exe"
  { printf '\xef\xbb\xbf'; crlf "$EE_ROOT/docs/用户指南.txt"; } > "$stage/$name/用户指南.txt"
  crlf "$EE_ROOT/LICENSE" > "$stage/$name/LICENSE.txt"
  rm -f "$out/$name.zip"
  (cd "$stage" && zip -q -X -r "$out/$name.zip" "$name")
  mark_utf8_names "$out/$name.zip"
  check "$out/$name.zip" "$name" "$stage/$name/ElementExtractor.exe" "$machine" "$arch"
  rm -rf "$stage"
  echo "package: $out/$name.zip"
}

# A grep -P pattern for a text as the version resource stores it (UTF-16LE).
utf16_pattern() { printf '%s' "$1" | iconv -t UTF-16LE | od -An -v -tx1 | tr -d ' \n' | sed 's/../\\x&/g'; }

check() {  # zip, folder name, expected exe, machine, arch
  local zip=$1 name=$2 expected=$3 machine=$4 arch=$5
  unzip -tq "$zip" >/dev/null || fail "$zip is damaged"
  # Every central directory entry says its name is UTF-8.
  local unmarked
  unmarked="$(perl -e '
    open(my $f, "<:raw", $ARGV[0]) or die; local $/; my $zip = <$f>; my $n = 0;
    while ($zip =~ /PK\x01\x02/g) { $n++ unless unpack("v", substr($zip, pos($zip) + 4, 2)) & 0x0800 }
    print $n' "$zip")"
  [ "$unmarked" = 0 ] || fail "$zip: $unmarked names lack the UTF-8 flag"
  local listed wanted
  listed="$(unzip -Z1 "$zip" | sort)"
  wanted="$(printf '%s\n' "$name/" "$name/ElementExtractor.exe" "$name/LICENSE.txt" "$name/用户指南.txt" | sort)"
  [ "$listed" = "$wanted" ] || fail "$zip holds"$'\n'"$listed"$'\n'"instead of"$'\n'"$wanted"
  local x
  x="$(mktemp -d)"
  (cd "$x" && unzip -q "$zip")
  cmp -s "$x/$name/ElementExtractor.exe" "$expected" || fail "$zip: the program differs from the build"
  local format
  format="$(LC_ALL=C "$arch-w64-mingw32-objdump" -f "$x/$name/ElementExtractor.exe")"
  [[ "$format" == *"file format $machine"* ]] || fail "$zip: the program is not a $machine executable"
  # The manifest and the version resource are inside the program.
  grep -qa 'Microsoft.Windows.Common-Controls' "$x/$name/ElementExtractor.exe" || fail "$zip: no manifest"
  grep -qa 'asInvoker' "$x/$name/ElementExtractor.exe" || fail "$zip: the manifest lacks asInvoker"
  LC_ALL=C grep -qaP "$(utf16_pattern 1.11.0122)" "$x/$name/ElementExtractor.exe" ||
    fail "$zip: no version 1.11.0122 in the version resource"
  head -c 3 "$x/$name/用户指南.txt" | cmp -s - <(printf '\xef\xbb\xbf') || fail "$zip: the guide has no UTF-8 mark"
  grep -q "1.11.0122" "$x/$name/用户指南.txt" || fail "$zip: the guide names another version"
  grep -q $'\r$' "$x/$name/LICENSE.txt" || fail "$zip: LICENSE.txt lacks Windows line ends"
  grep -q "MIT License" "$x/$name/LICENSE.txt" && grep -q "Velmir Extractor contributors" "$x/$name/LICENSE.txt" ||
    fail "$zip: LICENSE.txt is not the MIT licence of the contributors"
  rm -rf "$x"
}

for t in win32 win64; do pack "$t"; done
