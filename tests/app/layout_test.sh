#!/usr/bin/env bash
# The main window at 100 %, 125 % and 150 % scaling: nothing outside the client area, no
# list, button or banner over another, captions not cut (window_probe layout), the title
# bar's buttons drawn as buttons (window_probe caption), and a picture of each for a person
# to look at.
#
#   layout_test.sh SCREENSHOT_TOOL BIN_DIR WINDOW_PROBE PREFIX PICTURE_DIR
set -euo pipefail

screenshot=$1 bin=$2 probe=$3 prefix=$4 pictures=$5
failed=()
for dpi in 96 120 144; do
  echo "--- $dpi dots per inch"
  "$screenshot" --dpi "$dpi" --check --prefix "$prefix" --bin "$bin" --probe "$probe" \
    "$pictures/main-$dpi.png" || failed+=("$dpi")
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "layout faults at ${failed[*]} dots per inch; pictures in $pictures" >&2
  exit 1
fi
