#!/usr/bin/env bash
# shellcheck disable=SC2034  # the palettes below are read by name, in draw()
# Draws Quellix's icons and bitmaps into OUTDIR from the sources beside this
# script, then checks them with check.sh:
#
#   art/build.sh OUTDIR
#
# The sources are of two kinds. The small pictures are pixel art (*.xpm), one
# character a pixel. The larger ones are drawings in ImageMagick's vector
# language (*.mvg) whose colours are left as @words@, filled in here from one
# of the palettes below, so that one drawing serves every state of the shield.
#
# Needs ImageMagick's convert (or $CONVERT) and icoutils' icotool. The same
# sources always give the same bytes.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out=${1:?usage: art/build.sh OUTDIR}
convert=${CONVERT:-convert}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/out"

# The palettes of the shield. The 16-pixel pictures (*-16.xpm) carry the same
# colours in their own headers: change both together.
keys=(edge rim rim2 light shade bar close page lines mark)
# Protection on, and the program itself: blue.
#     edge      rim       rim2      light     shade     bar       close     page      lines     mark
blue=('#0E2A5C' '#8CC6FF' '#1D59C0' '#3C8CEA' '#1D59C0' '#0E2A5C' '#F03A2E' '#FFFFFF' '#A9C8EE' '#F03A2E')
# Protection off: grey, struck through in red.
grey=('#3A3A3A' '#DCDCDC' '#8A8A8A' '#B4B4B4' '#8A8A8A' '#5A5A5A' '#5A5A5A' '#F2F2F2' '#CFCFCF' '#E0201A')
# A pop-up just stopped: amber with a yellow glow, the window crossed out.
amber=('#7A1000' '#FFE040' '#FFE040' '#FF7A1A' '#E8461A' '#7A1000' '#7A1000' '#FFFFFF' '#FFFFFF' '#D8140E')

# draw PALETTE NAME DRAWING... renders the drawings, one over the other, with
# the palette's colours, to $work/NAME.png. The first drawing sets the size.
draw() {
  local -n colours=$1
  local name=$2 script='' i
  shift 2
  for i in "${!keys[@]}"; do script+="s/@${keys[i]}@/${colours[i]}/g;"; done
  (cd "$here" && cat -- "$@") | sed -e "$script" >"$work/$name.mvg"
  if grep -v '^ *#' "$work/$name.mvg" | grep -o '@[a-z0-9]*@' | head -n 1 | grep . >&2; then
    echo "build.sh: $name: the palette has no such colour" >&2
    exit 1
  fi
  "$convert" -background none "mvg:$work/$name.mvg" "PNG32:$work/$name.png"
}

# pixels NAME reads the pixel art NAME.xpm into $work/NAME.png.
pixels() {
  "$convert" "$here/$1.xpm" "PNG32:$work/$1.png"
}

# icon FILE BITS NAME... stores the pictures $work/NAME.png as one icon.
icon() {
  local file=$1 bits=$2 name pictures=()
  shift 2
  for name; do pictures+=("$work/$name.png"); done
  icotool -c -b "$bits" -o "$work/out/$file" "${pictures[@]}"
}

# bitmap FILE SOURCE writes a 24-bit Windows bitmap, transparent parts white.
bitmap() {
  "$convert" "$2" -background white -alpha remove -alpha off -type TrueColor "BMP3:$work/out/$1"
}

pixels quellix-16
pixels off-16
pixels flash-16
pixels banner-16
pixels banner-32
draw blue shield-20 shield-20.mvg
draw blue shield-24 shield-24.mvg
draw blue shield-32 shield-32.mvg
draw blue shield-48 shield-48.mvg
draw grey off-32 shield-32.mvg off-32.mvg
draw amber flash-32 shield-32.mvg flash-32.mvg
draw blue logo logo.mvg

# The toolbar button at rest is the lit one, faded.
for size in 16 20 24; do
  source=shield-$size
  [ "$size" = 16 ] && source=quellix-16
  cp "$work/$source.png" "$work/hot-$size.png"
  "$convert" "$work/$source.png" -modulate 108,35,100 "PNG32:$work/rest-$size.png"
done

icon quellix.ico 32 quellix-16 shield-32 shield-48
icon on.ico 32 quellix-16 shield-32
icon off.ico 32 off-16 off-32
icon flash.ico 32 flash-16 flash-32
icon 1.ico 32 hot-16 hot-20 hot-24
icon 4.ico 32 rest-16 rest-20 rest-24
icon banner.ico 4 banner-16 banner-32
bitmap toolbox.bmp "$here/toolbox.xpm"
bitmap logo.bmp "$work/logo.png"

"$here/check.sh" "$work/out"
mkdir -p "$out"
cp -- "$work/out/"* "$out/"
