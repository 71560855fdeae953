#!/usr/bin/env bash
# The Flash emulator's fetch, offline and with a damaged download: the build goes on, and
# nothing is left that would stop the next build from fetching it (no stamp, no scratch
# folder, no half-filled emulator folder).
set -euo pipefail
source_dir=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir "$tmp/bin"
for mode in offline damaged; do
  # An npm that fails as it does without a network, or that hands over the wrong bytes.
  cat >"$tmp/bin/npm" <<SCRIPT
#!/bin/sh
[ "$mode" = offline ] && { echo "npm error code ENOTFOUND" >&2; exit 1; }
while [ \$# -gt 0 ]; do [ "\$1" = --pack-destination ] && { echo junk >"\$2/ruffle-rs-ruffle-0.6.0.tgz"; exit 0; }; shift; done
exit 1
SCRIPT
  chmod +x "$tmp/bin/npm"
  out=$tmp/out-$mode
  mkdir "$out"
  # An earlier build's leftovers: a stamp of another version and an emulator folder.
  echo "0.0.1" >"$out/ruffle.stamp"
  mkdir "$out/ruffle" && echo old >"$out/ruffle/ruffle.js"
  PATH=$tmp/bin:$PATH cmake -DDEST="$out/ruffle" -DSTAMP="$out/ruffle.stamp" -DWORK="$out/ruffle-fetch" \
    -P "$source_dir/cmake/fetch_flash_player.cmake" >"$out.log" 2>&1 || fail "$mode: the build stopped: $(cat "$out.log")"
  grep -q "Flash emulator not bundled" "$out.log" || fail "$mode: no warning: $(cat "$out.log")"
  [ ! -e "$out/ruffle.stamp" ] || fail "$mode: a stamp is left, the next build would not fetch again"
  [ ! -e "$out/ruffle-fetch" ] || fail "$mode: the scratch folder is left"
  [ ! -e "$out/ruffle" ] || fail "$mode: an emulator folder is left"
done
echo "failed fetches leave nothing behind"
