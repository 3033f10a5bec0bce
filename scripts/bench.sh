#!/usr/bin/env bash
# Load benchmark: installs the peer parsers' Debian packages when missing (one apt-get update),
# builds the benchmark in the release preset (no sanitizers) and the 64-bit quillmap-dump.exe,
# runs quillmap-bench (ours against the peers, native), then loads the same generated files with
# quillmap-dump --stats natively and under Wine, three times each, best figure kept.
#
#   scripts/bench.sh [--huge] [quillmap-bench options: --scale F --runs N --only FORMATS]
#
# --scale 0.05 gives a quick run. --huge also loads a JSON file just under 512 MiB in the 64-bit
# build under Wine (it must load or be declined, never crash).
# Build folders: $QM_BENCH_BUILD (build/release), $QM_BENCH_WIN_BUILD (build/win64); generated
# files: $QM_BENCH_FILES (build/bench-files).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

huge=0
bench_args=()
for a in "$@"; do
  if [ "$a" = "--huge" ]; then huge=1; else bench_args+=("$a"); fi
done

# Peers: only those with an installable candidate are asked for (the TOML ones have had several
# Debian names).
peers=(rapidjson-dev libsimdjson-dev nlohmann-json3-dev libpugixml-dev libxml2-dev libyaml-dev libfyaml-dev
       libyaml-cpp-dev libtomlplusplus-dev libcpptoml-dev pkg-config)
