#!/usr/bin/env bash
# Builds the Debian package, installs exactly that file with dpkg (as root, or through
# sudo; replacing any installed mev, even of the same version), and starts the installed
# /usr/bin/mev under Xvfb from another folder. Fails unless the installed program shows
# its window; a screenshot of it is saved.
set -euo pipefail
cd "$(dirname "$0")/.."
fail() { echo "FAIL: $*" >&2; exit 1; }
make deb
version=$(sed -n 's/^project(mev VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb=build/mev_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no package $deb"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
# apt would keep an installed package of the same version; dpkg installs the file given,
# and apt then brings its dependencies.
export DEBIAN_FRONTEND=noninteractive
$sudo dpkg -i "$deb" || $sudo apt-get install -y -q -f
[ "$(dpkg-query -W -f='${Status} ${Version}' mev)" = "install ok installed $version" ] ||
  fail "mev $version is not installed"
cmp -s <(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/bin/mev) /usr/bin/mev ||
  fail "/usr/bin/mev is not the program of $deb"
dpkg -s mev | sed -n 's/^Depends: /Depends: /p'
shot=$PWD/build/deb-screenshot.png
rm -f "$shot"
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
cd / && XDG_CONFIG_HOME=$profile xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  /usr/bin/mev & pid=$!
  shown=""
  for i in $(seq 1 120); do
    xdotool search --onlyvisible --pid $pid --name "^MEV - " >/dev/null 2>&1 && { shown=1; break; }
    kill -0 $pid 2>/dev/null || break
    sleep 0.5
  done
  # Mapped is not yet drawn: the screenshot is taken again until it shows something.
  drawn=""
  for i in $(seq 1 60); do
    [ -n "$shown" ] || break
    import -window root "$0"
    [ "$(convert "$0" -format "%[fx:standard_deviation>0]" info:)" = 1 ] && { drawn=1; break; }
    sleep 0.5
  done
  kill -TERM $pid 2>/dev/null; wait $pid; rc=$?
  [ -n "$shown" ] && [ -n "$drawn" ] || { echo "FAIL: the installed program showed no window" >&2; exit 1; }
  [ $rc -eq 0 ] || { echo "FAIL: the installed program exited with $rc" >&2; exit 1; }' "$shot"
echo "installed package started and showed its window; screenshot: build/deb-screenshot.png"
