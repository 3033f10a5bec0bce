#!/usr/bin/env bash
# Shows a file the way Quillmap does. With the viewer host built, the file opens in
# quillmap-host.exe under Wine: in a window when $DISPLAY is set, otherwise headless (null
# graphics driver) with a screenshot whose path is printed. Without the host, the document tree
# is printed by quillmap-dump.exe. With no FILE a sample opens.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
file=${1:-$top/samples/catalog.json}
[ -f "$file" ] || { echo "run.sh: no such file: $file" >&2; exit 2; }
file=$(cd "$(dirname "$file")" && pwd)/$(basename "$file")
"$top/scripts/setup.sh"
source "$top/scripts/wine-env.sh"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$(nproc)" >/dev/null
winpath="Z:${file//\//\\}"
host="$top/build/win64/quillmap-host.exe"
plugin="$top/build/win64/Quillmap.wlx64"
if [ -f "$host" ] && [ -f "$plugin" ]; then
  if [ -n "${DISPLAY:-}" ]; then
    export WINEPREFIX="$top/build/wineprefix-x11"
    if [ ! -f "$WINEPREFIX/.quillmap-ready" ]; then
      mkdir -p "$WINEPREFIX"; "$WINE" wineboot -i >/dev/null 2>&1 || true; touch "$WINEPREFIX/.quillmap-ready"
    fi
    exec "$WINE" "$host" "$winpath"
  fi
  shot="$top/build/screenshot-$(basename "$file").png"
  "$WINE" "$host" --screenshot "Z:${shot//\//\\}" "$winpath"
  echo "screenshot: $shot"
else
  "$WINE" "$top/build/win64/quillmap-dump.exe" "$winpath"
fi
