# Sourced by the scripts: the private Wine prefix, quiet Wine, the Wine programs to call, and
# whether this machine runs 32-bit programs at all.
# Debian's Wine keeps its programs in /usr/lib/wine; a bare `wineserver` is not on the PATH.
# QM_WINE64 and QM_WINE32 name other loaders (the script tests point QM_WINE32 at a program this
# kernel cannot execute to stand for a machine without 32-bit support).
top=${top:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX="${QM_WINEPREFIX:-$top/build/wineprefix}"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=d;mshtml=d"
export WINE="${QM_WINE64:-/usr/lib/wine/wine64}"   # 64-bit programs
export WINE32="${QM_WINE32:-/usr/lib/wine/wine}"   # 32-bit programs (wine32:i386), same prefix
export WINESERVER="/usr/lib/wine/wineserver64"

# The one probe of 32-bit support, shared by every script. The 32-bit Wine loader is itself a
# 32-bit program: asked for its version it answers "wine-…" where the kernel runs 32-bit code,
# and the kernel refuses to execute it where IA32 emulation is off (the shell's exit code 126,
# "Exec format error"). Any other outcome (no loader, a loader that answers nothing) is not a
# property of the kernel but a broken installation, which the callers must report as a failure.
# Asked once per script: qm_probe_32bit sets qm_runs_32bit to "yes", "no" or "broken" and keeps
# what the loader printed in qm_probe_32bit_output.
qm_runs_32bit=""
qm_probe_32bit() {
  [ -z "$qm_runs_32bit" ] || return 0
  local rc=0  # the callers may run under `set -e`: a failing probe is an answer, not an error
  qm_probe_32bit_output=$("$WINE32" --version 2>&1 </dev/null) || rc=$?
  if [ $rc -eq 0 ] && [[ "$qm_probe_32bit_output" == wine-* ]]; then
    qm_runs_32bit=yes
  elif [ $rc -eq 126 ] && [[ "$qm_probe_32bit_output" == *"Exec format error"* ]]; then
    qm_runs_32bit=no
  else
    qm_runs_32bit=broken
  fi
}

# The one line every script prints when the 32-bit runs are left out.
qm_no_32bit_message="this machine's kernel runs no 32-bit programs: the 32-bit plug-in is built and checked, not run"
