#!/usr/bin/env bash
# Builds the Debian package, installs it with apt (as root, or through sudo), and starts
# the installed /usr/bin/mev under Xvfb for a screenshot: the package's own test.
set -euo pipefail
cd "$(dirname "$0")/.."
make deb
deb=$(ls -t build/mev_*.deb | head -n 1)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get install -y -q "./$deb"
dpkg -s mev | sed -n 's/^Depends: /Depends: /p'
shot=$PWD/build/deb-screenshot.png
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
(cd / && XDG_CONFIG_HOME=$profile xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  /usr/bin/mev & pid=$!
  for i in $(seq 1 60); do xdotool search --name "^MEV - " >/dev/null 2>&1 && break; sleep 0.5; done
  sleep 3; import -window root '"$shot"'; kill -TERM $pid; wait $pid')
echo "installed package started; screenshot: build/deb-screenshot.png"
