#!/bin/sh
# Times MEV and another picture browser on the same folder, each on its own Xvfb display,
# by polling the screen alone (bench/screen_poll.c): from the program's launch to its
# first thumbnail and to its first complete screenful of thumbnails (MEV started with the
# folder's first picture, which opens its index), with a cold and
# then a warm thumbnail cache (each program its own cache):
#   bench/side_by_side.sh BUILD FOLDER [SECONDS] [OTHER-COMMAND]
# OTHER-COMMAND is run with the folder appended (default "geeqie"); OTHER_HOME may name a
# home folder holding its settings (copied for each run; e.g. thumbnails in an icon view).
# MEV_REGION and OTHER_REGION ("X Y W H") restrict the count to the thumbnails' area so
# a large view of the current picture is not counted. A first screenful is the first
# moment 95% of the final count is on screen. Each figure is given from the launch and
# from the moment the window came up (start-up aside). Compare the two as ratios within
# one run.
set -eu
build=$1
folder=$2
seconds=${3:-40}
other=${4:-geeqie}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
cc -O2 -o "$work/screen_poll" "$here/screen_poll.c" -lX11
display=${BENCH_DISPLAY:-97}
# MEV opens the index of a picture's folder when started with the picture.
first=$(ls "$folder" | head -1)

# One run: name, region, command... Prints "name first-thumbnail-ms first-screenful-ms".
run() {
    name=$1; region=$2; shift 2
    Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    sleep 2
    DISPLAY=":$display" "$work/screen_poll" "$seconds" $region >"$work/$name.poll" &
    poll=$!
    DISPLAY=":$display" "$@" >"$work/$name.log" 2>&1 &
    pid=$!
    wait "$poll" || true
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
    awk -v name="$name" '{ t[NR] = $1; c[NR] = $2; s[NR] = $3; if ($2 > max) max = $2 }
        END { first = -1; screen = -1; up = -1
              for (i = 1; i <= NR; i++) { if (up < 0 && s[i] > 0) up = t[i]
                                          if (first < 0 && c[i] >= 300) first = t[i]
                                          if (screen < 0 && c[i] >= 0.95 * max) screen = t[i] }
              printf "%-10s window up %6d ms; first thumbnail %6d ms, first screenful %6d ms after the launch" \
                     " (%d, %d ms after the window came up; %d colourful samples at most)\n",
                     name, up, first, screen, first - up, screen - up, max }' "$work/$name.poll"
}

for program in mev other; do
    home=$work/home-$program
    mkdir -p "$home"
    if [ "$program" = other ] && [ -n "${OTHER_HOME:-}" ]; then
        cp -r "$OTHER_HOME/." "$home"
    fi
    for cache in cold warm; do
        if [ "$program" = mev ]; then
            run "mev-$cache" "${MEV_REGION:-}" env HOME="$home" XDG_CONFIG_HOME="$home/.config" \
                XDG_CACHE_HOME="$home/.cache" "$build/mev" "$folder/$first"
        else
            run "other-$cache" "${OTHER_REGION:-}" env HOME="$home" XDG_CONFIG_HOME="$home/.config" \
                XDG_CACHE_HOME="$home/.cache" $other "$folder"
        fi
    done
done
rm -rf "$work"
