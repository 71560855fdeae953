#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks what a desktop reads from it: the
# program runs from there, the menu entry and AppStream data pass their validators, the
# icon theme has the icon in every size, the manual page renders without warnings.
set -euo pipefail
build=$1
source_dir=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
share=$prefix/share
id=org.mev.MediaBrowser

version=$(cd / && "$prefix/bin/mev" --version)
[ "$version" = "mev $(sed -n 's/^project(mev VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")" ] ||
  fail "installed program says '$version'"

desktop-file-validate "$share/applications/$id.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$share/metainfo/$id.metainfo.xml" >/dev/null || fail "AppStream metainfo"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$share/metainfo/$id.metainfo.xml" ||
  fail "metainfo does not launch the desktop entry"
grep -q "^Icon=$id$" "$share/applications/$id.desktop" || fail "desktop entry names another icon"

[ -s "$share/icons/hicolor/scalable/apps/$id.svg" ] || fail "no scalable icon"
for size in 16 24 32 48 64 128 256; do
  png=$share/icons/hicolor/${size}x${size}/apps/$id.png
  [ -s "$png" ] || fail "no ${size}x${size} icon"
  # Bytes 16-23 of a PNG hold its width and height.
  dims=$(od -An -tu1 -j16 -N8 "$png" | tr -s ' ' | sed 's/^ //')
  side="0 0 $((size >> 8)) $((size & 255))"
  [ "$dims" = "$side $side" ] || fail "${size}x${size} icon is $dims"
done

page=$share/man/man1/mev.1
[ -s "$page" ] || fail "no manual page"
if command -v groff >/dev/null; then
  warnings=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$page" 2>&1)
  [ -z "$warnings" ] || fail "manual page: $warnings"
fi
for text in Images= Audios= Videos= show= '\-\-help' '\-\-version' settings.ini; do
  grep -qF -- "$text" "$page" || fail "manual page lacks $text"
done
echo "installed tree checked under $prefix"