missing=()
for p in "${peers[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
candidates() {
  installable=()
  for p in "${missing[@]}"; do
    candidate=$(apt-cache policy "$p" 2>/dev/null | awk '/Candidate:/ {print $2}')
    if [ -n "$candidate" ] && [ "$candidate" != "(none)" ]; then installable+=("$p"); fi
  done
}
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  # The package lists are refreshed only when a missing peer is not in them; a refresh that fails
  # (a mirror in the middle of a sync) leaves the lists at hand, and the bench runs without the
  # peers it cannot install.
  candidates
  if [ ${#installable[@]} -lt ${#missing[@]} ]; then
    $sudo_cmd apt-get update -qq || echo "bench: apt-get update failed; the package lists at hand are used"
    candidates
  fi
  for p in "${missing[@]}"; do
    [[ " ${installable[*]} " == *" $p "* ]] || echo "bench: no package $p"
  done
  if [ ${#installable[@]} -gt 0 ]; then
    echo "bench: installing ${installable[*]}"
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${installable[@]}" >/dev/null ||
      echo "bench: installing ${installable[*]} failed; the bench runs without them"
  fi
fi
"$top/scripts/setup.sh"

build=${QM_BENCH_BUILD:-build/release}
winbuild=${QM_BENCH_WIN_BUILD:-build/win64}
files=${QM_BENCH_FILES:-build/bench-files}
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" -j2 --target quillmap-bench quillmap-dump >/dev/null
cmake --preset win64 -B "$winbuild" >/dev/null
cmake --build "$winbuild" -j2 --target quillmap-dump quillmap-host Quillmap >/dev/null

mkdir -p "$files"
files=$(cd "$files" && pwd)
report=$(mktemp)
"$build/bench/quillmap-bench" --dir "$files" "${bench_args[@]}" | tee "$report"

source "$top/scripts/wine-env.sh"
"$WINESERVER" -p >/dev/null 2>&1 </dev/null || true
"$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true

# Best of three --stats loads: prints "<load s> <peak per input byte> <tree bytes per node>".
best_stats() {
  local best=""
  for _ in 1 2 3; do
    local out
    out=$("$@" 2>/dev/null || true)
    local line
    line=$(awk '/^load:/ {t=$2} /^peak working set:/ {m=substr($6,2)} /^tree bytes per node:/ {n=$5}
                END {if (t != "") print t, m, n}' <<<"$out")
    [ -n "$line" ] || continue
    if [ -z "$best" ] || awk -v a="$line" -v b="$best" 'BEGIN {split(a,x," "); split(b,y," "); exit !(x[1] < y[1])}'; then
      best=$line
    fi
  done
  echo "$best"
}

echo
echo "quillmap-dump --stats, best of 3 loads from the file: native release build and win64 build under Wine"
printf '%-6s %12s %12s %10s %12s %12s %14s\n' format "native s" "wine s" "wine/native" "native peak" "wine peak" "wine B/node"
summary=()
for ext in json jsonl xml yaml toml; do
  f="$files/bench.$ext"
  [ -f "$f" ] || continue
  native=$(best_stats "$build/quillmap-dump" --stats "$f")
  wine=$(best_stats "$WINE" "$winbuild/quillmap-dump.exe" --stats "Z:${f//\//\\}")
  read -r nt nm _ <<<"${native:-- - -}"
  read -r wt wm wn <<<"${wine:-- - -}"
  ratio=$(awk -v a="$wt" -v b="$nt" 'BEGIN {if (a+0 > 0 && b+0 > 0) printf "%.2f", a/b; else print "-"}')
  printf '%-6s %12s %12s %10s %12s %12s %14s\n' "$ext" "$nt" "$wt" "$ratio" "$nm" "$wm" "$wn"
  summary+=("$ext memory $wm" "$ext node-bytes $wn" "$ext wine-load $ratio")
done

# The slow actions on the big JSON file under Wine, best of three: "Expand all" in the Grid
# (Ctrl++ until the view is painted again) and confirming the first edit of a value in its last
# record (the time editValue takes, read and checks included).
json="$files/bench.json"
if [ -f "$json" ]; then
  winjson="Z:${json//\//\\}"
  last=$(( $(grep -c '^  {$' "$json") - 1 ))
  best_of() {
    local best=""
    for _ in 1 2 3; do
      local out t
      out=$("$@" 2>/dev/null </dev/null || true)
      t=$(awk -v key="$KEY" '$1 == key && !done {print (key == "keys" ? $3 : $2); done = 1}' <<<"$out")
      [ -n "$t" ] || continue
      if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN {exit !(a < b)}'; then best=$t; fi
    done
    echo "${best:--}"
  }
  shot="$files/expand-all.png"
  expand=$(KEY=keys best_of "$WINE" "$winbuild/quillmap-host.exe" --timing --view grid --keys ctrl+add \
           --screenshot "Z:${shot//\//\\}" "$winjson")
  edit=$(KEY=edit: best_of "$WINE" "$winbuild/quillmap-dump.exe" --set "\$[$last].age" 42 --stats "$winjson")
  rm -f "$shot"
  echo
  echo "Slow actions on bench.json, win64 build under Wine, best of 3"
  echo "Grid Expand all: $expand s"
  echo "first edit of \$[$last].age: $edit s"
  summary+=("json grid-expand-all $expand" "json first-edit $edit")

  # The viewer on the same file, best of three by the Source view's first screen: the Tree's time
  # from ListLoadW to its first paint and the viewer's peak working set then (the plug-in's
  # documents also record the spans of loading), and what switching to the Source view adds to the
  # working set and how long its first screen takes.
  bytes=$(stat -c %s "$json")
  best_source=""
  for _ in 1 2 3; do
    # The plug-in opens in the view it was last left in: each run starts in the Tree.
    [ -f "$winbuild/Quillmap.ini" ] && sed -i 's/^View=.*/View=0/' "$winbuild/Quillmap.ini"
    out=$("$WINE" "$winbuild/quillmap-host.exe" --timing --view source --screenshot "Z:${shot//\//\\}" "$winjson" \
          2>/dev/null </dev/null || true)
    line=$(awk '/^ListLoadW:/ {tree=$7; peak=$12} /^first paint:/ {first=$3; added=substr($12,2)}
                END {if (first != "" && tree != "") print first, tree, added, peak}' <<<"$out")
    [ -n "$line" ] || continue
    if [ -z "$best_source" ] || awk -v a="$line" -v b="$best_source" 'BEGIN {split(a,x," "); split(b,y," "); exit !(x[1] < y[1])}'; then
      best_source=$line
    fi
  done
  rm -f "$shot"
  read -r sfirst stree sadded speak <<<"${best_source:-- - - -}"
  sratio=$(awk -v a="$sfirst" -v b="$stree" 'BEGIN {if (a+0 > 0 && b+0 > 0) printf "%.2f", a/b; else print "-"}')
  sper=$(awk -v a="$sadded" -v n="$bytes" 'BEGIN {if (a != "-" && a != "") printf "%.2f", a*1e6/n; else print "-"}')
  vper=$(awk -v a="$speak" -v n="$bytes" 'BEGIN {if (a != "-" && a != "") printf "%.2f", a*1e6/n; else print "-"}')
  echo "viewer (quillmap-host --timing): Tree loaded to first paint $stree s, peak working set $speak MB ($vper per input byte)"
  echo "Source view switch: working set +$sadded MB ($sper per input byte), first screen $sfirst s ($sratio of the Tree's load to first paint)"
  summary+=("json viewer-peak $vper" "json source-added $sper" "json source-first-screen $sratio")
fi

if [ "$huge" = 1 ]; then
  echo
  hugedir="$files/huge"
  "$build/bench/quillmap-bench" --dir "$hugedir" --only json --scale 5.36 --generate-only
  set +e
  "$WINE" "$winbuild/quillmap-dump.exe" --stats "Z:${hugedir//\//\\}\\bench.json"
  status=$?
  set -e
  case $status in
    0|1) echo "512 MiB JSON: loaded in the 64-bit build under Wine" ;;
    2) echo "512 MiB JSON: declined by the 64-bit build under Wine" ;;
    *) echo "512 MiB JSON: the 64-bit build under Wine ended with status $status" ;;
  esac
  rm -rf "$hugedir"
fi

echo
awk '/^load average at end/ {found=1; next} found' "$report"
printf '%s\n' "${summary[@]}"
echo "load average now: $(cut -d' ' -f1-3 /proc/loadavg)"
rm -f "$report"
