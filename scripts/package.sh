#!/usr/bin/env bash
# Builds the release archive a Total Commander user installs by opening it: both DLLs,
# pluginst.inf, the Themes folder and a short readme. Expects the win64 and win32 builds.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out="$top/build/package"  # not build/release: that is the release preset's build folder
rm -rf "$out"; mkdir -p "$out/Quillmap/Themes"
cp "$top/build/win64/Quillmap.wlx64" "$top/build/win32/Quillmap.wlx" "$out/Quillmap/"
cp "$top/packaging/pluginst.inf" "$top/packaging/readme.txt" "$out/Quillmap/"
cp "$top"/packaging/Themes/*.json "$out/Quillmap/Themes/" 2>/dev/null || true
(cd "$out/Quillmap" && python3 -c '
import sys, zipfile, os
with zipfile.ZipFile("../Quillmap.zip", "w", zipfile.ZIP_DEFLATED) as z:
    for root, _, files in os.walk("."):
        for f in sorted(files):
            p = os.path.join(root, f)
            z.write(p, os.path.relpath(p, ".").replace(os.sep, "/"))
')
python3 - "$out/Quillmap.zip" <<'PY'
import sys, zipfile
names = set(zipfile.ZipFile(sys.argv[1]).namelist())
need = {"Quillmap.wlx64", "Quillmap.wlx", "pluginst.inf", "readme.txt"}
missing = need - names
if missing or not any(n.startswith("Themes/") for n in names):
    sys.exit("release archive lacks %s" % (sorted(missing) or "Themes/"))
print("release archive:", sys.argv[1], len(names), "files")
PY
