#!/bin/sh
# Makes a folder of photo-sized JPEGs for the thumbnail benchmarks:
#   bench/make_photo_folder.sh FOLDER COUNT [DISTINCT] [WIDTH HEIGHT]
# DISTINCT different pictures (default 200) of WIDTHxHEIGHT (default 4000x3000, 12
# megapixels) are made from one ImageMagick plasma picture, each cut from another
# place and saved with another quality; the rest of COUNT are hard links to them under
# their own names. Every name is a picture of its own to a thumbnail cache (it is named
# by its path), so a cold cache still decodes COUNT pictures.
set -eu
folder=$1
count=$2
distinct=${3:-200}
width=${4:-4000}
height=${5:-3000}
mkdir -p "$folder/.src"
base="$folder/.src/base.png"
if [ ! -f "$base" ]; then
    convert -size "$((width + 400))x$((height + 300))" plasma:fractal -blur 0x1 "$base"
fi
i=0
while [ "$i" -lt "$distinct" ] && [ "$i" -lt "$count" ]; do
    name=$(printf '%s/photo%06d.jpg' "$folder" "$i")
    if [ ! -f "$name" ]; then
        x=$(( (i * 37) % 400 ))
        y=$(( (i * 53) % 300 ))
        vips crop "$base" "$name[Q=$((80 + i % 15))]" "$x" "$y" "$width" "$height"
    fi
    i=$((i + 1))
done
while [ "$i" -lt "$count" ]; do
    name=$(printf '%s/photo%06d.jpg' "$folder" "$i")
    [ -e "$name" ] || ln "$(printf '%s/photo%06d.jpg' "$folder" $((i % distinct)))" "$name"
    i=$((i + 1))
done
echo "$folder: $count pictures ($distinct distinct, ${width}x${height})"
