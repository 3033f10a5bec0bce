#!/usr/bin/env bash
# Installs what the build and the tests need (one apt-get update, only when something is
# missing) and creates the private Wine prefix with the null graphics driver. Idempotent and
# quiet when everything is there.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

packages=(cmake ninja-build g++ clang libclang-rt-14-dev mingw-w64 wine64 googletest libgtest-dev xvfb
          binutils-mingw-w64-x86-64 python3)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Private Wine prefix: never offers Mono/Gecko, draws with the null driver (no X server needed).
source "$top/scripts/wine-env.sh"
if [ ! -f "$WINEPREFIX/.quillmap-ready" ]; then
  echo "setup: creating the Wine prefix in $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  WINEDLLOVERRIDES="mscoree=d;mshtml=d" /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver -w || true
  touch "$WINEPREFIX/.quillmap-ready"
fi
