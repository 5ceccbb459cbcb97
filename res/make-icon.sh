#!/bin/sh
# Draws the application icon (a magnifier "Q" under a signal mark) with
# ImageMagick and writes res/icon/qvl_<size>.png. Run once; the PNGs are
# committed and embedded into the binary by the build.
set -eu
cd "$(dirname "$0")/icon"
convert -size 1024x1024 xc:none \
 \( -size 960x960 gradient:'#3a8ee0-#174f8f' \) -geometry +32+32 -compose over -composite \
 \( -size 1024x1024 xc:black -fill white -draw "roundrectangle 32,32 991,991 180,180" \) -alpha off -compose copy_opacity -composite -compose over \
 -draw "fill none stroke white stroke-width 100 circle 420,600 420,340" \
 -draw "fill none stroke white stroke-width 100 stroke-linecap round line 600,780 790,940" \
 -draw "fill none stroke #ffd34d stroke-width 40 stroke-linecap round path 'M 662,252 A 110,110 0 0,1 818,252'" \
 -draw "fill none stroke #ffd34d stroke-width 40 stroke-linecap round path 'M 599,189 A 200,200 0 0,1 881,189'" \
 -draw "stroke none fill #ffd34d circle 740,330 740,298" \
 master.png
for s in 16 24 32 48 64 128 256; do
    convert master.png -filter Lanczos -resize "${s}x${s}" -strip "PNG32:qvl_${s}.png"
done
rm master.png
