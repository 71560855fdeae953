#!/bin/sh
# Runs the index probe over folders of 1,000 to 1,000,000 small pictures, each first
# with a cold thumbnail cache and then warm:
#   bench/index_scale.sh [BUILD] [SIZES]
# The machine's load shows in every figure: compare sizes within one run, as ratios.
set -eu
build=${1:-build}
sizes=${2:-"1000 10000 100000 1000000"}
base=${PROBE_BASE:-/tmp/mev-index-scale}
# The floor, in the same run: find listing the folder (the whole listing is needed before
# the first screenful of name order is known), and ls listing and sorting it by name.
ms_of() {
    start=$(date +%s%N)
    "$@" >/dev/null
    echo $((($(date +%s%N) - start) / 1000000))
}
# Name order's keys cost more where the locale collates by language (en_US.UTF-8, say)
# than in C.UTF-8: say which one this run has, e.g. LC_ALL=en_US.UTF-8 sh bench/index_scale.sh
echo "collation: $(locale 2>/dev/null | sed -n 's/^LC_COLLATE=//p' | tr -d '"')"
for n in $sizes; do
    cache=$(mktemp -d)
    for run in cold warm; do
        echo "== $n pictures, $run thumbnail cache"
        XDG_CACHE_HOME=$cache PROBE_NO_LEAVE=1 PROBE_SCREENS=${PROBE_SCREENS:-10} \
            xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/probe_image_index" "$n" "$base-$n"
    done
    [ -d "$base-$n" ] && echo "floor              find lists the folder in $(ms_of find "$base-$n" -maxdepth 1) ms," \
        "ls lists and sorts it in $(ms_of ls "$base-$n") ms"
    # A helper of the web engine may still be writing into it: what is left is only a temporary folder.
    rm -rf "$cache" 2>/dev/null || true
done
