#!/usr/bin/env bash
# Provides Qt 6.4.2 (qtbase) cross-built for 64-bit Windows with mingw-w64 and prints its prefix.
# In this order: a ready tree in the cache folder; else the prebuilt tarball from ../shared when
# it is there (sha256 checked); else qtbase built from Debian's qt6-base 6.4.2 source package with
# the same options (about 25 minutes on 2 cores).
#
#   LM_QT_MINGW_DIR   the cache folder (default ~/.cache/lumora/qt-6.4.2-mingw-w64)
#   LM_QT_MINGW_TARBALL  a prebuilt tarball to use instead of ../shared's
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dest=${LM_QT_MINGW_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/lumora/qt-6.4.2-mingw-w64}
tarball=${LM_QT_MINGW_TARBALL:-$here/../shared/toolchains/qt-6.4.2-mingw-w64.tar.xz}
sha256=4ab0998c903c3e7bfce57630e6670a22d9675e99b0bd43bcaf4eb5aacf009c4c

ready() { [ -f "$1/lib/cmake/Qt6/Qt6Config.cmake" ] && [ -f "$1/bin/Qt6Core.dll" ]; }

if ready "$dest"; then
    echo "$dest"
    exit 0
fi
mkdir -p "$(dirname "$dest")"
tmp=$(mktemp -d "$(dirname "$dest")/.qt-mingw.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

if [ -f "$tarball" ]; then
    if ! echo "$sha256  $tarball" | sha256sum -c --status; then
        echo "windows-qt: $tarball does not have the expected sha256 $sha256" >&2
        exit 1
    fi
    echo "windows-qt: unpacking $tarball" >&2
    tar -xJf "$tarball" -C "$tmp"
    # The tarball holds one folder (qt6-mingw/).
    root=$(find "$tmp" -mindepth 1 -maxdepth 1 -type d | head -n 1)
else
    echo "windows-qt: no prebuilt tarball; building qtbase 6.4.2 from Debian's source (slow)" >&2
    export DEBIAN_FRONTEND=noninteractive
    if ! ls /etc/apt/sources.list.d/*-src.sources >/dev/null 2>&1; then
        # A deb-src twin of the machine's own source list.
        for f in /etc/apt/sources.list.d/*.sources; do
            [ -e "$f" ] || continue
            sed 's/^Types:.*/Types: deb-src/' "$f" > "${f%.sources}-src.sources"
        done
        if [ -f /etc/apt/sources.list ]; then
            grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' \
                > /etc/apt/sources.list.d/lumora-src.list || true
        fi
    fi
    apt-get update >&2
    (cd "$tmp" && apt-get source --download-only qt6-base >&2)
    src=$(ls "$tmp"/qt6-base_6.4.2*.orig.tar.xz | head -n 1)
    QT_SOURCE_TARBALL=$src bash "$here/scripts/windows/build-qt-mingw-w64.sh" \
        "$tmp/work" "$tmp/qt6-mingw" >&2
    root=$tmp/qt6-mingw
fi
if ! ready "$root"; then
    echo "windows-qt: $root does not hold a Qt for mingw-w64" >&2
    exit 1
fi
rm -rf "$dest"
mv "$root" "$dest"
echo "$dest"
