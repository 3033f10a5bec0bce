#!/usr/bin/env bash
# The setup and test scripts on the machines they must serve. A machine whose kernel runs no
# 32-bit programs is stood for by a 32-bit loader the kernel cannot execute (an ELF header for no
# known machine: "Exec format error", exit 126, as the real loader gives there); a broken Wine by
# a loader that answers nothing. Each case runs the real scripts and checks what they say.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
ok() { echo "ok: $1"; }
bad() { echo "FAILED: $1"; failures=$((failures + 1)); }

unrunnable="$work/unrunnable"
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\377\377' > "$unrunnable"
chmod +x "$unrunnable"
silent="$work/silent"
printf '#!/bin/sh\nexit 0\n' > "$silent"
chmod +x "$silent"

source "$top/scripts/wine-env.sh"
qm_probe_32bit
echo "this machine runs 32-bit programs: $qm_runs_32bit"

# 1. No 32-bit programs: setup succeeds and says in one line why the 32-bit runs are left out.
out=$(QM_WINE32="$unrunnable" "$top/scripts/setup.sh" 2>&1); rc=$?
if [ $rc -eq 0 ] && [[ "$out" == *"setup: $qm_no_32bit_message"* ]]; then ok "setup without 32-bit programs"
else bad "setup without 32-bit programs (exit $rc): $out"; fi

# 2. The same machine with a new prefix: made and checked with the 64-bit program alone.
fresh="$work/prefix"
out=$(QM_WINE32="$unrunnable" QM_WINEPREFIX="$fresh" "$top/scripts/setup.sh" 2>&1); rc=$?
if [ $rc -eq 0 ] && [ -f "$fresh/.quillmap-ready64" ] && [ ! -f "$fresh/.quillmap-ready" ]; then
  ok "new prefix checked with 64-bit Wine alone"
else bad "new prefix without 32-bit programs (exit $rc): $out"; fi
WINEPREFIX="$fresh" "$WINESERVER" -k >/dev/null 2>&1 || true

# 3. A 32-bit loader that prints nothing is a broken installation, never a skip.
out=$(QM_WINE32="$silent" "$top/scripts/setup.sh" 2>&1); rc=$?
if [ $rc -ne 0 ] && [[ "$out" == *"32-bit Wine ($silent) does not run"* ]]; then ok "silent 32-bit loader fails setup"
else bad "silent 32-bit loader (exit $rc): $out"; fi

# 4. A broken 64-bit Wine fails at once with one message, before any prefix work.
for loader in "$unrunnable" "$silent"; do
  out=$(QM_WINE64="$loader" QM_WINEPREFIX="$work/never" "$top/scripts/setup.sh" 2>&1); rc=$?
  if [ $rc -ne 0 ] && [ "$(printf '%s\n' "$out" | grep -c .)" -eq 1 ] &&
     [[ "$out" == "setup: the 64-bit Wine ($loader) does not run"* ]] && [ ! -e "$work/never" ]; then
    ok "broken 64-bit Wine $(basename "$loader") fails setup at once"
  else bad "broken 64-bit Wine $(basename "$loader") (exit $rc): $out"; fi
done

# 5. The test run on a machine without 32-bit programs: the 32-bit DLL is built and its tables
#    checked, both 32-bit suites are counted as skipped with the reason.
nested() { QM_RESULTS="$work/results-$1" QM_KEEP_WINESERVER=1 GTEST_FILTER='Chars*:*Decode*' "${@:2}" "$top/scripts/test.sh" win32 2>&1; }
out=$(nested skip env QM_WINE32="$unrunnable"); rc=$?
last=$(printf '%s\n' "$out" | tail -1)
if [ $rc -eq 0 ] && [[ "$last" =~ ^[1-9][0-9]*\ passed,\ 0\ failed,\ 2\ skipped$ ]] &&
   [ "$(printf '%s\n' "$out" | grep -c "^SKIPPED: wine32-.* ($qm_no_32bit_message)")" -eq 2 ] &&
   [[ "$out" == *"== tables"* || -f "$work/results-skip/tables-Quillmap.wlx.log" ]]; then
  ok "test run without 32-bit programs: $last"
else bad "test run without 32-bit programs (exit $rc): $(printf '%s\n' "$out" | tail -8)"; fi

# 6. This machine as it is: where it runs 32-bit programs nothing is skipped and both suites run.
out=$(nested real env); rc=$?
last=$(printf '%s\n' "$out" | tail -1)
if [ "$qm_runs_32bit" = yes ]; then
  if [ $rc -eq 0 ] && [[ "$last" =~ ^([0-9]+)\ passed,\ 0\ failed$ ]] && [ "${BASH_REMATCH[1]}" -ge 3 ] &&
     [ -s "$work/results-real/wine32-core.xml" ] && [ -s "$work/results-real/wine32-windows.xml" ]; then
    ok "test run with 32-bit programs: $last"
  else bad "test run with 32-bit programs (exit $rc): $(printf '%s\n' "$out" | tail -8)"; fi
else
  if [ $rc -eq 0 ] && [[ "$last" == *", 2 skipped" ]]; then ok "test run on this machine skips the 32-bit suites: $last"
  else bad "test run on this machine (exit $rc): $(printf '%s\n' "$out" | tail -8)"; fi
fi

[ $failures -eq 0 ]
