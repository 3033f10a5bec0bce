#!/usr/bin/env bash
# Installs what the build and the tests need (one apt-get update, only when something is
# missing), provides the German locale of the German-language run, and creates the private Wine
# prefix with the null graphics driver. Idempotent and quiet when everything is there; fails with
# a message when something could not be provided.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

# wine32:i386 runs the 32-bit plug-in and its tests beside the 64-bit Wine. python3-yaml gives the
# system's Python the YAML reader that reads saved edits back (tests/tools/edit_readers.py).
packages=(cmake ninja-build g++ clang libclang-rt-14-dev mingw-w64 wine64 wine32:i386 googletest libgtest-dev
          xvfb binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 python3 python3-yaml locales)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  dpkg --print-foreign-architectures | grep -qx i386 || $sudo_cmd dpkg --add-architecture i386
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The copy round-trip test reads YAML with PyYAML and TOML with tomllib (Python 3.11) in the
# system Python (scripts/test.sh takes python3 instead when that one has both).
/usr/bin/python3 -c 'import yaml, tomllib' 2>/dev/null ||
  { echo "setup: /usr/bin/python3 lacks PyYAML (python3-yaml) or tomllib (Python 3.11)" >&2; exit 1; }

# The German-language run starts Wine with LC_ALL=de_DE.UTF-8, which Wine honours only when the
# host has that locale.
has_german() { locale -a 2>/dev/null | grep -qiE '^de_DE\.utf-?8$'; }
if ! has_german; then
  echo "setup: generating the de_DE.UTF-8 locale"
  $sudo_cmd localedef -i de_DE -f UTF-8 de_DE.UTF-8 || true
  has_german || { echo "setup: the de_DE.UTF-8 locale could not be generated" >&2; exit 1; }
fi

# Private Wine prefix: never offers Mono/Gecko, draws with the null driver (no X server needed).
# The 64-bit Wine must work on every machine: checked first, in a second, with one clear message.
source "$top/scripts/wine-env.sh"
wine64_out=$("$WINE" --version 2>&1 </dev/null) && [[ "$wine64_out" == wine-* ]] || {
  echo "setup: the 64-bit Wine ($WINE) does not run: ${wine64_out:-no output}" >&2; exit 1; }

# 32-bit programs run only where the kernel executes 32-bit code; where it does not, the 32-bit
# plug-in is still built and its tables checked, and the prefix is checked with 64-bit Wine alone.
qm_probe_32bit
case "$qm_runs_32bit" in
  yes) ;;
  no) echo "setup: $qm_no_32bit_message" ;;
  *) echo "setup: the 32-bit Wine ($WINE32) does not run: ${qm_probe_32bit_output:-no output}" >&2; exit 1 ;;
esac

# A prefix is marked ready only after the programs this machine can run ran in it: the marker
# ".quillmap-ready" says a 64-bit and a 32-bit program ran, ".quillmap-ready64" that a 64-bit one
# did. One that fails the check (made before wine32 was installed, or a failed wineboot) is made
# anew; a 32-bit program that printed nothing counts as a failure.
runs_in_prefix() {  # loader, word
  [ "$("$1" cmd /c echo "$2" </dev/null 2>/dev/null | tr -d '\r')" = "$2" ]
}
if [ "$qm_runs_32bit" = yes ]; then marker="$WINEPREFIX/.quillmap-ready"; what="64- and 32-bit programs"
else marker="$WINEPREFIX/.quillmap-ready64"; what="64-bit programs"; fi
prefix_works() {
  runs_in_prefix "$WINE" qm64 && { [ "$qm_runs_32bit" != yes ] || runs_in_prefix "$WINE32" qm32; }
}
# A prefix checked with both programs serves a machine that runs 64-bit programs only as well.
[ "$qm_runs_32bit" = yes ] || [ ! -f "$WINEPREFIX/.quillmap-ready" ] || touch "$marker"
if [ ! -f "$marker" ]; then
  for attempt in 1 2; do
    echo "setup: creating the Wine prefix in $WINEPREFIX"
    "$WINESERVER" -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"; mkdir -p "$WINEPREFIX"
    "$WINE" wineboot -i >/dev/null 2>&1 || true
    "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 || true
    "$WINESERVER" -w || true
    if prefix_works; then
      "$WINESERVER" -w || true
      touch "$marker"
      break
    fi
    # 64-bit Wine answered its version but runs nothing in a new prefix: no second attempt helps.
    runs_in_prefix "$WINE" qm64 || { echo "setup: the 64-bit Wine runs no program in the new prefix $WINEPREFIX" >&2; exit 1; }
    echo "setup: the Wine prefix does not run $what (attempt $attempt)" >&2
  done
  [ -f "$marker" ] || { echo "setup: no working Wine prefix" >&2; exit 1; }
fi
