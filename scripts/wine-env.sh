# Sourced by the scripts: the private Wine prefix, quiet Wine, and the Wine programs to call.
# Debian's Wine keeps its programs in /usr/lib/wine; a bare `wineserver` is not on the PATH.
top=${top:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX="${QM_WINEPREFIX:-$top/build/wineprefix}"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=d;mshtml=d"
export WINE="/usr/lib/wine/wine64"      # 64-bit programs
export WINE32="/usr/lib/wine/wine"      # 32-bit programs (wine32:i386), same prefix
export WINESERVER="/usr/lib/wine/wineserver64"
