#!/usr/bin/env bash
# Renders the application icon's PNG sizes from its SVG. The PNGs travel in the program's
# resource bundle and are installed into the hicolor theme beside the SVG. Needs
# rsvg-convert (Debian: librsvg2-bin). The PNGs are committed; run this after changing
# data/icons/scalable/apps/org.mev.MediaBrowser.svg.
set -euo pipefail
cd "$(dirname "$0")/.."
svg=data/icons/scalable/apps/org.mev.MediaBrowser.svg
for size in 16 24 32 48 64 128 256; do
  mkdir -p "resources/icons/${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" "$svg" -o "resources/icons/${size}x${size}/apps/org.mev.MediaBrowser.png"
done
