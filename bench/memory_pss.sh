#!/usr/bin/env bash
# Memory of the whole program: proportional set size (PSS) of MEV and every process it
# started (web processes, network process, their sandbox helpers), read from
# /proc/<pid>/smaps_rollup. MEV runs on a private X display with a private profile:
#
#   bench/memory_pss.sh [folder] [runs]          # defaults: demo/ and 3 runs
#   COMPARE=geeqie MEV_BEFORE=/tmp/old-mev bench/memory_pss.sh demo 3
#
# A run starts MEV on the folder in all three tabs and samples once the Images tab shows
# the folder's index page ("start"), then visits the Audios and Videos tabs (the folder,
# and its first file played) and comes back to Images ("tabs"). With MEV_BEFORE set to
# another build, each run measures that build too, right after this one, so that both
# see the same machine load. With COMPARE set (geeqie or gthumb, if installed), the same
# folder is opened in that picture browser in each run as well, and MEV's medians are
# given as ratios of its figures.
#
# PSS shares a library's pages among all processes that map it, so other programs using
# the web engine at the same time lower MEV's figure; the private column (USS: pages
# only this tree maps) does not move with them and is the one to compare across runs.
#
# Needs: xvfb, xdotool, pulseaudio. SETTLE (seconds, default 6) is the wait after each
# step; a loaded machine may need more.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
folder=$(realpath "${1:-$root/demo}")
runs=${2:-3}
mev=$(realpath "${MEV:-$root/build/mev}")
before=${MEV_BEFORE:+$(realpath "$MEV_BEFORE")}
compare=${COMPARE:-}
settle=${SETTLE:-6}

for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done
for exe in "$mev" $before; do
  [[ -x $exe ]] || { echo "no program at $exe" >&2; exit 1; }
done
if [[ -n $compare ]] && ! command -v "$compare" >/dev/null; then
  echo "missing: $compare (apt-get install $compare), compared with nothing" >&2
  compare=
fi

