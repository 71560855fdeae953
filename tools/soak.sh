#!/usr/bin/env bash
# Soak run: drives a built MEV on a private X display for a long while and samples the
# memory of all its processes (the program and its web engine processes) to see whether
# it levels off. Not a CI test.
#
#   tools/soak.sh [build/mev] [out.csv]
#
# Steps: 500 folder selections spread over the three tabs, 200 full-screen round trips
# (F10, Escape) on a picture, 100 plays (double click on a sound file). Memory is the
# sum of Pss over /proc/PID/smaps_rollup of the program and all its descendants, sampled
# every SAMPLE steps (default 25) into the CSV: step,phase,pss_kib,processes.
# SELECTS, ROUNDS and PLAYS change the counts. Needs xvfb, xdotool and pulseaudio.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
EXE=$(realpath "${1:-$here/../build/mev}")
out=${2:-soak.csv}
demo=$(realpath "$here/../demo")
SAMPLE=${SAMPLE:-25}
PAUSE=${PAUSE:-0.4}
SELECTS=${SELECTS:-500} ROUNDS=${ROUNDS:-200} PLAYS=${PLAYS:-100}

# A display, a sound server and a profile of its own: nothing of the user's is touched.
prof=$(mktemp -d /tmp/mev-soak.XXXXXX)
export HOME=$prof XDG_CONFIG_HOME=$prof/config XDG_CACHE_HOME=$prof/cache XDG_RUNTIME_DIR=$prof/run
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
for n in $(seq 30 59); do [[ -e /tmp/.X$n-lock ]] || break; done
Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
export DISPLAY=":$n"; sleep 1
pulseaudio --daemonize=no --exit-idle-time=-1 >/dev/null 2>&1 & pulse=$!; sleep 0.5
"$EXE" "Images=$demo" "Audios=$demo" "Videos=$demo" show=Images >"$prof/log" 2>&1 & pid=$!
stop() { kill "$pid" "$pulse" "$xvfb" 2>/dev/null; wait "$xvfb" "$pulse" 2>/dev/null; rm -rf "$prof"; }
for i in $(seq 1 60); do xdotool search --name '^MEV - ' >/dev/null 2>&1 && break; sleep 0.25; done
xdotool search --name '^MEV - ' >/dev/null 2>&1 || { echo "no MEV window"; cat "$prof/log"; stop; exit 1; }
sleep 4

descendants() {
  local all=("$1") queue=("$1") p c
  while ((${#queue[@]})); do
    p=${queue[0]}; queue=("${queue[@]:1}")
    for c in $(cat /proc/"$p"/task/*/children 2>/dev/null); do all+=("$c"); queue+=("$c"); done
  done
  echo "${all[@]}"
}
sample() {
  local total=0 n=0 p v
  for p in $(descendants "$pid"); do
    v=$(awk '/^Pss:/{print $2}' /proc/"$p"/smaps_rollup 2>/dev/null) || continue
    [[ -n $v ]] || continue
    total=$((total + v)); n=$((n + 1))
  done
  echo "$step,$1,$total,$n" >>"$out"
}
alive() { kill -0 "$pid" 2>/dev/null || { echo "program ended at step $step ($1)"; stop; exit 1; }; }

# Screen places at 1280x800: tree rows, tab buttons, first files of the list.
TAB_X=(40 120 200); TAB_Y=763
ROW_Y=(35 55)
echo "step,phase,pss_kib,processes" >"$out"
step=0; sample start

for i in $(seq 0 $((SELECTS - 1))); do
  if ((i % 25 == 0)); then xdotool mousemove "${TAB_X[$(((i / 25) % 3))]}" $TAB_Y click 1; sleep 1; fi
  xdotool mousemove 100 "${ROW_Y[$((i % 2))]}" click 1; sleep "$PAUSE"
  step=$((step + 1)); ((step % SAMPLE == 0)) && { alive select; sample select; }
done

# A picture in the Images tab, then full screen and back.
xdotool mousemove 40 $TAB_Y click 1; sleep 1
xdotool mousemove 100 35 click 1; sleep 2
xdotool mousemove 45 277 click 1; sleep 2
for i in $(seq 1 "$ROUNDS"); do
  xdotool key F10; sleep "$PAUSE"; xdotool key Escape; sleep "$PAUSE"
  step=$((step + 1)); ((step % SAMPLE == 0)) && { alive fullscreen; sample fullscreen; }
done

xdotool mousemove 120 $TAB_Y click 1; sleep 1
xdotool mousemove 100 35 click 1; sleep 2
for i in $(seq 0 $((PLAYS - 1))); do
  xdotool mousemove 90 $((282 + 20 * (i % 4))) click --repeat 2 1; sleep 1
  step=$((step + 1)); ((step % SAMPLE == 0)) && { alive play; sample play; }
done
sleep 5; sample end
# SIGTERM closes the program as its close box would.
kill -TERM "$pid"; wait "$pid"; echo "exit status: $?"
stop
column -s, -t "$out"
