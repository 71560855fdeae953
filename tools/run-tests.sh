#!/usr/bin/env bash
# Runs every test of a build folder, several at a time. Tests that need a display get a
# virtual one each: one Xvfb per parallel job, handed out by CTest as the resource
# "displays", so no two windows tests ever share a screen, a pointer or the keyboard
# focus. A sound server is started so that players can reach their end.
# MEV_TEST_JOBS sets how many tests run at once (default: twice the processor count,
# as most of a window test's time is spent waiting on other processes).
set -uo pipefail
build=${1:-build}
shift || true
here=$(cd "$(dirname "$0")" && pwd)
# Only read by sanitizer builds: the desktop libraries' own lifetime allocations.
export LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export UBSAN_OPTIONS="suppressions=$here/ubsan.supp${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
# The window tests' runtime folder (tests/ui/ui_test_main.cpp), where their web
# processes look for the sound server: one started there for the whole run, as a
# server the tests' own processes start on demand ends when idle, and the web
# processes in their sandbox cannot start one. Without it media falls back to ALSA,
# which has no card here.
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/mev-ui-runtime-$(id -u)}
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
if command -v pulseaudio >/dev/null 2>&1 && ! pulseaudio --check 2>/dev/null; then
  pulseaudio --start --exit-idle-time=-1 >/dev/null 2>&1 || true
fi
cd "$build" || exit 1
jobs=${MEV_TEST_JOBS:-$(($(nproc) * 2))}
[ "$jobs" -ge 1 ] 2>/dev/null || jobs=1

work=$(mktemp -d)
servers=()
cleanup() {
  for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${servers[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Starts an Xvfb on a display number it picks itself (-displayfd: no race with other
# servers starting beside it) and adds that number to displays.
start_display() {
  local fifo=$work/display.$1 number=""
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
  servers+=($!)
  read -r -t 30 number <"$fifo" || true
  [ -n "$number" ] && displays+=("$number")
}

displays=()
if command -v Xvfb >/dev/null 2>&1; then
  for ((i = 0; i < jobs; i++)); do
    start_display "$i"
  done
  [ ${#displays[@]} -gt 0 ] || echo "run-tests: no virtual display started" >&2
elif [ -n "${DISPLAY:-}" ]; then
  # No Xvfb: the windows tests take turns on the display of the session.
  number=${DISPLAY#*:}
  displays+=("${number%%.*}")
fi

# The CTest resource file: one "displays" slot per screen (the test main turns the id
# "dN" into DISPLAY=:N).
{
  printf '{"version": {"major": 1, "minor": 0}, "local": [{"displays": ['
  sep=""
  for number in "${displays[@]}"; do
    printf '%s{"id": "d%s", "slots": 1}' "$sep" "$number"
    sep=", "
  done
  printf ']}]}\n'
} >"$work/resources.json"

ctest --output-on-failure --timeout 300 -j"$jobs" --resource-spec-file "$work/resources.json" "$@"
