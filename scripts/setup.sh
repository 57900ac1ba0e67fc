#!/usr/bin/env bash
# Installs what the project needs on a fresh Debian machine (as root) and
# prepares the Wine prefix.  Safe to run again: it skips what is there.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

need_packages=()
missing_dev=()
have() { command -v "$1" >/dev/null 2>&1; }
have cmake || need_packages+=(cmake)
have ninja || need_packages+=(ninja-build)
have g++ || need_packages+=(g++)
have i686-w64-mingw32-g++-posix || need_packages+=(g++-mingw-w64-i686-posix mingw-w64-tools)
have x86_64-w64-mingw32-g++-posix || need_packages+=(g++-mingw-w64-x86-64-posix)
have i686-w64-mingw32-windres || need_packages+=(binutils-mingw-w64-i686)
have x86_64-w64-mingw32-windres || need_packages+=(binutils-mingw-w64-x86-64)
have wine || need_packages+=(wine wine64)
dpkg -s wine32:i386 >/dev/null 2>&1 || need_packages+=(wine32:i386)
have Xvfb || need_packages+=(xvfb)
have xdpyinfo || need_packages+=(x11-utils)
have zip || need_packages+=(zip unzip)
# What the windows and the documentation's pictures draw with: Wine's own
# Marlett draws the caption buttons (without it they show as letters), AR PL
# UMing stands in for SimSun and WenQuanYi Zen Hei for the Hei faces.  Wine
# only recommends fonts-wine, so it is asked for by name.
[ -f /usr/share/wine/fonts/marlett.ttf ] || need_packages+=(fonts-wine)
[ -f /usr/share/fonts/truetype/arphic/uming.ttc ] || need_packages+=(fonts-arphic-uming)
[ -f /usr/share/fonts/truetype/wqy/wqy-zenhei.ttc ] || need_packages+=(fonts-wqy-zenhei)
[ -d /usr/src/googletest ] || need_packages+=(googletest)
[ -d /usr/share/i18n/locales ] || need_packages+=(locales)
# Real browsers for the end-to-end tests of their caches, ffmpeg for the
# media they play, Python for the page server that drives them.  Asked of
# dpkg by package: a removed package leaves its name known but not installed.
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q ' ok installed$'; }
installed chromium || need_packages+=(chromium)
installed firefox-esr || need_packages+=(firefox-esr)
installed ffmpeg || need_packages+=(ffmpeg)
have python3 || need_packages+=(python3)
# The lab's HTTPS: openssl makes its certificates, certutil trusts them in
# Firefox's profile.
have openssl || need_packages+=(openssl)
have certutil || need_packages+=(libnss3-tools)

