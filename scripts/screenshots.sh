#!/usr/bin/env bash
# Regenerates the README's pictures: each view (Tree, Grid, Source) of a sample, light and dark, and
# the grid of a sample of every format, taken by quillmap-host.exe --screenshot under headless Wine,
# then recompressed (the host writes plain deflate-stored rows; filtered rows at deflate level 9 are
# about a tenth of that).
# Runs the plug-in from a scratch folder with default settings, so no Quillmap.ini of a previous
# run changes the pictures. Writes docs/screenshots/<view>-<light|dark>.png, grid-<format>.png and
# the four pictures of the window below; QM_SHOTS="name ..." takes only the pictures named.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
if [ "${QM_SKIP_BUILD:-0}" != 1 ]; then
  "$top/scripts/setup.sh"  # the private Wine prefix with the null graphics driver
  cmake --preset win64 >/dev/null
  cmake --build --preset win64 -j2 --target Quillmap quillmap-host >/dev/null
fi
source "$top/scripts/wine-env.sh"
run="$top/build/screenshots"
dest="$top/docs/screenshots"
rm -rf "$run"; mkdir -p "$run" "$dest"
cp "$top/build/win64/Quillmap.wlx64" "$top/build/win64/quillmap-host.exe" "$run/"
mkdir -p "$run/Themes"  # an empty folder: the built-in colours, as a fresh installation has them
winpath() { local p; p=$(cd "$(dirname "$1")" && pwd)/$(basename "$1"); printf 'Z:%s' "${p//\//\\}"; }

# picture view mode sample [keys [setting]]: each view light and dark for the README, then the
# grid of a sample of every format (light), which shows how each format's records become tables;
# then the window as a user meets it: a deep tree after Expand all scrolled down, the header line of
# a long record table kept at the top, the search field in the host's 1000-pixel window, and the
# source of catalog.json as written; a record table sorted by a click on its header, the tree
# filtered by the search box, Ctrl+G's field with a path typed, and the tree of a log whose payloads
# are JSON inside strings, one opened, in JSON Lines and in XML. Keys go to the view before the picture (quillmap-host --keys);
# a setting ("-" for none) is written to Quillmap.ini first. The deep and long files are made here.
python3 - "$run" <<'PY'
import sys
run = sys.argv[1]
deep = "".join('{"level%d": ' % i for i in range(200)) + '"the bottom"' + "}" * 200
open(run + "/deep.json", "w").write(deep)
rows = ['{"id": %d, "name": "item %d", "price": %d.%02d, "stock": %d, "tags": ["a", "b"]}' % (i, i, i % 90, i % 100, i * 7 % 500) for i in range(1, 1235)]
open(run + "/long.jsonl", "w").write("\n".join(rows) + "\n")
import json
log = [{"time": "2026-03-0%dT10:%02d:00Z" % (1 + i % 3, i * 7 % 60), "level": ["info", "warn", "error"][i % 3],
        "payload": json.dumps({"id": 100 + i, "user": {"name": ["ada", "grace", "linus"][i % 3], "roles": ["dev", "ops"][: 1 + i % 2]},
                               "ok": i % 3 != 2})} for i in range(6)]
open(run + "/api-log.jsonl", "w").write("\n".join(json.dumps(r) for r in log) + "\n")
# The same log as XML: JSON in an attribute and in an element's text.
from xml.sax.saxutils import escape, quoteattr
events = ["  <event time=%s level=%s data=%s>\n    <payload>%s</payload>\n  </event>" % (
    quoteattr(r["time"]), quoteattr(r["level"]), quoteattr(json.dumps({"host": "web-%d" % (i % 2), "ms": 12 + 5 * i})),
    escape(r["payload"])) for i, r in enumerate(log)]
