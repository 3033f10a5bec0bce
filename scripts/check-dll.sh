#!/usr/bin/env bash
# Checks a plug-in DLL: it exports exactly the ten Lister functions under their plain names and
# imports only Windows system DLLs (no MinGW runtime DLL may be needed at run time).
set -euo pipefail
dll=$1
dump=$(objdump -p "$dll")
expected="ListCloseWindow ListGetDetectString ListLoad ListLoadNext ListLoadNextW ListLoadW ListSearchText ListSearchTextW ListSendCommand ListSetDefaultParams"
exports=$(printf '%s\n' "$dump" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[ \t]*\[/{print $NF;next} t&&!/^[ \t]*\[/{t=0}' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$exports" != "$expected" ]; then
  echo "exports of $dll: '$exports'"; echo "expected:          '$expected'"; exit 1
fi
allowed='^(kernel32|user32|gdi32|comctl32|comdlg32|uxtheme|dwmapi|shell32|advapi32|msvcrt|msimg32|ole32|oleaut32|shlwapi|api-ms-win-[a-z0-9-]+)\.dll$'
bad=0
while read -r name; do
  lower=$(printf '%s' "$name" | tr 'A-Z' 'a-z')
  if ! printf '%s' "$lower" | grep -Eq "$allowed"; then echo "$dll imports $name"; bad=1; fi
done < <(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p')
[ $bad -eq 0 ] || exit 1
echo "$dll: exports and imports as expected"
