# Sourced by the scripts: the private Wine prefix and quiet Wine.
top=${top:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX="${QM_WINEPREFIX:-$top/build/wineprefix}"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=d;mshtml=d"
export WINE="/usr/lib/wine/wine64"
