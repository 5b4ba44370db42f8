#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Backup engine against cp -a and rsync -a on generated trees:
#   A  4 files of 512 MiB                    full copy, against cp -a
#   B  20,000 files of 1-16 KiB, 2,000 folders, 5 levels   full copy, against cp -a
#   C  B again with the destination up to date   incremental run, against rsync -a
# Every timed copy goes to a fresh folder (deleting many files shortly before creating
# many slows this file system down several times), the two commands alternate A B A B,
# and the median of the per-pair ratios is reported. Targets: A and B at most 1.0, C at
# most 0.5, the engine's peak resident size at most 32 MiB. "warm" has the source in memory;
# "durable" includes a syncfs of the destination after the copy.
#
#   copy-bench.sh BUILD_FOLDER
# Environment: STOWMERE_BENCH_QUICK=1 small trees and 3 pairs (a smoke test);
# STOWMERE_BENCH_PAIRS=n; STOWMERE_BENCH_DIR=folder for the trees (default BUILD/bench-backup).
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
driver=$build/bin/backup-bench-driver
[[ -x $driver ]] || { echo "copy-bench: $driver is missing; build the backup-bench-driver target" >&2; exit 1; }
command -v rsync >/dev/null || { echo "copy-bench: rsync is not installed" >&2; exit 1; }

if [[ ${STOWMERE_BENCH_QUICK:-0} == 1 ]]; then
  large_count=4 large_mib=16 small_files=2000 small_folders=200 pairs=${STOWMERE_BENCH_PAIRS:-3}
else
  large_count=4 large_mib=512 small_files=20000 small_folders=2000 pairs=${STOWMERE_BENCH_PAIRS:-9}
fi
durable_pairs=$(( pairs < 5 ? pairs : 5 ))

work=${STOWMERE_BENCH_DIR:-$build/bench-backup}-$$
mkdir -p "$work/src" "$work/dst"
cleanup() { rm -rf "$work"; }
trap cleanup EXIT

# Room for the sources and the destinations. The small-file copies stay until the end;
# the few large files of tree A are deleted after each of its phases, outside the timing.
large_total=$(( large_count * large_mib ))
small_mib=$(( small_files * 12 / 1024 + small_folders * 4 / 1024 + 1 ))
need_mib=$(( large_total * (1 + 2 * pairs) + small_mib * (2 * (pairs + durable_pairs) + 3) ))
free_mib=$(df -Pm "$work" | awk 'NR == 2 { print $4 }')
if (( free_mib < need_mib + 2048 )); then
  echo "copy-bench: needs about $need_mib MiB free in $work, has $free_mib MiB" >&2
  exit 1
fi

echo "copy-bench: $work, $pairs pairs (durable: $durable_pairs)"
"$driver" gen-large "$work/src/Large" "$large_count" "$large_mib"
"$driver" gen-small "$work/src/Small" "$small_files" "$small_folders" 5
warm() { find "$1" -type f -exec cat {} + >/dev/null; }

now() { date +%s%N; }
peak_kib=0
# run_timed OUT_VARIABLE SYNC_FOLDER command...: elapsed seconds of the command (and a
# syncfs of SYNC_FOLDER when it is not empty); keeps the largest resident size seen.
run_timed() {
  local out=$1 sync_folder=$2; shift 2
  local start end rss
  start=$(now)
  /usr/bin/time -f '%M' -o "$work/rss" "$@" >/dev/null 2>"$work/stderr" || {
    echo "copy-bench: failed: $*" >&2; cat "$work/stderr" >&2; exit 1; }
  [[ -n $sync_folder ]] && sync -f "$sync_folder"
  end=$(now)
  rss=$(tail -n 1 "$work/rss")
  if [[ $1 == "$driver" ]] && (( rss > peak_kib )); then peak_kib=$rss; fi
  printf -v "$out" '%s' "$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f", (e - s) / 1e9 }')"
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# compare LABEL MODE PAIRS OURS_ARGS... -- THEIRS...: interleaved pairs into fresh folders.
report() {
  local label=$1 ours_file=$2 theirs_file=$3 ratio_file=$4 against=$5
  printf '%-26s stowmere %7.3f s   %-9s %7.3f s   ratio %5.2f (median of %d pairs)\n' "$label" \
    "$(median <"$ours_file")" "$against" "$(median <"$theirs_file")" "$(median <"$ratio_file")" "$(wc -l <"$ratio_file")"
  echo "    per pair: $(paste -d/ "$ours_file" "$theirs_file" | tr '\n' ' ')"
}

