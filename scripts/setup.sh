#!/usr/bin/env bash
# Installs everything the builds and tests need on a Debian machine; quick when all is there.
set -euo pipefail

PACKAGES=(
    cmake ninja-build g++ clang clang-format libclang-rt-14-dev ccache pkg-config libasound2-dev
    libgtest-dev googletest libbenchmark-dev
    g++-mingw-w64-i686-posix mingw-w64-i686-dev g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
    g++-multilib qemu-user-static
    wine wine32:i386 wine64 fonts-wine xvfb xauth xdotool x11-apps imagemagick
    sox libsox-fmt-all lame mpg123 ffmpeg flac vorbis-tools faad libgsm-tools espeak-ng
    opus-tools wavpack python3-mutagen libimage-exiftool-perl
    python3 python3-pyftpdlib python3-libdiscid dpkg-dev strace parallel whipper
    libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-plugins-base
    gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly gstreamer1.0-libav
    gstreamer1.0-plugins-base:i386 gstreamer1.0-plugins-good:i386
    gstreamer1.0-plugins-ugly:i386 gstreamer1.0-libav:i386
)

SUDO=""
[[ $(id -u) -ne 0 ]] && SUDO=sudo

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed'; then
        missing+=("$p")
    fi
done
if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi
echo "setup: all packages present"

# The Windows build cross-compiles LAME from Debian's own source package: a deb-src entry for the
# same archive and suites as the machine's binary sources.
SRC_LIST=/etc/apt/sources.list.d/tamber-deb-src.sources
if [[ ! -f $SRC_LIST ]]; then
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s %s-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$codename" "$codename" | $SUDO tee "$SRC_LIST" >/dev/null
    $SUDO apt-get update -qq
fi
