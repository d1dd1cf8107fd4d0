#!/usr/bin/env bash
# Checks the icons and bitmaps that build.sh drew into OUTDIR: each file is
# there, each icon holds exactly the sizes and colour depths Windows will ask
# for, no picture is blank, the three tray states differ from one another at
# 16 pixels, and the bitmaps are plain 24-bit bottom-up Windows bitmaps of the
# right size. Also that every picture of the program that the README shows is in
# art/, a PNG, and not blank.
#
#   art/check.sh OUTDIR
set -euo pipefail

dir=${1:?usage: art/check.sh OUTDIR}
convert=${CONVERT:-convert}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "check.sh: $*" >&2
  failures=$((failures + 1))
}

# has_icon FILE "WxHxBITS..." : the icon holds exactly these pictures, and
# none of them is blank.
has_icon() {
  local file=$dir/$1 want=$2 got name
  if [ ! -s "$file" ]; then
    fail "$1 is missing or empty"
    return
  fi
  got=$({ icotool -l "$file" 2>/dev/null || true; } |
    sed -n 's/.*--width=\([0-9]*\) --height=\([0-9]*\) --bit-depth=\([0-9]*\).*/\1x\2x\3/p' | sort -n | xargs)
  want=$(tr ' ' '\n' <<<"$want" | sort -n | xargs)
  if [ "$got" != "$want" ]; then
    fail "$1 holds ${got:-nothing readable} instead of $want"
  fi
  mkdir -p "$work/$1"
  icotool -x -o "$work/$1" "$file" 2>/dev/null || return 0
  for name in "$work/$1"/*.png; do
    [ -e "$name" ] || continue
    # At least a fifth of the picture is drawn, and it is not one flat colour.
    # (The alpha plane is taken out first: this ImageMagick's fx reads the
    # alpha of a picture as its transparency.)
    if [ "$("$convert" "$name" -alpha extract -format '%[fx:mean > 0.2]' info:)" != 1 ] ||
      [ "$("$convert" "$name" -alpha off -format '%[fx:standard_deviation > 0.01]' info:)" != 1 ]; then
      fail "$1: ${name##*/} is blank or flat"
    fi
  done
}

# differs A B : the two 16-pixel pictures are not the same picture.
differs() {
  local a b
  for a in "$work/$1"/*_16x16x*.png; do break; done
  for b in "$work/$2"/*_16x16x*.png; do break; done
  # A missing picture has been reported already.
  [ -e "$a" ] && [ -e "$b" ] || return 0
  if compare -metric AE "$a" "$b" null: 2>/dev/null; then
    fail "$1 and $2 show the same picture at 16 pixels"
  fi
}

# has_bitmap FILE WIDTH HEIGHT : a BITMAPINFOHEADER bitmap, 24 bits a pixel,
# uncompressed, rows bottom-up, of this size, and not blank.
has_bitmap() {
  local file=$dir/$1 width=$2 height=$3
  if [ ! -s "$file" ] || [ "$(stat -c %s "$file")" -lt 54 ]; then
    fail "$1 is missing, empty or cut short"
    return
  fi
  field() { od -An --endian=little -t "$2" -j "$1" -N "${2#?}" "$file" | tr -d ' '; }
  local magic header w h planes bits compression
  magic=$(head -c 2 "$file")
  header=$(field 14 u4)
  w=$(field 18 d4)
  h=$(field 22 d4)
  planes=$(field 26 u2)
  bits=$(field 28 u2)
  compression=$(field 30 u4)
  if [ "$magic" != BM ] || [ "$header" != 40 ] || [ "$planes" != 1 ]; then
    fail "$1 is not a plain Windows bitmap"
  elif [ "$w" != "$width" ] || [ "$h" != "$height" ]; then
    fail "$1 is ${w}x$h, not ${width}x$height (a negative height would be top-down)"
  elif [ "$bits" != 24 ] || [ "$compression" != 0 ]; then
    fail "$1 has $bits bits a pixel, compression $compression; wanted 24 and none"
  elif [ "$(identify -format '%wx%h' "$file")" != "${width}x$height" ]; then
    fail "$1 does not read back as ${width}x$height"
  elif [ "$(stat -c %s "$file")" -lt $((54 + height * ((width * 3 + 3) / 4 * 4))) ]; then
    fail "$1 is cut short"
  elif ! "$convert" "$file" -format '%[fx:standard_deviation.r + standard_deviation.g + standard_deviation.b > 0.02]' info: |
    grep -qx 1; then
    fail "$1 is blank"
  fi
}

has_icon quellix.ico "16x16x32 32x32x32 48x48x32"
has_icon on.ico "16x16x32 32x32x32"
has_icon off.ico "16x16x32 32x32x32"
has_icon flash.ico "16x16x32 32x32x32"
has_icon 1.ico "16x16x32 20x20x32 24x24x32"
has_icon 4.ico "16x16x32 20x20x32 24x24x32"
has_icon banner.ico "16x16x4 32x32x4"
differs on.ico off.ico
differs on.ico flash.ico
differs off.ico flash.ico
differs 1.ico 4.ico
has_bitmap toolbox.bmp 16 15
has_bitmap logo.bmp 72 76

# The README's pictures (art/README.md says how each is made).
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
for picture in $(grep -o '](art/[^)]*\.png)' "$here/../README.md" | sed 's/^](art\///; s/)$//'); do
  if [ "$(identify -format '%m' "$here/$picture" 2>/dev/null)" != PNG ]; then
    fail "the README shows art/$picture, which is missing or no PNG"
  elif ! "$convert" "$here/$picture" -format '%[fx:standard_deviation > 0.01]' info: | grep -qx 1; then
    fail "art/$picture is blank"
  fi
done

if [ "$failures" -gt 0 ]; then
  echo "check.sh: $failures fault(s) in $dir" >&2
  exit 1
fi
