#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Whole-process figures for `stowmere-cli backup` against `cp -a` and `rsync -a`, run in
# the same session on the same generated trees:
#   A  4 files of 512 MiB                     (full copy)
#   B  20,000 files of 1-16 KiB in 2,000 folders, up to 5 levels deep (full copy)
#   C  incremental run over B when the destination is already up to date (against rsync)
#
# Usage: bench/cli/backup-vs-cp-rsync.sh BUILD_FOLDER
# Environment:
#   STOWMERE_BENCH_QUICK=1   small trees and 3 rounds, warm only (a smoke run)
#   STOWMERE_BENCH_ROUNDS=N  rounds per warm figure (default 9; durable and cold take at
#                            most 5, as each round of them writes everything to disk)
#   STOWMERE_BENCH_DIR=DIR   where trees and copies go (default: a new folder under /tmp)
#
# How it measures (copying benchmarks swing a lot on this kind of machine):
#   - every run copies into a fresh, uniquely named folder; destinations of many small
#     files are only deleted after all rounds, because creating many files soon after
#     deleting many runs several times slower on ext4;
#   - the tools run interleaved, the order rotating from round to round (a disk that
#     bursts would otherwise favour whoever goes first), and each figure is the median over
#     the rounds; ratios are medians of the per-round ratios;
#   - before every run the earlier runs' writes are flushed (outside the timing), so no
#     tool pays for another's write-back;
#   - warm: the source is in the page cache; durable: the time includes `sync -f` of the
#     destination; cold: caches are dropped before each run (root only, else skipped).
# The trees come from the backup engine's benchmark driver when it is built, so these
# figures and the engine's are taken on the same trees.
set -euo pipefail

build=${1:?usage: $0 BUILD_FOLDER}
cli="$build/bin/stowmere-cli"
[[ -x "$cli" ]] || { echo "bench: $cli not built" >&2; exit 1; }
cli=$(cd "$(dirname "$cli")" && pwd)/$(basename "$cli")
command -v rsync >/dev/null || { echo "bench: rsync is missing" >&2; exit 1; }

quick=${STOWMERE_BENCH_QUICK:-0}
if [[ "$quick" == 1 ]]; then
  rounds=${STOWMERE_BENCH_ROUNDS:-3}
  big_count=2; big_mib=32
  small_files=2000; small_folders=200
  modes=(warm)
else
  rounds=${STOWMERE_BENCH_ROUNDS:-9}
  big_count=4; big_mib=512
  small_files=20000; small_folders=2000
  modes=(warm durable cold)
fi

if [[ -n "${STOWMERE_BENCH_DIR:-}" ]]; then
  mkdir -p "$STOWMERE_BENCH_DIR"
  work=$(mktemp -d "$STOWMERE_BENCH_DIR/stowmere-cli-bench.XXXXXX")
else
  work=$(mktemp -d /tmp/stowmere-cli-bench.XXXXXX)
fi
trap 'rm -rf "$work"' EXIT
data="$work/data"
mkdir -p "$data" "$work/out"

can_drop_caches=0
if [[ -w /proc/sys/vm/drop_caches ]]; then can_drop_caches=1; fi

now_ns() { date +%s%N; }

median() { # numbers on stdin -> median
  sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) { print "nan"; exit }
    if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# --- trees ------------------------------------------------------------------------------

driver="$build/bin/backup-bench-driver"

make_big_tree() { # A: big_count files of big_mib MiB; one random file, the rest copies of it
  local root="$work/src/BigFiles"
  mkdir -p "$root"
  if [[ -x "$driver" ]]; then "$driver" gen-large "$root" "$big_count" "$big_mib"; return; fi
  head -c "$((big_mib * 1024 * 1024))" /dev/urandom > "$root/part1.bin"
  for ((i = 2; i <= big_count; i++)); do cp "$root/part1.bin" "$root/part$i.bin"; done
}

make_small_tree() { # B: small_files files of 1-16 KiB spread over small_folders folders, depth 1-5
  local root="$work/src/SmallFiles"
  mkdir -p "$root"
  if [[ -x "$driver" ]]; then "$driver" gen-small "$root" "$small_files" "$small_folders" 5; return; fi
  local -a folders=()
  local i depth path
  RANDOM=4242 # the same tree on every run of the script
  for ((i = 0; i < small_folders; i++)); do
    depth=$((i % 5 + 1))
    path="$root"
    for ((d = 1; d <= depth; d++)); do path+="/d$((i % (7 * d + 3)))_$d"; done
    path+="/f$i"
    folders+=("$path")
  done
  mkdir -p "${folders[@]}"
  # printf is a shell builtin: no process per file, so 20,000 files take seconds.
  local filler
  filler=$(head -c 16384 /dev/urandom | base64 -w0 | head -c 16384)
  for ((i = 0; i < small_files; i++)); do
    local size=$(((RANDOM % 16 + 1) * 1024 - RANDOM % 512))
    printf '%s' "${filler:0:size}" > "${folders[i % small_folders]}/file$i.dat"
  done
}

# --- runs -------------------------------------------------------------------------------

# Adds a backup set for one run, named after its destination, a fresh folder. Prints the
# set's name.
new_set_for() { # $1 source folder, $2 destination
  local name
  name=$(basename "$2")
  "$cli" --data "$data" new-set "$name" "$2" >/dev/null
  "$cli" --data "$data" add-paths "$name" "$1" >/dev/null
  echo "$name"
}

prepare_mode() { # $1 mode, $2 source
  sync
  case "$1" in
    warm | durable) find "$2" -type f -exec cat {} + >/dev/null ;;
    cold) echo 3 > /proc/sys/vm/drop_caches ;;
  esac
}

