#!/usr/bin/env bash
# The whole test run: setup, the native build under sanitizers, the 64- and 32-bit Windows builds,
# every test suite (native, the same core tests under Wine, the Windows tests under Wine), the
# DLLs' export and import tables, the dump tool's output natively against Wine and against an
# independent JSON reader, its messages for files it does not load, the corpus's copies and paths
# read back by Python's readers, saved edits read back by each format's usual reader, and a short
# bounded fuzz run per target. Ends with "N passed, N failed" (and ", N skipped" when runs were
# left out).
#
#   scripts/test.sh [STEP...]     steps: native win64 win32 package dump fuzz scripts (default: all)
#
# On a machine whose kernel runs no 32-bit programs the 32-bit suites are built but not run, and
# counted as skipped with the reason. QM_RESULTS names another results folder and
# QM_KEEP_WINESERVER=1 leaves the Wine server running (the script tests run this script inside a
# run of its own); GoogleTest's GTEST_FILTER narrows every suite.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
"$top/scripts/setup.sh" || { echo "setup failed"; echo "0 passed, 1 failed"; exit 1; }
source "$top/scripts/wine-env.sh"
qm_probe_32bit  # setup has failed already unless this says "yes" or "no"
steps=("$@")
want() { [ ${#steps[@]} -eq 0 ] || [[ " ${steps[*]} " == *" $1 "* ]]; }
# The Python that reads copies back needs PyYAML and tomllib (3.11). Debian's python3-yaml goes into
# the system Python, which a python3 of pyenv on the PATH may hide.
QM_PYTHON=python3
python3 -c 'import yaml, tomllib' 2>/dev/null || QM_PYTHON=/usr/bin/python3

fuzz_seconds=${QM_FUZZ_SECONDS:-15}
jobs=$(nproc 2>/dev/null || echo 2)
results="${QM_RESULTS:-$top/build/test-results}"
rm -rf "$results"; mkdir -p "$results"
passed=0; failed=0; skipped=0; failures=()
pass() { passed=$((passed + 1)); }
skip() { skipped=$((skipped + 1)); echo "SKIPPED: $1 ($2)"; }
fail() { failed=$((failed + 1)); failures+=("$1"); echo "FAILED: $1"; }
check() { local name=$1; shift; if "$@" >"$results/$name.log" 2>&1; then pass; else fail "$name (see build/test-results/$name.log)"; tail -20 "$results/$name.log"; fi; }

build() {  # preset [targets...]
  local preset=$1; shift
  local targets=()
  [ $# -gt 0 ] && targets=(--target "$@")
  echo "== build $preset"
  cmake --preset "$preset" >"$results/configure-$preset.log" 2>&1 &&
    cmake --build --preset "$preset" -j "$jobs" "${targets[@]}" >"$results/build-$preset.log" 2>&1
}

# Runs a GoogleTest executable and adds its results to the counts (a crash counts as one failure).
gtest() {  # name, command...
  local name=$1; shift
  local xml="$results/$name.xml"
  local xmlArg=$xml
  [[ " $* " == *" $WINE "* || " $* " == *" $WINE32 "* ]] && xmlArg="Z:${xml//\//\\}"  # a Windows program wants a Windows path
  echo "== $name"
  rm -f "$xml"
  "$@" --gtest_brief=1 --gtest_output="xml:$xmlArg" >"$results/$name.log" 2>&1
  local rc=$?
  local t=0 f=0
  if [ -f "$xml" ]; then
    read -r t f < <(python3 - "$xml" <<'PY'
import sys, xml.etree.ElementTree as ET
ran = failed = 0
for case in ET.parse(sys.argv[1]).getroot().iter("testcase"):
    if case.get("status") == "notrun" or case.find("skipped") is not None or case.get("result") == "skipped":
        continue  # disabled or skipped
    ran += 1
    failed += case.find("failure") is not None or case.find("error") is not None
print(ran, failed)
PY
)
    passed=$((passed + t - f)); failed=$((failed + f))
    # A Wine run that ran no test (a 32-bit program without wine32 exits 0 and prints nothing).
    [ "$t" -gt 0 ] || fail "$name ran no test"
    [ "$f" -eq 0 ] || { failures+=("$name: $f failed (build/test-results/$name.log)"); grep -E '^\[  FAILED' "$results/$name.log" | head -40; }
  fi
  if [ ! -f "$xml" ]; then
    fail "$name wrote no results (exit $rc)"; tail -30 "$results/$name.log"
  elif [ $rc -ne 0 ] && [ "$f" -eq 0 ]; then
    fail "$name exited with $rc"; tail -30 "$results/$name.log"
  fi
}

# One Wine server for the whole run, warmed up with its output away from any pipe: each Wine
# program then starts in milliseconds instead of seconds.
"$WINESERVER" -p >/dev/null 2>&1 </dev/null
"$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true

ok_native=0; ok_win64=0; ok_win32=0; ok_fuzz=0
if want native || want dump; then
  build native && ok_native=1 || { fail "native build"; tail -30 "$results/build-native.log"; }
fi
if want win64 || want package || want dump; then
  build win64 && ok_win64=1 || { fail "win64 build"; tail -30 "$results/build-win64.log"; }
fi
if want win32 || want package; then
  build win32 && ok_win32=1 || { fail "win32 build"; tail -30 "$results/build-win32.log"; }
fi

want native && [ $ok_native = 1 ] && gtest native-core build/native/quillmap_core_tests
if want win64 && [ $ok_win64 = 1 ]; then
  gtest wine-core "$WINE" build/win64/quillmap_core_tests.exe
  gtest wine-windows "$WINE" build/win64/quillmap_win_tests.exe
  # The same plug-in with a German Windows display language (Wine takes it from LC_ALL).
  # QM_REQUIRE_GERMAN turns the test's skip into a failure: a German run that is not German fails.
  gtest wine-german env LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8 QM_REQUIRE_GERMAN=1 "$WINE" \
    build/win64/quillmap_win_tests.exe --gtest_filter='ListerLanguage*'
fi
# The same suites for the 32-bit build, under 32-bit Wine, where the kernel runs 32-bit programs.
if want win32 && [ $ok_win32 = 1 ]; then
  if [ "$qm_runs_32bit" = yes ]; then
    gtest wine32-core "$WINE32" build/win32/quillmap_core_tests.exe
    gtest wine32-windows "$WINE32" build/win32/quillmap_win_tests.exe
  else
    echo "== 32-bit suites: $qm_no_32bit_message"
    skip wine32-core "$qm_no_32bit_message"
    skip wine32-windows "$qm_no_32bit_message"
  fi
fi

# Both DLLs export exactly the ten Lister functions, undecorated, and import only system DLLs.
want win64 && [ $ok_win64 = 1 ] && check tables-Quillmap.wlx64 "$top/scripts/check-dll.sh" build/win64/Quillmap.wlx64
want win32 && [ $ok_win32 = 1 ] && check tables-Quillmap.wlx "$top/scripts/check-dll.sh" build/win32/Quillmap.wlx

# The release archive Quillmap-<version>.zip: both stripped DLLs with their export and import
# tables, pluginst.inf with its keys and the version of shell/version.h, the shipped themes (the
# core tests load each as a scheme of its darkness) and the readme in English and German.
if want package && [ $ok_win64 = 1 ] && [ $ok_win32 = 1 ]; then
  check release-archive "$top/scripts/package.sh"
fi

# The dump tool prints the same tree natively and under Wine, and agrees with Python's JSON reader.
if want dump && [ $ok_native = 1 ] && [ $ok_win64 = 1 ] && [ -d ../shared/corpus/json ]; then
  check dump-native-vs-wine python3 tests/tools/compare_dumps.py ../shared/corpus/json/test_parsing \
        build/native/quillmap-dump "$WINE" build/win64/quillmap-dump.exe
fi
if want dump && [ $ok_native = 1 ] && [ -d ../shared/corpus/json ]; then
  check json-reference python3 tests/tools/json_reference.py build/native/quillmap-dump ../shared/corpus/json/test_parsing
fi
# Copies and paths read back by other tools: every corpus file's root and sampled subtrees copied
# as JSON, YAML or XML and read by Python's json, PyYAML and ElementTree, TOML files by tomllib, and
# every node's path resolved to the same node; natively and under Wine (two dump runs each).
if want dump && [ $ok_native = 1 ] && [ -d ../shared/corpus ]; then
  check copy-roundtrip-native "$QM_PYTHON" tests/tools/copy_roundtrip.py build/native/quillmap-dump ../shared/corpus
fi
if want dump && [ $ok_win64 = 1 ] && [ -d ../shared/corpus ]; then
  check copy-roundtrip-wine "$QM_PYTHON" tests/tools/copy_roundtrip.py "$WINE" build/win64/quillmap-dump.exe ../shared/corpus
fi
# Every accepted edit of the edit-outcome tables, read back by Python's json, tomllib, PyYAML and
# ElementTree: the typed value at the edited node, every other value unchanged; natively, and the
# saves in code pages that Windows converts under Wine (one table, a second or two).
if want dump && [ $ok_native = 1 ]; then
  edit_runs=(build/native/quillmap_core_tests)
  [ $ok_win64 = 1 ] && edit_runs+=(-- build/win64/quillmap_win_tests.exe "$WINE")
  check edit-readers "$QM_PYTHON" tests/tools/edit_readers.py "${edit_runs[@]}"
fi
# The dump tool names why it loaded nothing (missing file, folder, empty, too large, not our format).
if want dump && [ $ok_native = 1 ]; then
  check dump-failures-native python3 tests/tools/dump_failures.py build/native/quillmap-dump
fi
if want dump && [ $ok_win64 = 1 ]; then
  check dump-failures-wine python3 tests/tools/dump_failures.py "$WINE" build/win64/quillmap-dump.exe
fi

# The scripts on the machines they must serve: a kernel that runs no 32-bit programs, a broken
# 64-bit or 32-bit Wine (each stood for by a loader that cannot run), and this machine as it is.
if want scripts; then
  check scripts-machines bash tests/tools/machines_test.sh
fi

# Fuzzing: each target a short bounded run, seeded from the shared corpus.
if want fuzz; then
  if build fuzz; then ok_fuzz=1; else fail "fuzz build"; tail -30 "$results/build-fuzz.log"; fi
fi
if [ $ok_fuzz = 1 ]; then
  for target in build/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    seeds=()
    case "$name" in
      fuzz_json) seeds=(../shared/corpus/json) ;;
      fuzz_xml) seeds=(../shared/corpus/xml) ;;
      fuzz_yaml) seeds=(../shared/corpus/yaml) ;;
      fuzz_toml) seeds=(../shared/corpus/toml) ;;
      fuzz_registry) seeds=(../shared/corpus/reg) ;;
      fuzz_theme) seeds=(../shared/corpus/themes) ;;
      # The targets of the views, paths and editing read any format: the first byte picks it.
      fuzz_grid|fuzz_source|fuzz_paths|fuzz_edit|fuzz_filter|fuzz_sort)
        seeds=(../shared/corpus/json ../shared/corpus/xml ../shared/corpus/yaml ../shared/corpus/toml ../shared/corpus/reg) ;;
    esac
    work="$top/build/fuzz-work/$name"; mkdir -p "$work"
    existing=()
    for s in "${seeds[@]}"; do [ -d "$s" ] && existing+=("$s"); done
    echo "== $name (${fuzz_seconds}s)"
    check "$name" "$target" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
          -artifact_prefix="$work/" "$work" "${existing[@]}"
  done
fi

# Stop the Wine processes of this run so that nothing holds the caller's output open.
[ -n "${QM_KEEP_WINESERVER:-}" ] || "$WINESERVER" -k >/dev/null 2>&1 || true
if [ ${#failures[@]} -gt 0 ]; then printf 'failed: %s\n' "${failures[@]}"; fi
if [ "$skipped" -gt 0 ]; then echo "$passed passed, $failed failed, $skipped skipped"
else echo "$passed passed, $failed failed"; fi
[ "$failed" -eq 0 ]