if [ ${#need_packages[@]} -gt 0 ]; then
  echo "setup: installing ${need_packages[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: run as root to install packages" >&2
    exit 1
  fi
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  # A mirror caught mid-sync fails one index now and then; try again, and
  # go on with what was fetched if it still fails (the install says whether
  # anything needed is missing).
  for try in 1 2 3; do
    apt-get update -qq && break
    echo "setup: apt-get update failed (try $try of 3)" >&2
    sleep $((try * 10))
  done
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need_packages[@]}" >/dev/null
fi

# The brotli and zstd decoders are built from Debian's source packages by
# CMake (static, every tree); zlib comes built (zlib1g-dev natively,
# libz-mingw-w64-dev for Windows).  Versions are pinned and the upstream
# tarballs checked, so every machine builds the same code.
installed zlib1g-dev || missing_dev+=(zlib1g-dev)
installed libz-mingw-w64-dev || missing_dev+=(libz-mingw-w64-dev)
installed dpkg-dev || missing_dev+=(dpkg-dev)
have brotli || missing_dev+=(brotli)
have zstd || missing_dev+=(zstd)
have gzip || missing_dev+=(gzip)
if [ ${#missing_dev[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing_dev[@]}" >/dev/null
fi
deps_dir="$BUILD_ROOT/deps"
fetch_source() {  # package version folder sha256-of-the-upstream-tarball
  local package=$1 version=$2 folder=$3 sum=$4
  [ -f "$deps_dir/$folder/.ee-ready" ] && return 0
  if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/; then
    # The same archive as the binary packages, for sources.
    cat > /etc/apt/sources.list.d/ee-sources.sources <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  fi
  local work="$deps_dir/fetch-$package"
  rm -rf "$work" "${deps_dir:?}/$folder"
  mkdir -p "$work"
  # Bookworm's own release: the security archive's mirror does not serve
  # sources.  A source package unknown to the index means the index is old:
  # update it (the same retries as above; a stale mirror index is not fatal).
  if ! (cd "$work" && apt-get source -qq --download-only "$package/bookworm" >/dev/null 2>&1); then
    for try in 1 2 3; do
      apt-get update -qq && break
      echo "setup: apt-get update failed (try $try of 3)" >&2
      sleep $((try * 10))
    done
    (cd "$work" && apt-get source -qq --download-only "$package/bookworm" >/dev/null)
  fi
  if ! grep -qx "Version: $version" "$work"/*.dsc; then
    echo "setup: $package is not the pinned $version" >&2
    exit 1
  fi
  local tarball
  tarball=$(ls "$work"/*.orig.tar.[gx]z | head -n 1)
  if ! echo "$sum  $tarball" | sha256sum -c --quiet -; then
    echo "setup: $tarball does not match its pinned sum" >&2
    exit 1
  fi
  # dpkg-source applies Debian's patches (security fixes among them).
  (cd "$work" && LC_ALL=C dpkg-source -x --no-check ./*.dsc src >/dev/null)
  mv "$work/src" "$deps_dir/$folder"
  rm -rf "$work"
  touch "$deps_dir/$folder/.ee-ready"
}
mkdir -p "$deps_dir"
fetch_source brotli 1.0.9-2 brotli f9e8d81d0405ba66d181529af42a3354f838c939095ff99930da6aa9cdf6fe46
fetch_source libzstd 1.5.4+dfsg2-5 zstd 8cf4bbb65e77ec348d052c8d6230eba66d435bddf64c8b5be2fcb16880c19953

# Wine needs the locale to exist for real to create files with Chinese names.
if ! locale -a 2>/dev/null | grep -qiE '^zh_CN\.utf-?8$'; then
  if [ ! -d "$BUILD_ROOT/locale/zh_CN.UTF-8" ]; then
    mkdir -p "$BUILD_ROOT/locale"
    localedef -i zh_CN -f UTF-8 "$BUILD_ROOT/locale/zh_CN.UTF-8"
  fi
  export LOCPATH="$BUILD_ROOT/locale"
fi

# A prefix of our own, inside the build tree, made once and reused.
if [ ! -f "$WINEPREFIX/.ee-ready" ]; then
  echo "setup: creating Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
  touch "$WINEPREFIX/.ee-ready"
fi

# Stand-ins for the faces the windows were laid out in.  Chinese Windows draws
# the dialog and GUI faces' Chinese in SimSun (9 pt: 12 px a character, 12 px
# a line); AR PL UMing, a Ming face, comes closest (13 px lines, near
# half-width Latin), where WenQuanYi Zen Hei's 16 px lines cut off the main
# window's three-line note.  YaHei keeps Zen Hei, whose lines are as tall.
# The marker holds the mapping, so an older prefix is brought up to date.
song_face="AR PL UMing CN"
hei_face="WenQuanYi Zen Hei"
font_map="$song_face/$hei_face"
if [ "$(cat "$WINEPREFIX/.ee-fonts" 2>/dev/null)" != "$font_map" ]; then
  regfile="$WINEPREFIX/ee-fonts.reg"
  {
    printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
    for face in "宋体" "SimSun" "新宋体" "NSimSun" "MS Shell Dlg" "MS Shell Dlg 2" "Tahoma" "Microsoft Sans Serif" "MS Sans Serif" "Arial"; do
      printf '"%s"="%s"\r\n' "$face" "$song_face"
    done
    for face in "Microsoft YaHei" "微软雅黑"; do
      printf '"%s"="%s"\r\n' "$face" "$hei_face"
    done
  } | iconv -f UTF-8 -t GBK > "$regfile"
  wine regedit "$regfile" >/dev/null 2>&1 || true
  wineserver -w || true
  printf '%s\n' "$font_map" > "$WINEPREFIX/.ee-fonts"
fi
# Debian's Wine looks for its own fonts in a folder that does not resolve
# (share/wine/../fonts), so Marlett, which draws the caption buttons, is
# offered in the prefix's font folder.  Only Marlett: Wine's Tahoma would
# win over the replacements above and has no Chinese.
if [ ! -e "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf" ]; then
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  ln -sf /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf"
fi

# A program that crashes under test has Wine print its backtrace and end,
# instead of waiting behind Wine's crash dialog, which nobody on the test
# display answers, until the test's time runs out.
if [ ! -f "$WINEPREFIX/.ee-no-crash-dialog" ]; then
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || true
  wineserver -w || true
  touch "$WINEPREFIX/.ee-no-crash-dialog"
fi

# Without a window manager on the test display, Wine waits two seconds for
# every closed top-level window to be withdrawn; unmanaged windows close at
# once, which keeps the timing of dialog tests meaningful.
if [ ! -f "$WINEPREFIX/.ee-unmanaged" ]; then
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
  wineserver -w || true
  touch "$WINEPREFIX/.ee-unmanaged"
fi