open(run + "/api-log.xml", "w").write('<?xml version="1.0" encoding="UTF-8"?>\n<log>\n' + "\n".join(events) + "\n</log>\n")
PY
shots="tree-light tree light samples/catalog.json
tree-dark tree dark samples/catalog.json
grid-light grid light samples/events.jsonl
grid-dark grid dark samples/events.jsonl
source-light source light samples/feed.xml
source-dark source dark samples/feed.xml
grid-json grid light samples/catalog.json
grid-xml grid light samples/feed.xml
grid-yaml grid light samples/config.yaml
grid-toml grid light samples/settings.toml
grid-reg grid light samples/sample.reg
tree-deep tree light RUN/deep.json ctrl+add -
grid-sticky-header grid light RUN/long.jsonl next*40 -
search-field-1000 tree light samples/catalog.json - Search=1
source-as-written source light samples/catalog.json - -
grid-sorted grid light RUN/long.jsonl click:410,21 -
filter tree light samples/catalog.json search:pen Search=1|SearchFilter=1
embedded tree light RUN/api-log.jsonl down,right,down*3,right,down*2,right,down*2 -
embedded-xml tree light RUN/api-log.xml down,right,down*3,right,down*3,right,down*2,right,down -
goto tree light samples/catalog.json goto:$.items[0].tags[1] -"
[ -n "${QM_SHOTS:-}" ] && shots=$(grep -E "^(${QM_SHOTS// /|}) " <<< "$shots")
while read -r picture view mode sample keys setting; do
    rm -f "$run/Quillmap.ini"
    if [ -n "${setting:-}" ] && [ "$setting" != - ]; then printf '[Quillmap]\r\n%s\r\n' "${setting//|/$'\r\n'}" > "$run/Quillmap.ini"; fi
    file="$top/$sample"; [ "${sample#RUN/}" != "$sample" ] && file="$run/${sample#RUN/}"
    extra=(); [ -n "${keys:-}" ] && [ "$keys" != - ] && extra=(--keys "$keys")
    # "click:X,Y" clicks the view there (a column header sorts); "search:TEXT" types into the search box.
    # "goto:PATH" types PATH into Ctrl+G's field (the picture shows the field).
    case "${keys:-}" in
      click:*) extra=(--click "${keys#click:}") ;;
      search:*) extra=(--search "${keys#search:}") ;;
      goto:*) extra=(--goto "${keys#goto:}") ;;
    esac
    raw="$run/$picture.png"
    dark=(); [ "$mode" = dark ] && dark=(--dark)
    "$WINE" "$run/quillmap-host.exe" --plugin "$(winpath "$run/Quillmap.wlx64")" --view "$view" "${dark[@]}" \
      "${extra[@]}" --screenshot "$(winpath "$raw")" "$(winpath "$file")" </dev/null
    [ -s "$raw" ] || { echo "screenshots.sh: no picture $picture" >&2; exit 1; }
    python3 - "$raw" "$dest/$picture.png" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
pos, idat, header = 8, b"", None
while pos < len(data):
    length, kind = struct.unpack(">I4s", data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + length]
    if kind == b"IHDR": header = body
    elif kind == b"IDAT": idat += body
    pos += 12 + length
width, height, depth, colour = struct.unpack(">IIBB", header[:10])
assert depth == 8 and colour == 2, "an 8-bit RGB picture is expected"
stride = width * 3
raw = zlib.decompress(idat)
rows, prior, out = [], bytearray(stride), bytearray()
for y in range(height):
    start = y * (stride + 1)
    assert raw[start] == 0, "unfiltered rows are expected"
    row = raw[start + 1:start + 1 + stride]
    sub = bytes((row[i] - (row[i - 3] if i >= 3 else 0)) & 0xFF for i in range(stride))
    up = bytes((row[i] - prior[i]) & 0xFF for i in range(stride))
    # The filter whose bytes are smallest as signed values compresses best (the usual heuristic).
    cost = lambda r: sum(b if b < 128 else 256 - b for b in r)
    kind, best = min(((0, row), (1, sub), (2, up)), key=lambda c: cost(c[1]))
    out += bytes([kind]) + best
    prior = row
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(out), 9)) + chunk(b"IEND", b"")
open(sys.argv[2], "wb").write(png)
print("%s: %d bytes (was %d)" % (sys.argv[2], len(png), len(data)))
PY
done <<< "$shots"
