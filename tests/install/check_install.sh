#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks what a desktop reads from it: the
# program runs from there, the menu entry and AppStream data pass their validators, the
# menu entry offers every type the tabs list, the icon theme has the icon in every size,
# the manual page renders without warnings, copyright and changelog are there. With a
# display, the installed program is started from another folder: relative folders, as an
# option or bare, are taken from there, and its window has the class the menu entry names.
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$2
prefix=$(mktemp -d)
# The media folder lies beside the build, on a disk whose folders are remembered.
work=$(mktemp -d -p "$build" install-check-XXXXXX)
trap 'rm -rf "$prefix" "$work"' EXIT
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
entry=$share/applications/$id.desktop
grep -q "^Icon=$id$" "$entry" || fail "desktop entry names another icon"
grep -q "^Exec=mev %F$" "$entry" || fail "desktop entry starts mev another way"
[ "$(grep -c '^Categories=AudioVideo;Player;$' "$entry")" = 1 ] || fail "desktop entry: one main category"
wm_class=$(sed -n 's/^StartupWMClass=//p' "$entry")
[ -n "$wm_class" ] || fail "desktop entry has no StartupWMClass"
[ -d "$share/mev" ] || fail "no data folder share/mev"
# The program finds its decode helper in libexec/mev of its prefix.
[ -x "$prefix/libexec/mev/mev-decode" ] || fail "no decode helper libexec/mev/mev-decode"
# Its libvips module beside it: the installed helper reads a type only libvips reads.
"$prefix/libexec/mev/mev-decode" --list-types | grep -qx "type .tif" ||
  fail "the installed decode helper does not find its libvips module"

# Every picture, music and clip type of the MIME database, as the tabs list them, and
# what the file manager sees: MEV among the programs for the types named here.
types=$(sed -n 's/^MimeType=//p' "$entry" | tr ';' '\n')
globs=/usr/share/mime/globs2
if [ -r "$globs" ]; then
  missing=$(awk -F: '$2 ~ /^(image|audio|video)\// && $3 ~ /^\*\.[^*?[]+$/ {print $2}' "$globs" | sort -u |
            grep -vxF -f <(echo "$types") || true)
  [ -z "$missing" ] || fail "desktop entry lacks $(echo $missing)"
fi
wanted="inode/directory image/svg+xml image/heif image/avif image/jxl image/tiff image/jpeg audio/mpeg video/mp4"
[ -d "$build/ruffle" ] && wanted="$wanted application/vnd.adobe.flash.movie application/x-shockwave-flash"
for type in $wanted; do
  # Not through a pipe: with pipefail, grep -q leaving early fails a writer still writing.
  grep -qxF "$type" <<<"$types" || fail "desktop entry does not offer $type"
  offered=$(PATH=$prefix/bin:$PATH XDG_DATA_HOME=$prefix/none XDG_DATA_DIRS=$share:/usr/share gio mime "$type" 2>&1 || true)
  grep -qF "$id.desktop" <<<"$offered" || fail "the desktop does not offer MEV for $type: $offered"
done

[ -s "$share/icons/hicolor/scalable/apps/$id.svg" ] || fail "no scalable icon"
for size in 16 24 32 48 64 128 256; do
  png=$share/icons/hicolor/${size}x${size}/apps/$id.png
  [ -s "$png" ] || fail "no ${size}x${size} icon"
  # Bytes 16-23 of a PNG hold its width and height.
  dims=$(od -An -tu1 -j16 -N8 "$png" | tr -s ' ' | sed 's/^ //')
  side="0 0 $((size >> 8)) $((size & 255))"
  [ "$dims" = "$side $side" ] || fail "${size}x${size} icon is $dims"
done

[ -s "$share/man/man1/mev.1.gz" ] || fail "no compressed manual page"
page=$work/mev.1
gzip -dc "$share/man/man1/mev.1.gz" >"$page"
if command -v groff >/dev/null; then
  warnings=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$page" 2>&1)
  [ -z "$warnings" ] || fail "manual page: $warnings"
fi
for text in Images= Audios= Videos= show= '\-\-help' '\-\-version' settings.ini /share/mev 'only the first'; do
  grep -qF -- "$text" "$page" || fail "manual page lacks $text"
done
doc=$share/doc/mev
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$doc/copyright" ||
  fail "no machine-readable copyright file"
grep -q '^License: MIT or Apache-2.0' "$doc/copyright" || fail "copyright file lacks the Flash emulator's licences"
first=$(gzip -dc "$doc/changelog.gz" | sed -n 1p)
grep -qF "mev (${version#mev })" <<<"$first" || fail "changelog does not start at this version"

# Started from the folder that holds the media, with each form of a relative folder.
if [ -n "${DISPLAY:-}" ] && command -v xdotool >/dev/null && command -v xprop >/dev/null; then
  mkdir -p "$work/here/demo" "$work/config"
  cp "$source_dir/demo/"*.jpg "$work/here/demo/" 2>/dev/null || convert -size 8x8 xc:red "$work/here/demo/red.jpg"
  for form in Images=demo demo; do
    rm -f "$work/config/mev/settings.ini"
    (cd "$work/here" && XDG_CONFIG_HOME=$work/config exec "$prefix/bin/mev" "$form" >"$work/log" 2>&1) &
    pid=$!
    window=""
    for _ in $(seq 1 120); do
      window=$(xdotool search --pid "$pid" --name "^MEV - " 2>/dev/null | head -n 1 || true)
      [ -n "$window" ] && break
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.5
    done
    [ -n "$window" ] || { kill "$pid" 2>/dev/null || true; fail "$form: no window: $(cat "$work/log")"; }
    xprop -id "$window" WM_CLASS | grep -qF "\"$wm_class\"" ||
      fail "window class $(xprop -id "$window" WM_CLASS) is not StartupWMClass=$wm_class"
    kill -TERM "$pid"
    wait "$pid" || fail "$form: exit status $?"
    saved=$(sed -n 's/^fld_of_Images=//p' "$work/config/mev/settings.ini" 2>/dev/null || true)
    [ "$saved" = "$work/here/demo" ] || fail "mev $form from $work/here opened '$saved'"
  done
  echo "installed program started from another folder: relative folders taken from there"
fi
echo "installed tree checked under $prefix"
