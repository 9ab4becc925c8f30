#!/usr/bin/env bash
# Makes cablemeter.ico, the Windows program icon, from the 16, 32, 48 and 256 pixel PNGs.
# Needs ImageMagick (convert). The .ico is committed: the Windows build does not run this.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
icons="$here/../icons"
convert "$icons/cablemeter-16.png" "$icons/cablemeter-32.png" "$icons/cablemeter-48.png" \
    "$icons/cablemeter-256.png" "$here/cablemeter.ico"
