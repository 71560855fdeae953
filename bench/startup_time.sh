#!/usr/bin/env bash
# Start-up cost of MEV beside another picture browser, in the same run: the time from
# exec until the main window is on screen, the CPU the whole process tree spent in its
# first WINDOW seconds and its PSS then. Each start gets a display and a profile of its
# own; every run starts each program twice on the same profile, so that both a first
# start (new profile) and a start on a profile used before are measured.
#
#   bench/startup_time.sh [folder] [runs]          # defaults: demo/ and 3 runs
#   COMPARE=geeqie bench/startup_time.sh           # geeqie or gthumb, if installed
#   MEV_BEFORE=/tmp/old-mev bench/startup_time.sh  # another build in the same runs
#
# A shared machine makes single figures noisy: compare the ratios of one run's medians.
# Needs: Xvfb, xdotool.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
folder=$(realpath "${1:-$root/demo}")
runs=${2:-3}
mev=$(realpath "${MEV:-$root/build/mev}")
before=${MEV_BEFORE:+$(realpath "$MEV_BEFORE")}
compare=${COMPARE:-}
window=${WINDOW:-6}

for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done
if [[ -n $compare ]] && ! command -v "$compare" >/dev/null; then
  echo "missing: $compare (apt-get install $compare), compared with nothing" >&2
  compare=
fi

tree_pids() {
  local pids=("$1") i=0 child
  while ((i < ${#pids[@]})); do
    for child in $(cat /proc/"${pids[i]}"/task/*/children 2>/dev/null); do pids+=("$child"); done
    ((i++))
  done
  printf '%s\n' "${pids[@]}"
}

# "cpu_seconds pss_kB" of the tree under pid; children already gone count through the
# root's cutime and cstime.
tree_cost() {
  local tick cpu=0 pss=0 pid kb
  tick=$(getconf CLK_TCK)
  for pid in $(tree_pids "$1"); do
    read -r t < <(awk '{sub(/.*\) /, ""); print $12 + $13 + $14 + $15}' /proc/"$pid"/stat 2>/dev/null)
    kb=$(awk '/^Pss:/ {print $2}' /proc/"$pid"/smaps_rollup 2>/dev/null)
    cpu=$((cpu + ${t:-0}))
    pss=$((pss + ${kb:-0}))
  done
  awk -v c="$cpu" -v t="$tick" -v p="$pss" 'BEGIN {printf "%.2f %d\n", c / t, p}'
}

display_up() {
  local n
  for n in $(seq 60 99); do [[ -e /tmp/.X$n-lock ]] || break; done
  Xvfb :$n -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
  export DISPLAY=:$n
  for _ in $(seq 1 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
}

stop_pid() {
  local pid=$1 i
  kill "$pid" 2>/dev/null
  for i in $(seq 1 40); do kill -0 "$pid" 2>/dev/null || break; sleep 0.25; done
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
}

# start_once <label> <run> <start> <window name regex> <command...>
start_once() {
  local label=$1 run=$2 start=$3 name=$4 t0 t1 shown cost
  shift 4
  display_up
  t0=$(date +%s.%N)
  "$@" >>"$prof/log" 2>&1 & pid=$!
  shown=
  for _ in $(seq 1 600); do
    if xdotool search --onlyvisible --name "$name" >/dev/null 2>&1; then
      t1=$(date +%s.%N); shown=$(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.2f", b - a}'); break
    fi
    sleep 0.05
  done
  sleep "$(awk -v a="$t0" -v w="$window" -v now="$(date +%s.%N)" 'BEGIN {s = a + w - now; print (s > 0 ? s : 0)}')"
  cost=$(tree_cost "$pid")
  echo "$label $run $start ${shown:-99} $cost" >>"$results"
  stop_pid "$pid"
  stop_pid "$xvfb"
}

profile_up() {
  prof=$(mktemp -d /tmp/mev-start.XXXXXX)
  export HOME=$prof XDG_CONFIG_HOME=$prof/config XDG_CACHE_HOME=$prof/cache XDG_DATA_HOME=$prof/data
  export XDG_RUNTIME_DIR=$prof/run
  mkdir -p "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
}

results=$(mktemp)
trap 'rm -f "$results"' EXIT
for run in $(seq 1 "$runs"); do
  for prog in mev ${before:+before} $compare; do
    profile_up
    for start in new used; do
      case $prog in
        mev) start_once mev "$run" $start '^MEV - ' "$mev" "Images=$folder" "Audios=$folder" "Videos=$folder" show=Images ;;
        before) start_once before "$run" $start '^MEV - ' "$before" "Images=$folder" "Audios=$folder" "Videos=$folder" show=Images ;;
        *) start_once "$prog" "$run" $start "$(basename "$folder")|$prog|Geeqie|gThumb" "$prog" "$folder" ;;
      esac
    done
    rm -rf "$prof"
  done
done

median() { sort -n | awk '{a[NR]=$1} END {if (NR) print a[int((NR+1)/2)]; else print 0}'; }
col() { awk -v p="$1" -v s="$2" -v c="$3" '$1==p && $3==s {print $c}' "$results" | median; }

echo "folder: $folder   runs: $runs   load: $(cut -d' ' -f1-3 /proc/loadavg)   $(nproc) cores"
echo "exec to window shown (s), CPU of the tree in the first ${window} s (s), its PSS then (MB)"
printf '%-8s %4s %-5s %7s %7s %7s\n' program run start shown cpu pss
sort -s -k1,1 "$results" | while read -r p r s a c k; do
  printf '%-8s %4s %-5s %7s %7s %7.0f\n' "$p" "$r" "$s" "$a" "$c" "$(awk -v k="$k" 'BEGIN {print k / 1024}')"
done
for p in mev ${before:+before} $compare; do
  for s in new used; do
    printf '%-8s %4s %-5s %7s %7s %7.0f\n' "$p" median "$s" "$(col "$p" "$s" 4)" "$(col "$p" "$s" 5)" \
      "$(awk -v k="$(col "$p" "$s" 6)" 'BEGIN {print k / 1024}')"
  done
done
if [[ -n $compare ]]; then
  for p in mev ${before:+before}; do
    for s in new used; do
      awk -v a="$(col "$p" "$s" 4)" -v b="$(col "$compare" "$s" 4)" -v c="$(col "$p" "$s" 5)" \
          -v d="$(col "$compare" "$s" 5)" -v e="$(col "$p" "$s" 6)" -v f="$(col "$compare" "$s" 6)" \
          -v p="$p" -v q="$compare" -v s="$s" \
        'BEGIN {if (b > 0 && d > 0 && f > 0) printf "%s/%s (%s profile): shown %.1fx, CPU %.1fx, PSS %.1fx\n", p, q, s, a / b, c / d, e / f}'
    done
  done
fi
