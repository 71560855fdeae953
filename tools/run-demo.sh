#!/usr/bin/env bash
# Starts MEV on the demo media folder, showing one of its pictures, so that the folder's
# thumbnails and the picture are what a newcomer sees first. Without a display it runs
# under Xvfb for a few seconds and saves a screenshot instead. MEV_BIN names another
# build of the program to start.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin="${MEV_BIN:-$root/build/mev}"
demo="$root/demo"
# A picture given as a bare path opens its folder in the Images tab and shows it there;
# an Images= option would open the folder with nothing chosen.
args=("$demo/Sunrise.jpg" "Audios=$demo" "Videos=$demo")
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$bin" "${args[@]}"
fi
shot="$root/build/screenshot.png"
if command -v pulseaudio >/dev/null 2>&1 && ! pulseaudio --check 2>/dev/null; then
  pulseaudio --start --exit-idle-time=-1 >/dev/null 2>&1 || true
fi
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  "$0" "$@" & pid=$!
  # A loaded machine may take many seconds to show the window; then let the pages load.
  for i in $(seq 1 60); do
    xdotool search --onlyvisible --name "^MEV - " >/dev/null 2>&1 && break
    sleep 0.5
  done
  sleep 4
  import -window root "'"$shot"'"
  kill $pid 2>/dev/null; wait $pid 2>/dev/null' "$bin" "${args[@]}"
echo "No display here: MEV ran under Xvfb; screenshot saved to $shot"
