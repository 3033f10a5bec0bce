#!/usr/bin/env bash
# Builds the release archive a Total Commander user installs by opening it, then checks it:
# Quillmap-<version>.zip with both DLLs (stripped), pluginst.inf, the Themes folder and the readme
# in English and German. The version comes from shell/version.h alone. Expects the Release
# builds of the win64 and win32 presets. Prints the archive's listing and its pluginst.inf.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/.*kProductVersion\[\] = L"\([0-9][0-9.]*\)".*/\1/p' "$top/shell/version.h")
[ -n "$version" ] || { echo "no version in shell/version.h" >&2; exit 1; }
out="$top/build/package"  # not build/release: that is the release preset's build folder
stage="$out/Quillmap"
archive="$out/Quillmap-$version.zip"
rm -rf "$out"; mkdir -p "$stage/Themes"

x86_64-w64-mingw32-strip -o "$stage/Quillmap.wlx64" "$top/build/win64/Quillmap.wlx64"
i686-w64-mingw32-strip -o "$stage/Quillmap.wlx" "$top/build/win32/Quillmap.wlx"
# Text files get Windows line ends (Notepad of Windows 7 shows nothing else) and the version.
windows_text() { sed -e "s/@VERSION@/$version/g" -e 's/\r$//' -e 's/$/\r/' "$1" > "$2"; }
{ sed 's/\r$//' "$top/packaging/pluginst.inf"; echo "version=$version"; } | sed 's/$/\r/' > "$stage/pluginst.inf"
windows_text "$top/packaging/readme.txt" "$stage/readme.txt"
windows_text "$top/packaging/readme_de.txt" "$stage/readme_de.txt"
cp "$top"/packaging/Themes/*.json "$stage/Themes/"

# pluginst.inf must sit at the archive's root for Total Commander to offer the installation.
(cd "$stage" && python3 - "$archive" <<'PY'
import os, sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for root, dirs, files in os.walk("."):
        dirs.sort()
        for f in sorted(files):
            p = os.path.join(root, f)
            z.write(p, os.path.relpath(p, ".").replace(os.sep, "/"))
PY
)

# The checks: what is in the archive, the inf's keys, the DLLs' tables and symbols, the readmes.
check="$out/check"; mkdir -p "$check"
python3 - "$archive" "$check" "$version" "$top/packaging/Themes" <<'PY'
import os, sys, zipfile
archive, check, version, themes = sys.argv[1:]
z = zipfile.ZipFile(archive)
names = set(z.namelist())
shipped = {"Themes/" + f for f in os.listdir(themes) if f.endswith(".json")}
need = {"Quillmap.wlx64", "Quillmap.wlx", "pluginst.inf", "readme.txt", "readme_de.txt"} | shipped
problems = []
if names != need:
    problems.append("archive holds %s, expected %s" % (sorted(names - need), sorted(need - names)))
if len(shipped) < 4:
    problems.append("only %d colour schemes" % len(shipped))
for t in shipped & names:
    if z.read(t) != open(os.path.join(themes, t[len("Themes/"):]), "rb").read():
        problems.append(t + " differs from packaging/Themes")
inf = z.read("pluginst.inf").decode("ascii")
lines = inf.split("\r\n")
if lines[0] != "[plugininstall]":
    problems.append("pluginst.inf does not start with [plugininstall]")
keys = dict(l.split("=", 1) for l in lines[1:] if "=" in l)
want = {"type": "wlx", "file": "Quillmap.wlx", "defaultdir": "Quillmap", "version": version}
for k, v in want.items():
    if keys.get(k) != v:
        problems.append("pluginst.inf: %s=%r, expected %r" % (k, keys.get(k), v))
if not keys.get("description"):
    problems.append("pluginst.inf has no description")
readmes = {"readme.txt": ("Keys", "Quillmap.ini", "Themes", "Ctrl+S", "Quillmap " + version),
           "readme_de.txt": ("Tasten", "Quillmap.ini", "Themes", "Strg+S", "Quillmap " + version)}
for name, words in readmes.items():
    text = z.read(name).decode("utf-8-sig")
    problems += ["%s lacks %r" % (name, w) for w in words if w not in text]
    if "@VERSION@" in text or "\n" in text.replace("\r\n", ""):
        problems.append(name + " has a placeholder or a bare line end")
for dll in ("Quillmap.wlx64", "Quillmap.wlx"):
    open(os.path.join(check, dll), "wb").write(z.read(dll))
if problems:
    sys.exit("release archive:\n  " + "\n  ".join(problems))
PY
for dll in "$check/Quillmap.wlx64" "$check/Quillmap.wlx"; do
  "$top/scripts/check-dll.sh" "$dll" >/dev/null
  if objdump -h "$dll" | grep -q '\.debug'; then echo "$(basename "$dll") is not stripped" >&2; exit 1; fi
done
[ "$(objdump -f "$check/Quillmap.wlx64" | sed -n 's/.*file format //p')" = pei-x86-64 ] || { echo "Quillmap.wlx64 is not 64-bit" >&2; exit 1; }
[ "$(objdump -f "$check/Quillmap.wlx" | sed -n 's/.*file format //p')" = pei-i386 ] || { echo "Quillmap.wlx is not 32-bit" >&2; exit 1; }
rm -rf "$check"

unzip -l "$archive"
echo "--- pluginst.inf"; unzip -p "$archive" pluginst.inf | tr -d '\r'
echo "release archive: $archive (version $version): contents, inf, exports, imports and readmes checked"
