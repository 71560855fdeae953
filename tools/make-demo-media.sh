#!/usr/bin/env bash
# Regenerates the demo media folder (demo/) from nothing but generated patterns and tones.
# The generated files are committed; run this only to change them.
#
# Needs: ImageMagick 6 (convert) with the DejaVu fonts (fonts-dejavu-core), ffmpeg built
# with libmp3lame, libvpx and libvorbis (Debian's ffmpeg is), and sox. The Flash movie
# comes from tools/make-swf.sh.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
demo="$root/demo"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tool in convert ffmpeg sox; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

rm -rf "$demo"
mkdir -p "$demo/More pictures"

font=DejaVu-Sans-Bold
label() { # label <text>: the options that write a centred caption
  printf '%s\n' -gravity center -font "$font" -pointsize 34 -fill white -stroke black \
    -strokewidth 1 -annotate 0 "$1"
}

# --- Pictures: one per format, plus two in a sub-folder ---------------------------------
mapfile -t opts < <(label "Sunrise")
convert -size 480x320 gradient:'#ffb347'-'#1e3c72' "${opts[@]}" -strip -quality 80 "$demo/Sunrise.jpg"

mapfile -t opts < <(label "Checkerboard")
convert -size 400x300 tile:pattern:checkerboard -fill '#3060c0' -colorize 35 "${opts[@]}" \
  -strip -depth 8 -colors 32 "$demo/Checkerboard.png"

mapfile -t opts < <(label "Rings")
convert -size 320x320 radial-gradient:'#ffe066'-'#8b1e3f' \
  \( -size 320x320 xc:none -fill none -stroke '#ffffff80' -strokewidth 6 \
     -draw 'circle 160,160 160,40' -draw 'circle 160,160 160,90' -draw 'circle 160,160 160,130' \) \
  -composite "${opts[@]}" -strip -colors 64 "$demo/Rings.gif"

mapfile -t opts < <(label "Stripes")
stripes=()
for x in 0 40 80 120 160 200; do stripes+=(-draw "rectangle $x,0 $((x + 19)),159"); done
convert -size 160x240 gradient:'#2e8b57'-'#f0e68c' -rotate 90 -fill '#ffffff50' "${stripes[@]}" \
  "${opts[@]}" -strip -type Palette -colors 16 BMP3:"$demo/Stripes.bmp"

mapfile -t opts < <(label "Night sky")
convert -seed 7 -size 400x260 plasma:'#0b1a40'-'#000010' \
  \( -size 400x260 xc:black +noise Random -channel G -threshold 99.3% -separate +channel \) \
  -compose screen -composite "${opts[@]}" -strip -quality 75 "$demo/More pictures/Night sky.jpg"

mapfile -t opts < <(label "Dusk")
convert -size 300x200 gradient:'#6a0dad'-'#ff7f50' "${opts[@]}" -strip -depth 8 -colors 48 \
  "$demo/More pictures/Dusk.png"

# --- Tunes: short mono MP3s at a low bit rate --------------------------------------------
mp3() { # mp3 <wav> <mp3>: no ID3v2 block, so the only tag is the one appended below
  ffmpeg -v error -y -i "$1" -c:a libmp3lame -b:a 32k -ac 1 -ar 22050 \
    -id3v2_version 0 -write_xing 0 -map_metadata -1 -fflags +bitexact "$2"
}

# field <text> <width>: the text's bytes, cut at the width and padded with NULs
field() {
  local text=$1 width=$2
  local bytes
  bytes=$(LC_ALL=C; printf '%s' "${#text}")
  if (( bytes > width )); then bytes=$width; fi
  printf '%s' "$text" | head -c "$bytes"
  head -c $(( width - bytes )) /dev/zero
}

# id3v1 <file> <title> <artist> <album> <year> <comment> <track>: appends the 128-byte tag
# (genre 255, none). Texts are bytes as stored: $'\xe9' is é in Latin-1.
id3v1() {
  {
    printf 'TAG'
    field "$2" 30; field "$3" 30; field "$4" 30; field "$5" 4; field "$6" 28
    printf '\0'
    printf "\\$(printf '%03o' "$7")"
    printf '\377'
  } >> "$1"
}

sox -n -r 22050 -c 1 "$work/chime.wav" synth 4 sine 880 sine 1320 remix - fade 0 4 3.5 vol 0.6
mp3 "$work/chime.wav" "$demo/Chime.mp3"
id3v1 "$demo/Chime.mp3" "Morning Chime" "Demo Ensemble" $'Caf\xe9 Tones' "2024" "Two sines, fading" 1

sox -n -r 22050 -c 1 "$work/a.wav" synth 0.5 pluck C4
sox -n -r 22050 -c 1 "$work/b.wav" synth 0.5 pluck E4
sox -n -r 22050 -c 1 "$work/c.wav" synth 0.5 pluck G4
sox -n -r 22050 -c 1 "$work/d.wav" synth 1.5 pluck C5
sox "$work/a.wav" "$work/b.wav" "$work/c.wav" "$work/d.wav" "$work/arpeggio.wav"
mp3 "$work/arpeggio.wav" "$demo/Arpeggio.mp3"
id3v1 "$demo/Arpeggio.mp3" "Plucked Arpeggio in C Major" "Demo Ensemble" $'Caf\xe9 Tones' "2024" "C E G C" 2

ffmpeg -v error -y -f lavfi -i "sine=frequency=110:duration=5" -af "volume=0.5,afade=t=out:st=4:d=1" \
  "$work/hum.wav"
mp3 "$work/hum.wav" "$demo/Low Hum.mp3"
id3v1 "$demo/Low Hum.mp3" "Low Hum" "The Oscillators" "Test Signals" "2023" "110 Hz" 3

ffmpeg -v error -y -f lavfi -i "sine=frequency=660:duration=3:beep_factor=4" -af "volume=0.4" \
  "$work/beeps.wav"
mp3 "$work/beeps.wav" "$demo/Beeps (no tag).mp3"

# --- Clips: an MPEG-1 program stream and a WebM, three seconds each ----------------------
ffmpeg -v error -y -f lavfi -i "testsrc=size=320x240:rate=25:duration=3" \
  -f lavfi -i "sine=frequency=523:duration=3" \
  -c:v mpeg1video -b:v 250k -c:a mp2 -b:a 64k -ar 44100 -ac 1 -map_metadata -1 -fflags +bitexact \
  -f mpeg "$demo/Test Pattern.mpg"

ffmpeg -v error -y -f lavfi -i "smptebars=size=320x240:rate=25:duration=3" \
  -f lavfi -i "sine=frequency=392:duration=3" \
  -c:v libvpx -b:v 150k -c:a libvorbis -b:a 48k -ac 1 -map_metadata -1 -fflags +bitexact \
  "$demo/Colour Bars.webm"

# --- A Flash movie: a square sliding across a blue stage, four seconds -------------------
"$root/tools/make-swf.sh" "$demo/Sliding Square.swf" 320 240 12 48 1e3c72 ffb347

du -sh "$demo"
