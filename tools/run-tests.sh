#!/usr/bin/env bash
# Runs every test of a build folder. Tests that need a display get a virtual one, and
# a sound server is started so that players can reach their end.
set -uo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
# Only read by sanitizer builds: the desktop libraries' own lifetime allocations.
export LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
if command -v pulseaudio >/dev/null 2>&1 && ! pulseaudio --check 2>/dev/null; then
  pulseaudio --start --exit-idle-time=-1 >/dev/null 2>&1 || true
fi
cd "$build" || exit 1
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null 2>&1; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure --timeout 300
fi
exec ctest --output-on-failure --timeout 300
