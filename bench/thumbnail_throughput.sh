#!/bin/sh
# Thumbnail throughput of MEV against gdk-pixbuf-thumbnailer, on the same pictures, in
# one run (the machine is shared: compare the ratio, not the figures):
#   bench/thumbnail_throughput.sh [BUILD] [COUNT]
# Makes COUNT (default 200) distinct 12-megapixel JPEGs with bench/make_photo_folder.sh.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
count=${2:-200}
folder=${TMPDIR:-/tmp}/mev-photos-$count
"$here/make_photo_folder.sh" "$folder" "$count" "$count" >/dev/null
cache=$(mktemp -d)
trap 'rm -rf "$cache"' EXIT

echo "machine: $(nproc) processors, load $(cut -d' ' -f1-3 /proc/loadavg)"
XDG_CACHE_HOME="$cache/mev" "$build/bench/probe_thumbnail_throughput" "$folder" "$count"

start=$(date +%s.%N)
n=0
for picture in "$folder"/*.jpg; do
    gdk-pixbuf-thumbnailer -s 128 "$picture" "$cache/gdk.png"
    n=$((n + 1))
done
end=$(date +%s.%N)
echo "$n $start $end" | awk '{ t = $3 - $2; printf "gdk-pixbuf-thumbnailer, one at a time: %d pictures in %.2f s: %.1f pictures/s\n", $1, t, $1 / t }'

start=$(date +%s.%N)
ls "$folder"/*.jpg | xargs -P "$(nproc)" -I{} sh -c 'gdk-pixbuf-thumbnailer -s 128 "$1" "$2/$(basename "$1").png"' _ {} "$cache"
end=$(date +%s.%N)
echo "$n $start $end $(nproc)" | awk '{ t = $3 - $2; printf "gdk-pixbuf-thumbnailer, %d at a time: %d pictures in %.2f s: %.1f pictures/s\n", $4, $1, t, $1 / t }'
