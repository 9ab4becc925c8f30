#!/usr/bin/env bash
# Renders cablemeter.svg to the PNG sizes the desktop and the window use (needs librsvg2-bin).
# The PNGs are committed so that building never needs an SVG renderer.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" cablemeter.svg -o "cablemeter-$size.png"
done
