#!/usr/bin/env bash
# Renders the application icon's PNG sizes for the hicolor theme from its SVG.
# Needs rsvg-convert (Debian: librsvg2-bin). The PNGs are committed; run this after
# changing resources/icons/scalable/apps/org.mev.MediaBrowser.svg.
set -euo pipefail
cd "$(dirname "$0")/.."
svg=resources/icons/scalable/apps/org.mev.MediaBrowser.svg
for size in 16 24 32 48 64 128 256; do
  mkdir -p "data/icons/${size}x${size}"
  rsvg-convert -w "$size" -h "$size" "$svg" -o "data/icons/${size}x${size}/org.mev.MediaBrowser.png"
done
