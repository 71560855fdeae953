#!/usr/bin/env bash
# Memory of the whole program: proportional set size (PSS) of MEV and every process it
# started (web processes, network process, their sandbox helpers), read from
# /proc/<pid>/smaps_rollup. MEV runs on a private X display with a private profile:
#
#   bench/memory_pss.sh [folder] [runs]          # defaults: demo/ and 3 runs
#   MEV=build/mev COMPARE=geeqie bench/memory_pss.sh demo 3
#
# Each run samples after start (the Images tab's index page is up), then after visiting
# the Audios, Videos and Images tabs in turn, and prints one row per sample with the
# number of web processes. With COMPARE set (geeqie or gthumb, if installed), the same
# folder is opened in that picture browser in the same run, and its PSS is printed as
# well, with MEV's figures as ratios of it. The last lines give the medians.
#
# Needs: xvfb, xdotool, pulseaudio. SETTLE (seconds, default 6) is the wait after
# each step; a loaded machine may need more.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
folder=$(realpath "${1:-$root/demo}")
runs=${2:-3}
mev=$(realpath "${MEV:-$root/build/mev}")
compare=${COMPARE:-}
settle=${SETTLE:-6}

for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done
[[ -x $mev ]] || { echo "no program at $mev" >&2; exit 1; }
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

# "total_kB own_kB web_kB web_processes private_kB" for the tree under pid: all of it,
# the process itself, its web processes, and the tree's private memory (USS, which other
# programs mapping the same libraries do not lower). With DETAIL set, one line per
# process on stderr as well.
tree_pss() {
  local total=0 own=0 webKb=0 web=0 private=0 pid kb uss name
  for pid in $(tree_pids "$1"); do
    read -r kb uss < <(awk '/^Pss:/ {p = $2} /^Private_(Clean|Dirty):/ {u += $2} END {print p, u}' \
      /proc/"$pid"/smaps_rollup 2>/dev/null)
    [[ -n $kb ]] || continue
    ((private += uss))
    name=$(cat /proc/"$pid"/comm 2>/dev/null)
    [[ $pid == "$1" ]] && own=$kb
    [[ $name == WebKitWebProces* ]] && { ((web++)); ((webKb += kb)); }
    [[ -n ${DETAIL:-} ]] && printf '    %-20s %8d kB\n' "$name" "$kb" >&2
    ((total += kb))
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
}

wait_window() { # wait_window <name regex>: prints the window id
  local i win
  for i in $(seq 1 120); do
    win=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
    [[ -n $win ]] && { echo "$win"; return 0; }
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

# The tab strip at the foot of the window, on the 1280x800 screen.
declare -A tab_x=([Images]=40 [Audios]=120 [Videos]=200)
tab_y=763

results=$(mktemp)
trap 'rm -f "$results"' EXIT
display_up
pulseaudio --daemonize=no --exit-idle-time=-1 >/dev/null 2>&1 & pulse=$!

for run in $(seq 1 "$runs"); do
  profile_up
  "$mev" "Images=$folder" "Audios=$folder" "Videos=$folder" show=Images >"$prof/log" 2>&1 & pid=$!
  if ! win=$(wait_window '^MEV - '); then
    echo "run $run: no MEV window (log: $prof/log)" >&2
    stop_pid "$pid"; continue
  fi
  sleep "$settle"
  read -r start _ _ startWeb < <(tree_pss "$pid")
  for tab in Audios Videos Images; do
    xdotool mousemove "${tab_x[$tab]}" "$tab_y" click 1
    sleep "$settle"
  done
  read -r tabs tabsOwn tabsWebKb tabsWeb tabsPrivate < <(tree_pss "$pid")
  echo "mev $run $start $startWeb $tabs $tabsWeb $tabsOwn $tabsWebKb $tabsPrivate" >>"$results"
  stop_pid "$pid"
  rm -rf "$prof"

  if [[ -n $compare ]]; then
    profile_up
    "$compare" "$folder" >"$prof/log" 2>&1 & cpid=$!
    sleep "$settle"; sleep "$settle"
    read -r other _ _ _ otherPrivate < <(tree_pss "$cpid")
    echo "$compare $run $other $otherPrivate" >>"$results"
    stop_pid "$cpid"
    rm -rf "$prof"
  fi
done
stop_pid "$pulse"
stop_pid "$xvfb"

median() { sort -n | awk '{a[NR]=$1} END {if (NR) print a[int((NR+1)/2)]; else print 0}'; }
mb() { awk -v kb="$1" 'BEGIN {printf "%.0f", kb / 1024}'; }

echo "folder: $folder   runs: $runs   load: $(cut -d' ' -f1-3 /proc/loadavg)"
# PSS in MB after start and after the tabs; then, after the tabs, MEV's own process and
# its web processes, and the whole tree's private memory (USS).
printf '%-10s %4s %9s %7s %9s %7s %8s %8s %8s\n' program run "start" "web p." "tabs" "web p." program web private
while read -r prog run a b c d e f g; do
  if [[ $prog == mev ]]; then
    printf '%-10s %4s %9s %7s %9s %7s %8s %8s %8s\n' "$prog" "$run" "$(mb "$a")" "$b" "$(mb "$c")" "$d" \
      "$(mb "$e")" "$(mb "$f")" "$(mb "$g")"
  else
    printf '%-10s %4s %9s %7s %9s %7s %8s %8s %8s\n' "$prog" "$run" "$(mb "$a")" "" "" "" "" "" "$(mb "$b")"
  fi
done <"$results"
mStart=$(awk '$1=="mev" {print $3}' "$results" | median)
mTabs=$(awk '$1=="mev" {print $5}' "$results" | median)
mOwn=$(awk '$1=="mev" {print $7}' "$results" | median)
mWeb=$(awk '$1=="mev" {print $8}' "$results" | median)
mPrivate=$(awk '$1=="mev" {print $9}' "$results" | median)
echo "median mev: after start $(mb "$mStart") MB, after tabs $(mb "$mTabs") MB (program $(mb "$mOwn"), web $(mb "$mWeb"); private $(mb "$mPrivate"))"
if [[ -n $compare ]]; then
  mOther=$(awk -v p="$compare" '$1==p {print $3}' "$results" | median)
  mOtherPrivate=$(awk -v p="$compare" '$1==p {print $4}' "$results" | median)
  echo "median $compare: $(mb "$mOther") MB (private $(mb "$mOtherPrivate"))"
  awk -v s="$mStart" -v t="$mTabs" -v o="$mOther" -v p="$compare" \
    'BEGIN {if (o > 0) printf "ratio mev/%s: after start %.1f, after tabs %.1f\n", p, s / o, t / o}'
fi
