#!/usr/bin/env bash
# Remakes every generated resource of Fernweave and checks the results.
# The toolbar icons resources/icons/<name>.svg and the help window's icons/help/<name>.svg
# are drawn by hand; everything else under resources/ (except the help sources and
# samples) comes from the scripts here.
# Needs python3 and ImageMagick (convert, DejaVu fonts) for the About picture.
# Run contact_sheet.sh afterwards to look at the icons (needs Qt 6 SVG development files).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export PYTHONDONTWRITEBYTECODE=1
python3 "$here/make_icons.py"
python3 "$here/make_bitmaps.py"
python3 "$here/make_cursors.py"
python3 "$here/make_about.py"
python3 "$here/check_resources.py"
