#!/usr/bin/env bash
# Makes the image benchmark's inputs in bench/data/ when they are missing:
# a 4000x3000 photograph-like picture (ImageMagick's fractal plasma, fixed
# seed) as PNG and as JPEG at quality 90.
set -euo pipefail
data=$(dirname "$0")/../data
mkdir -p "$data"
if [ ! -f "$data/photo.png" ] || [ ! -f "$data/photo.jpg" ]; then
    /usr/bin/convert -seed 7 -size 4000x3000 plasma:fractal -depth 8 "$data/photo.png"
    /usr/bin/convert "$data/photo.png" -quality 90 "$data/photo.jpg"
fi
