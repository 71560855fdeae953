#!/usr/bin/env bash
# Packages the build as `make deb` does and has lintian check the package: no error and
# no warning. Skipped (77) where lintian is not installed.
set -euo pipefail
build=$(cd "$1" && pwd)
command -v lintian >/dev/null || { echo "lintian not installed"; exit 77; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The build's own package settings, with the package and the packaging scratch kept
# away from the build folder.
(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" \
   -D CPACK_OUTPUT_FILE_PREFIX="$scratch" >"$scratch/cpack.log" 2>&1) ||
  { cat "$scratch/cpack.log"; echo "FAIL: cpack"; exit 1; }
deb=$(ls "$scratch"/mev_*.deb)
report=$(lintian --tag-display-limit 0 --display-info "$deb" 2>&1 || true)
echo "$report"
if echo "$report" | grep -E '^[EW]: '; then
  echo "FAIL: lintian reports errors or warnings" >&2
  exit 1
fi
echo "lintian: no errors, no warnings"
