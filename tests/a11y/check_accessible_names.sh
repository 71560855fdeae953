#!/usr/bin/env bash
# Reads MEV's accessible names back through AT-SPI, on a private session bus and a
# virtual display of its own. Skipped (77) without the AT-SPI Python bindings.
set -euo pipefail
program=$1
folder=$2
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "python3-pyatspi not installed"; exit 77; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export XDG_CONFIG_HOME=$scratch/config XDG_CACHE_HOME=$scratch/cache
# GTK talks to screen readers only when the accessibility bus is there to be found.
exec dbus-run-session -- xvfb-run -a -s "-screen 0 1280x1024x24" \
  /usr/bin/python3 "$(dirname "$0")/accessible_names.py" "$program" "$folder"
