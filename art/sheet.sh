#!/usr/bin/env bash
# Lays every picture that build.sh drew into OUTDIR out on one sheet, to look
# the art over after a change: one row a file, each picture at its real size
# and four times over (pixels kept square), on a light and on a dark ground,
# as it will be seen on a light window and on a dark taskbar.
#
#   art/sheet.sh OUTDIR SHEET.png
set -euo pipefail

dir=${1:?usage: art/sheet.sh OUTDIR SHEET.png}
sheet=${2:?usage: art/sheet.sh OUTDIR SHEET.png}
convert=${CONVERT:-convert}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

font=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
rows=()
for file in quellix.ico on.ico off.ico flash.ico 1.ico 4.ico banner.ico toolbox.bmp logo.bmp; do
  mkdir -p "$work/$file/pictures"
  case $file in
  *.ico) icotool -x -o "$work/$file/pictures" "$dir/$file" ;;
  *) "$convert" "$dir/$file" "PNG32:$work/$file/pictures/1.png" ;;
  esac
  cells=()
  for ground in '#F0F0F0' '#202020'; do
    for scale in 100 400; do
      for picture in "$work/$file"/pictures/*.png; do
        cell=$work/$file/cell-${#cells[@]}.png
        "$convert" "$picture" -background "$ground" -alpha remove -alpha off \
          -filter point -resize "$scale%" -bordercolor "$ground" -border 6 "$cell"
        cells+=("$cell")
      done
    done
  done
  row=$work/row-${#rows[@]}.png
  if [ -e "$font" ]; then
    "$convert" \( -background white -fill black -font "$font" -pointsize 13 label:"$file" -gravity west -extent 90x \) \
      "${cells[@]}" -background white -gravity center +append "$row"
  else
    "$convert" "${cells[@]}" -background white -gravity center +append "$row"
  fi
  rows+=("$row")
done
"$convert" "${rows[@]}" -background white -gravity northwest -splice 0x4 -append +repage -depth 8 "$sheet"