# The process and all its descendants, one pid a line.
tree_pids() {
  local pids=("$1") i=0 pid child
  while ((i < ${#pids[@]})); do
    pid=${pids[i]}; ((i++))
    for child in $(cat /proc/"$pid"/task/*/children 2>/dev/null); do pids+=("$child"); done
  done
  printf '%s\n' "${pids[@]}"
}

# "total own web web_processes private" in kB for the tree under pid: its PSS, the PSS of
# the process itself and of its web processes, their count, and the tree's USS. With
# DETAIL set, one line per process on stderr as well.
tree_pss() {
  local total=0 own=0 webKb=0 web=0 private=0 pid kb uss name
  for pid in $(tree_pids "$1"); do
    read -r kb uss < <(awk '/^Pss:/ {p = $2} /^Private_(Clean|Dirty):/ {u += $2} END {print p, u}' \
      /proc/"$pid"/smaps_rollup 2>/dev/null)
    [[ -n $kb ]] || continue
    name=$(cat /proc/"$pid"/comm 2>/dev/null)
    [[ $pid == "$1" ]] && own=$kb
    [[ $name == WebKitWebProces* ]] && { ((web++)); ((webKb += kb)); }
    [[ -n ${DETAIL:-} ]] && printf '    %-20s %8d kB\n' "$name" "$kb" >&2
    ((total += kb))
    ((private += uss))
  done
  echo "$total $own $webKb $web $private"
}

display_up() {
  local n
  for n in $(seq 60 99); do [[ -e /tmp/.X$n-lock ]] || break; done
  Xvfb :$n -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
  export DISPLAY=:$n
  sleep 1
}

profile_up() {
  prof=$(mktemp -d /tmp/mev-pss.XXXXXX)
  export HOME=$prof XDG_CONFIG_HOME=$prof/config XDG_CACHE_HOME=$prof/cache XDG_DATA_HOME=$prof/data
  export XDG_RUNTIME_DIR=$prof/run
  mkdir -p "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
  # A sound server in the profile's runtime folder, where the players look for it:
  # without one the engine tries every other kind of sink in turn and keeps them loaded.
  pulseaudio --daemonize=no --exit-idle-time=-1 >/dev/null 2>&1 & pulse=$!
  local i; for i in $(seq 1 40); do [[ -S $XDG_RUNTIME_DIR/pulse/native ]] && break; sleep 0.1; done
}

profile_down() {
  stop_pid "$pulse"
  rm -rf "$prof"
}

wait_window() { # wait_window <name regex>
  local i
  for i in $(seq 1 120); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 && return 0
    sleep 0.25
  done
  return 1
}

stop_pid() {
  local pid=$1 i
  kill "$pid" 2>/dev/null
  for i in $(seq 1 40); do kill -0 "$pid" 2>/dev/null || break; sleep 0.25; done
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
}

# Web views alive, as the program's debug messages count them ("?" for a build without).
live_views() { grep -o '[0-9]* live' "$prof/log" | tail -n 1 | awk '{print $1} END {if (!NR) print "?"}'; }

click() { xdotool mousemove "$1" "$2" click 1; sleep "$settle"; }

# Where things are on the 1280x800 screen: the tabs at the foot of the window, the
# folder tree's root, the first row of a player's file list.
declare -A tab_x=([Images]=40 [Audios]=120 [Videos]=200)
tab_y=763
tree_root=(57 35)
first_row=(86 282)

measure_mev() { # measure_mev <label> <exe> <run>
  display_up
  profile_up
  G_MESSAGES_DEBUG=mev "$2" "Images=$folder" "Audios=$folder" "Videos=$folder" show=Images >"$prof/log" 2>&1 & pid=$!
  if ! wait_window '^MEV - '; then
    echo "run $3: no MEV window (log: $prof/log)" >&2
    stop_pid "$pid"; stop_pid "$xvfb"; profile_down; return
  fi
  sleep "$settle"
  click "${tree_root[@]}"
  local start tabs own webKb web private
  read -r start _ _ _ _ < <(tree_pss "$pid")
  local views
  views=$(live_views)
  for tab in Audios Videos; do
    click "${tab_x[$tab]}" "$tab_y"
    click "${tree_root[@]}"
    click "${first_row[@]}"
    views+=/$(live_views)
  done
  click "${tab_x[Images]}" "$tab_y"
  read -r tabs own webKb web private < <(tree_pss "$pid")
  echo "$1 $3 $start $tabs $own $webKb $web $private $views" >>"$results"
  stop_pid "$pid"
  stop_pid "$xvfb"
  profile_down
}

measure_other() { # measure_other <program> <run>
  display_up
  profile_up
  "$1" "$folder" >"$prof/log" 2>&1 & cpid=$!
  sleep "$settle"; sleep "$settle"
  local total private
  read -r total _ _ _ private < <(tree_pss "$cpid")
  echo "$1 $2 $total $total $total 0 0 $private -" >>"$results"
  stop_pid "$cpid"
  stop_pid "$xvfb"
  profile_down
}

# Each program gets a display of its own: what one leaves on a display (the address of
# an accessibility bus in a profile already removed) would stop the next.
results=$(mktemp)
trap 'rm -f "$results"' EXIT
for run in $(seq 1 "$runs"); do
  measure_mev mev "$mev" "$run"
  [[ -n $before ]] && measure_mev before "$before" "$run"
  [[ -n $compare ]] && measure_other "$compare" "$run"
done

median() { sort -n | awk '{a[NR]=$1} END {if (NR) print a[int((NR+1)/2)]; else print 0}'; }
mb() { awk -v kb="$1" 'BEGIN {printf "%.0f", kb / 1024}'; }
column_median() { awk -v p="$1" -v c="$2" '$1==p {print $c}' "$results" | median; }

echo "folder: $folder   runs: $runs   load: $(cut -d' ' -f1-3 /proc/loadavg)   $(nproc) cores"
echo "MB; PSS after start and after the tabs, then after the tabs: the program's own"
echo "process, its web processes (and their count), and the whole tree's private memory"
echo "(views: web views alive after start, the Audios tab and the Videos tab)"
row='%-8s %4s %7s %7s %8s %6s %7s %8s %s\n'
printf "$row" program run start tabs program web "web p." private views
while read -r prog run a b c d e f g; do
  printf "$row" "$prog" "$run" "$(mb "$a")" "$(mb "$b")" "$(mb "$c")" "$(mb "$d")" "$e" "$(mb "$f")" "$g"
done < <(sort -s -k1,1 "$results")
for prog in mev ${before:+before} $compare; do
  printf "$row" "$prog" median "$(mb "$(column_median "$prog" 3)")" "$(mb "$(column_median "$prog" 4)")" \
    "$(mb "$(column_median "$prog" 5)")" "$(mb "$(column_median "$prog" 6)")" "$(column_median "$prog" 7)" \
    "$(mb "$(column_median "$prog" 8)")"
done
if [[ -n $compare ]]; then
  for prog in mev ${before:+before}; do
    awk -v s="$(column_median "$prog" 3)" -v t="$(column_median "$prog" 4)" -v u="$(column_median "$prog" 8)" \
        -v o="$(column_median "$compare" 3)" -v q="$(column_median "$compare" 8)" -v p="$prog" -v c="$compare" \
      'BEGIN {if (o > 0 && q > 0) printf "%s/%s: PSS after start %.1f, after tabs %.1f; private after tabs %.1f\n", p, c, s / o, t / o, u / q}'
  done
fi