full_copy() {
  local tree=$1 name=$2 mode=$3 count=$4 i ours theirs dest sync_ours sync_theirs
  : >"$work/ours" ; : >"$work/theirs" ; : >"$work/ratio"
  for (( i = 0; i < count; i++ )); do
    dest=$work/dst/$tree-$mode-ours-$i; mkdir -p "$dest"
    sync_ours=""; [[ $mode == durable ]] && sync_ours=$dest
    run_timed ours "$sync_ours" "$driver" backup "$dest" "$work/src/$name"
    dest=$work/dst/$tree-$mode-cp-$i; mkdir -p "$dest"
    sync_theirs=""; [[ $mode == durable ]] && sync_theirs=$dest
    run_timed theirs "$sync_theirs" cp -a "$work/src/$name" "$dest/"
    echo "$ours" >>"$work/ours"; echo "$theirs" >>"$work/theirs"
    awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.4f\n", a / b }' >>"$work/ratio"
  done
  report "$tree full copy, $mode" "$work/ours" "$work/theirs" "$work/ratio" "cp -a"
  [[ $(find "$work/dst/$tree-$mode-ours-0" -type f ! -name .stowmere-run.lock | wc -l) == $(find "$work/src/$name" -type f | wc -l) ]] || {
    echo "copy-bench: the backup of $name is incomplete" >&2; exit 1; }
}

no_change() {
  local i ours theirs dest=$work/dst/C-uptodate
  mkdir -p "$dest"
  cp -a "$work/src/Small" "$dest/"
  sync -f "$dest"
  : >"$work/ours" ; : >"$work/theirs" ; : >"$work/ratio"
  for (( i = 0; i < pairs; i++ )); do
    run_timed ours "" "$driver" backup --incremental "$dest" "$work/src/Small"
    run_timed theirs "" rsync -a "$work/src/Small" "$dest/"
    echo "$ours" >>"$work/ours"; echo "$theirs" >>"$work/theirs"
    awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.4f\n", a / b }' >>"$work/ratio"
  done
  report "C incremental, no change" "$work/ours" "$work/theirs" "$work/ratio" "rsync -a"
}

# cancel_latency PHASE ITEM: milliseconds from Cancel to the end of the run, median of 5.
cancel_latency() {
  local phase=$1 item=$2 i
  : >"$work/latency"
  for (( i = 0; i < 5; i++ )); do
    mkdir -p "$work/dst/cancel-$phase-$i"
    "$driver" cancel-latency "$phase" "$work/dst/cancel-$phase-$i" "$item" >>"$work/latency" || {
      echo "copy-bench: the $phase run did not stop on cancel" >&2; exit 1; }
  done
  printf '%-26s %7.1f ms (median of 5; the run must end within about a second)\n' \
    "cancel during $phase" "$(median <"$work/latency")"
}

warm "$work/src"
cancel_latency copy "$work/src/Large/large-0.bin"
cancel_latency listing "$work/src/Small"
rm -rf "$work"/dst/cancel-*; sync -f "$work"
full_copy A Large warm "$pairs"
rm -rf "$work"/dst/A-*; sync -f "$work"
warm "$work/src/Small"
full_copy B Small warm "$pairs"
warm "$work/src/Small"
no_change
full_copy A Large durable "$durable_pairs"
rm -rf "$work"/dst/A-*
full_copy B Small durable "$durable_pairs"
echo "peak resident size of the backup engine: $(( peak_kib / 1024 )) MiB ($peak_kib KiB)"
