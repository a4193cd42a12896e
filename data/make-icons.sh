#!/usr/bin/env bash
# Draws the program's icons (PNG) with ImageMagick. Each picture is drawn at 256 px and
# scaled down, so that small sizes stay smooth. A dark face with a light rim reads well on
# light and on dark panels alike. Run from anywhere; writes into data/icons/.
set -euo pipefail
cd "$(dirname "$0")/icons"
convert=/usr/bin/convert

# $1 face colour, $2 rim colour, $3 line colour, $4 polyline points, $5 output (256 px)
draw_monitor() {
    "$convert" -size 256x256 xc:none \
        -fill "$1" -stroke "$2" -strokewidth 14 -draw "roundrectangle 10,10 245,245 44,44" \
        -fill none -stroke "$3" -strokewidth 22 -draw "stroke-linejoin round stroke-linecap round polyline $4" \
        "$5"
}

pulse="34,140 78,140 102,66 138,196 162,112 178,140 222,140"
flat="34,140 222,140"

draw_monitor '#0e2418' '#9ff0ae' '#3dff6e' "$pulse" big-running.png
draw_monitor '#262626' '#d0d0d0' '#a8a8a8' "$flat" big-stopped.png
# The stopped icon also carries two pause bars above the flat line.
"$convert" big-stopped.png -fill '#e0a030' -stroke none \
    -draw "roundrectangle 92,54 118,114 6,6" -draw "roundrectangle 138,54 164,114 6,6" big-stopped.png

for s in 16 22 24 32 48 64 128 256; do
    "$convert" big-running.png -filter Lanczos -resize ${s}x${s} "sondrel-${s}.png"
done
for s in 16 22 32 48 64; do
    "$convert" big-running.png -filter Lanczos -resize ${s}x${s} "tray-running-${s}.png"
    "$convert" big-stopped.png -filter Lanczos -resize ${s}x${s} "tray-stopped-${s}.png"
done

# Run-state pictures beside the toolbar: a lit green lamp while pinging, a red one while
# stopped; a dark ring keeps them visible on light toolbars, a light rim on dark ones.
lamp() {
    "$convert" -size 128x128 xc:none \
        -fill '#f0f0f0' -stroke none -draw "circle 64,64 64,2" \
        -fill "$2" -draw "circle 64,64 64,12" \
        -fill "$1" -draw "circle 64,64 64,22" \
        -fill 'rgba(255,255,255,0.55)' -draw "ellipse 50,48 18,12 0,360" \
        -filter Lanczos -resize 16x16 "$3"
    "$convert" -size 128x128 xc:none \
        -fill '#f0f0f0' -stroke none -draw "circle 64,64 64,2" \
        -fill "$2" -draw "circle 64,64 64,12" \
        -fill "$1" -draw "circle 64,64 64,22" \
        -fill 'rgba(255,255,255,0.55)' -draw "ellipse 50,48 18,12 0,360" \
        -filter Lanczos -resize 32x32 "${3%.png}@2x.png"
}
lamp '#34d058' '#145a24' state-running.png
lamp '#e5483a' '#6a1410' state-stopped.png
rm -f big-running.png big-stopped.png

# Toolbar pictures for the list commands (open, save and help come from the desktop theme).
tool() {  # $1 name, then -draw arguments
    local name=$1
    shift
    "$convert" -size 128x128 xc:none -stroke none "$@" -filter Lanczos -resize 16x16 "tool-$name.png"
    "$convert" -size 128x128 xc:none -stroke none "$@" -filter Lanczos -resize 32x32 "tool-$name@2x.png"
}
tool add -fill '#145a24' -draw "circle 64,64 64,4" -fill '#3ccf5e' -draw "circle 64,64 64,14" \
    -fill white -draw "rectangle 56,30 72,98" -draw "rectangle 30,56 98,72"
tool add-group -fill '#145a24' -draw "circle 46,82 46,36" -draw "circle 82,46 82,0" \
    -fill '#3ccf5e' -draw "circle 46,82 46,44" -draw "circle 82,46 82,8" \
    -fill white -draw "rectangle 76,22 88,70" -draw "rectangle 58,40 106,52" \
    -draw "rectangle 40,62 52,102" -draw "rectangle 26,76 66,88"
tool delete -fill '#6a1410' -draw "circle 64,64 64,4" -fill '#e5483a' -draw "circle 64,64 64,14" \
    -fill white -draw "rectangle 30,56 98,72"
tool clear -fill '#6a1410' -draw "roundrectangle 8,8 120,120 20,20" -fill '#e5483a' -draw "roundrectangle 16,16 112,112 14,14" \
    -stroke white -strokewidth 16 -draw "line 40,40 88,88" -draw "line 88,40 40,88"
tool help -fill '#123d7a' -draw "circle 64,64 64,4" -fill '#3d8bfd' -draw "circle 64,64 64,14" \
    -fill none -stroke white -strokewidth 13 -draw "arc 44,28 84,68 180,60" -draw "line 74,63 64,72" -draw "line 64,72 64,80" \
    -stroke none -fill white -draw "circle 64,98 64,90"