# Runs one tool once and prints its seconds. $1 tool, $2 mode, $3 source, $4 destination
# (created fresh here), $5 set name for stowmere, $6 extra stowmere flags.
time_one() {
  local tool=$1 mode=$2 src=$3 dest=$4 set=${5:-} flags=${6:-}
  mkdir -p "$dest"
  prepare_mode "$mode" "$src"
  local start end status=0
  start=$(now_ns)
  case "$tool" in
    stowmere) "$cli" --data "$data" backup "$set" $flags --quiet || status=$? ;;
    cp) cp -a "$src" "$dest/" || status=$? ;;
    rsync) rsync -a "$src" "$dest/" || status=$? ;;
  esac
  if [[ "$mode" == durable ]]; then sync -f "$dest"; fi
  end=$(now_ns)
  if [[ $status -ne 0 ]]; then echo "bench: $tool failed with exit code $status" >&2; exit 1; fi
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", (e - s) / 1e9 }'
}

report() { # $1 label, $2 file of "stowmere cp rsync" seconds per round
  local label=$1 file=$2
  local ms mc mr rc rr
  ms=$(awk '{ print $1 }' "$file" | median)
  mc=$(awk '{ print $2 }' "$file" | median)
  mr=$(awk '{ print $3 }' "$file" | median)
  rc=$(awk '{ print $1 / $2 }' "$file" | median)
  rr=$(awk '{ print $1 / $3 }' "$file" | median)
  printf '%-30s stowmere-cli %7.3f s   cp -a %7.3f s   rsync -a %7.3f s   ratio to cp %5.2f   to rsync %5.2f\n' \
    "$label" "$ms" "$mc" "$mr" "$rc" "$rr"
}

full_copy_figure() { # $1 tree name, $2 source, $3 mode, $4 delete destinations per round (0/1)
  local name=$1 src=$2 mode=$3 delete_each=$4
  local rounds=$rounds
  if [[ "$mode" != warm && $rounds -gt 5 ]]; then rounds=5; fi
  local file="$work/${name}_$mode.times"
  : > "$file"
  if [[ "$mode" == cold && $can_drop_caches -eq 0 ]]; then
    echo "$name ($mode): skipped, dropping caches needs root"; return
  fi
  for ((r = 1; r <= rounds; r++)); do
    local base="$work/out/$name-$mode-$r"
    local set ts tc tr
    set=$(new_set_for "$src" "$base-stowmere")
    case $((r % 3)) in
      1) ts=$(time_one stowmere "$mode" "$src" "$base-stowmere" "$set")
         tc=$(time_one cp "$mode" "$src" "$base-cp")
         tr=$(time_one rsync "$mode" "$src" "$base-rsync") ;;
      2) tc=$(time_one cp "$mode" "$src" "$base-cp")
         tr=$(time_one rsync "$mode" "$src" "$base-rsync")
         ts=$(time_one stowmere "$mode" "$src" "$base-stowmere" "$set") ;;
      0) tr=$(time_one rsync "$mode" "$src" "$base-rsync")
         ts=$(time_one stowmere "$mode" "$src" "$base-stowmere" "$set")
         tc=$(time_one cp "$mode" "$src" "$base-cp") ;;
    esac
    if [[ $r -eq 1 ]]; then
      # The copies must agree, or the figures compare different work.
      diff -r -x .stowmere-run.lock "$base-stowmere" "$base-cp" >/dev/null ||
        { echo "bench: stowmere-cli and cp -a copies of $name differ" >&2; exit 1; }
    fi
    echo "$ts $tc $tr" >> "$file"
    # Four big files are cheap to delete; many small ones are left until the end.
    if [[ $delete_each -eq 1 ]]; then rm -rf "$base-stowmere" "$base-cp" "$base-rsync"; fi
  done
  report "$name full copy ($mode)" "$file"
}

incremental_figure() { # C: no-change runs over B into destinations that are up to date
  local src=$1
  local file="$work/C_warm.times"
  : > "$file"
  local base="$work/out/C"
  local set
  set=$(new_set_for "$src" "$base-stowmere")
  mkdir -p "$base-stowmere" "$base-rsync"
  "$cli" --data "$data" backup "$set" --quiet
  rsync -a "$src" "$base-rsync/"
  for ((r = 1; r <= rounds; r++)); do
    local ts tr
    if ((r % 2)); then
      ts=$(time_one stowmere warm "$src" "$base-stowmere" "$set" --incremental)
      tr=$(time_one rsync warm "$src" "$base-rsync")
    else
      tr=$(time_one rsync warm "$src" "$base-rsync")
      ts=$(time_one stowmere warm "$src" "$base-stowmere" "$set" --incremental)
    fi
    echo "$ts $tr $tr" >> "$file"
  done
  local ms mr rr
  ms=$(awk '{ print $1 }' "$file" | median)
  mr=$(awk '{ print $2 }' "$file" | median)
  rr=$(awk '{ print $1 / $2 }' "$file" | median)
  printf '%-30s stowmere-cli %7.3f s   rsync -a %7.3f s   ratio to rsync %5.2f\n' \
    "C incremental, no change" "$ms" "$mr" "$rr"
}

echo "stowmere-cli backup against cp -a and rsync -a: $rounds rounds, medians$([[ $quick == 1 ]] && echo ', quick mode')"
echo "work folder: $work"
make_big_tree
make_small_tree
sync
for mode in "${modes[@]}"; do
  full_copy_figure A "$work/src/BigFiles" "$mode" 1
  full_copy_figure B "$work/src/SmallFiles" "$mode" 0
done
incremental_figure "$work/src/SmallFiles"
