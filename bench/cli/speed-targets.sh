#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Whole-process figures of `stowmere-cli backup` against `cp -a` and `rsync -a`, taken in
# one run on trees made from fixed seeds, printed as one table of ratios and drawn as a
# chart (docs/benchmarks.svg, or BUILD/benchmarks.svg in quick mode):
#
#   no-change incremental, 20,000 and 200,000 files        against rsync -a   target 0.35
#     the 200,000 with the set's mirror on       against rsync -a --delete   target 0.35
#   incremental with 1 % of 200,000 files changed           against rsync -a   target 0.5
#   full copy, 200,000 files of 64 to 163 bytes             against cp -a      target 0.8
#   full copy, 20,000 files of 1 to 16 KiB, cold caches     against the faster target 0.85
#   full copy, 4 x 512 MiB                                  against cp -a      target 1.0
#   no-change incremental of a copy of /usr/share           against rsync -a   target 0.5
#     the same with the destination's disk more than half full (root: a loop-mounted ext4)
#   full copy of the copy of /usr/share                     against cp -a      target 0.8
#   verification of 4 x 512 MiB, warm                       against cat        target 1.25
#   verification of 20,000 files of 1 to 16 KiB             against xxhsum -H2 target 1.0
#   restoring a moment (--at) of those 20,000 files         against cp -a      target 1.2
#   listing a moment (versions --at) of 200,000 files: time and peak resident memory
#   peak resident memory, 1,000,000 files in 10,000 folders                    target 24 MiB
#     and of verifying them                                                    target 32 MiB
#   the window's busy picture during a 200,000-file run: latest frame           target 50 ms
#
# Usage: bench/cli/speed-targets.sh BUILD_FOLDER
# Environment:
#   STOWMERE_BENCH_QUICK=1   trees a tenth of the size (memory: 20,000 files), 3 pairs:
#                            a smoke run whose chart goes to the build folder
#   STOWMERE_BENCH_PAIRS=N   pairs per figure (default 9)
#   STOWMERE_BENCH_DIR=DIR   where trees and copies go (default BUILD/bench-speed)
#   STOWMERE_BENCH_CHART=F   where the chart goes
#   STOWMERE_BENCH_ONLY=RE   only the rows whose label matches the extended regular
#                            expression RE (trees no chosen row needs are not made)
#
# How it measures (copy timings swing two to three times on this kind of machine):
#   - every full copy goes to a fresh, uniquely named folder; trees of many small files
#     are deleted only at the very end, since creating many files soon after deleting many
#     runs several times slower on ext4;
#   - the commands of a pair run in alternating order (the second writer pays for the
#     first one's write-back), each after a `sync` outside the timing, and a figure is the
#     median of the per-pair ratios (for the large files their geometric mean, see record);
#   - each set has recorded its drive before it is timed (see new_set);
#   - the large files take twice as many pairs, always an even number: their times swing
#     most (a 2 GiB copy is bound by the disk's write-back) and with an even count each
#     command runs first as often as second;
#   - cold runs drop the page cache before each command (root only, else skipped);
#   - a tree that does not fit the free space or inodes is skipped, saying so.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
cli=$build/bin/stowmere-cli
driver=$build/bin/backup-bench-driver
frames=$build/bin/window-frame-gaps
for tool in "$cli" "$driver"; do
  [[ -x $tool ]] || { echo "speed-targets: $tool is not built" >&2; exit 1; }
done
for tool in rsync gnuplot xxhsum; do
  command -v $tool >/dev/null || { echo "speed-targets: $tool is not installed (scripts/install-deps)" >&2; exit 1; }
done

quick=${STOWMERE_BENCH_QUICK:-0}
if [[ $quick == 1 ]]; then
  pairs=${STOWMERE_BENCH_PAIRS:-3}
  small=2000 many=20000 big_count=2 big_mib=32 rss_files=20000 rss_folders=200
  chart=${STOWMERE_BENCH_CHART:-$build/benchmarks.svg}
else
  pairs=${STOWMERE_BENCH_PAIRS:-9}
  small=20000 many=200000 big_count=4 big_mib=512 rss_files=1000000 rss_folders=10000
  chart=${STOWMERE_BENCH_CHART:-$PWD/docs/benchmarks.svg}
fi

work=${STOWMERE_BENCH_DIR:-$build/bench-speed}.$$
mkdir -p "$work/src" "$work/out" "$work/data"
trap 'rm -rf "$work"' EXIT
results=$work/results.tsv
: >"$results"

now() { date +%s%N; }
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) { print "nan"; exit }
  if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
fmt_count() { echo "$1" | sed -e ':a' -e 's/\B[0-9]\{3\}\>/,&/' -e 'ta'; }

# fits MIB INODES: whether the work folder has that much room, with a margin.
fits() {
  local avail iavail
  read -r avail iavail < <(df --output=avail,iavail "$work" | awk 'NR == 2 { print int($1 / 1024), $2 }')
  ((avail > $1 + 2048 && iavail > $2 + 100000))
}
skip() { echo "skipped: $1" | tee -a "$work/skipped"; }

# wanted LABEL...: whether any of the labels is a row STOWMERE_BENCH_ONLY chooses. A row
# whose copies later rows use runs when they are chosen: the caller names them in `also`.
only=${STOWMERE_BENCH_ONLY:-}
also=()
wanted() {
  [[ -z $only ]] && return 0
  local label
  for label in "$@" "${also[@]}"; do grep -qE -- "$only" <<<"$label" && return 0; done
  return 1
}

# One backup set per destination, named after the destination folder. The first backup of
# a set records the drive of its destination, and saving that (with fsync) waits for the
# data of every copy the run made, on ext4: an untimed backup of an empty folder does that
# here, so that a row times the copy every later run of a set makes.
new_set() { # SOURCE DEST -> set name
  local name
  name=$(basename "$2")
  mkdir -p "$work/empty/Nothing" "$2"
  "$cli" --data "$work/data" new-set "$name" "$2" >/dev/null
  "$cli" --data "$work/data" add-paths "$name" "$work/empty/Nothing" >/dev/null
  "$cli" --data "$work/data" backup "$name" --quiet >/dev/null
  rm -r "$2/Nothing"
  "$cli" --data "$work/data" remove-paths "$name" "$work/empty/Nothing" >/dev/null
  "$cli" --data "$work/data" add-paths "$name" "$1" >/dev/null
  echo "$name"
}

# time_run VAR TOOL SOURCE DEST [SET] [FLAGS] [cold]: seconds of one command, after a sync
# (and a cache drop for cold) outside the timing. The peak resident size of stowmere-cli
# goes to $work/rss.
time_run() {
  local var=$1 tool=$2 src=$3 dest=$4 set=${5:-} flags=${6:-} mode=${7:-warm}
  mkdir -p "$dest"
  sync
  if [[ $mode == cold ]]; then echo 3 >/proc/sys/vm/drop_caches; fi
  local start end status=0
  start=$(now)
  case $tool in
    stowmere) /usr/bin/time -f %M -o "$work/rss" "$cli" --data "$work/data" backup "$set" $flags --quiet ||
      status=$? ;;
    cp) cp -a "$src" "$dest/" || status=$? ;;
    rsync) rsync -a $flags "$src" "$dest/" || status=$? ;;
  esac
  end=$(now)
  ((status == 0)) || { echo "speed-targets: $tool failed with exit code $status" >&2; exit 1; }
  printf -v "$var" '%s' "$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f", (e - s) / 1e9 }')"
}

# record LABEL OURS_FILE THEIRS_FILE REFERENCE_NAME TARGET [geometric]: one row of the
# table from the per-pair seconds of both sides: the median of the per-pair ratios, or their
# geometric mean. The large files need the latter: there the second command of a pair takes
# two to three times as long as the first, whichever it is, so the ratios fall in two groups
# whose median says little, while over an even number of alternating pairs the geometric
# mean cancels the order exactly.
record() {
  local label=$1 ours=$2 theirs=$3 reference=$4 target=$5 mean=${6:-}
  local mo mt ratio
  mo=$(median <"$ours")
  mt=$(median <"$theirs")
  if [[ $mean == geometric ]]; then
    ratio=$(paste "$ours" "$theirs" | awk '{ sum += log($1 / $2) } END { printf "%.4f\n", exp(sum / NR) }')
  else
    ratio=$(paste "$ours" "$theirs" | awk '{ printf "%.4f\n", $1 / $2 }' | median)
  fi
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$label" "$mo" "$mt" "$reference" "$ratio" "$target" >>"$results"
  printf '  %-52s %8.3f s  %-9s %8.3f s  ratio %5.2f (target %s)\n' "$label" "$mo" "$reference" "$mt" "$ratio" "$target"
}

# An incremental row: both destinations are first brought up to date untimed; before each
# pair, PER_MILLE of the source's files get new contents (0: nothing changes). With MIRROR
# "mirror" the set carries removals into versions and rsync runs with --delete.
incremental_row() { # LABEL SOURCE PER_MILLE TARGET [DESTINATION_ROOT] [MIRROR]
  wanted "$1" || return 0
  local label=$1 src=$2 per_mille=$3 target=$4 root=${5:-$work/out} mirror=${6:-} name
  name=$(basename "$src")-$per_mille${5:+-full-disk}${mirror:+-mirror}
  local ours=$root/$name-incr-stowmere theirs=$root/$name-incr-rsync set t
  local rsync_flags="" reference="rsync -a"
  set=$(new_set "$src" "$ours")
  if [[ $mirror == mirror ]]; then
    "$cli" --data "$work/data" options "$set" --mirror on >/dev/null
    rsync_flags=--delete reference="rsync -a --delete"
  fi
  mkdir -p "$ours" "$theirs"
  # Incremental, as the timed runs are: the history then holds what the tree's files take.
  "$cli" --data "$work/data" backup "$set" --incremental --quiet
  rsync -a $rsync_flags "$src" "$theirs/"
  : >"$work/a"; : >"$work/b"
  for ((p = 1; p <= pairs; p++)); do
    if ((per_mille > 0)); then "$driver" change "$src" "$per_mille" "$p" >/dev/null; fi
    if ((p % 2)); then
      time_run t stowmere "$src" "$ours" "$set" --incremental; echo "$t" >>"$work/a"
      time_run t rsync "$src" "$theirs" "" "$rsync_flags"; echo "$t" >>"$work/b"
    else
      time_run t rsync "$src" "$theirs" "" "$rsync_flags"; echo "$t" >>"$work/b"
      time_run t stowmere "$src" "$ours" "$set" --incremental; echo "$t" >>"$work/a"
    fi
  done
  record "$label" "$work/a" "$work/b" "$reference" "$target"
}

# A full-copy row against one reference into fresh folders; DELETE=1 removes each pair's
# copies after it (cheap for a few large files, never done for many small ones).
full_row() { # LABEL SOURCE REFERENCE TARGET DELETE [PAIRS [geometric]]
  wanted "$1" || return 0
  local label=$1 src=$2 reference=$3 target=$4 delete=$5 count=${6:-$pairs} mean=${7:-} name t set
  name=$(basename "$src")
  : >"$work/a"; : >"$work/b"
  for ((p = 1; p <= count; p++)); do
    local base=$work/out/$name-full-$p
    set=$(new_set "$src" "$base-stowmere")
    # With DELETE, the first copy of a pair goes before the second command runs (the first
    # pair keeps both for the comparison below): both then write into the room a removal
    # has just freed, instead of the second writing beside the first's 2 GiB.
    if ((p % 2)); then
      time_run t stowmere "$src" "$base-stowmere" "$set"; echo "$t" >>"$work/a"
      if ((delete && p > 1)); then rm -rf "$base-stowmere"; fi
      time_run t "$reference" "$src" "$base-ref"; echo "$t" >>"$work/b"
    else
      time_run t "$reference" "$src" "$base-ref"; echo "$t" >>"$work/b"
      if ((delete && p > 1)); then rm -rf "$base-ref"; fi
      time_run t stowmere "$src" "$base-stowmere" "$set"; echo "$t" >>"$work/a"
    fi
    if ((p == 1)); then
      diff -r --no-dereference -x ".stowmere-*" "$base-stowmere" "$base-ref" >/dev/null ||
        { echo "speed-targets: the copies of $name by stowmere-cli and $reference differ" >&2; exit 1; }
    fi
    if ((delete)); then rm -rf "$base-stowmere" "$base-ref"; fi
  done
  record "$label" "$work/a" "$work/b" "$reference" "$target" "$mean"
}

# A verification row: `stowmere-cli verify SET` against a reference command reading the same
# copies, both warm (each has run once before the pairs).
verify_row() { # LABEL SET REFERENCE_NAME TARGET COMMAND...
  wanted "$1" || return 0
  local label=$1 set=$2 reference=$3 target=$4 start end
  shift 4
  "$cli" --data "$work/data" verify "$set" >/dev/null 2>&1
  "$@" >/dev/null
  : >"$work/a"; : >"$work/b"
  for ((p = 1; p <= pairs; p++)); do
    for side in $((p % 2)) $(((p + 1) % 2)); do
      start=$(now)
      if ((side == 1)); then
        /usr/bin/time -f %M -o "$work/rss" "$cli" --data "$work/data" verify "$set" >/dev/null 2>"$work/verify.err" ||
          { cat "$work/verify.err" >&2; echo "speed-targets: verify failed" >&2; exit 1; }
        end=$(now); awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f\n", (e - s) / 1e9 }' >>"$work/a"
      else
        "$@" >/dev/null
        end=$(now); awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f\n", (e - s) / 1e9 }' >>"$work/b"
      fi
    done
  done
  record "$label" "$work/a" "$work/b" "$reference" "$target"
}

# A restore row: `stowmere-cli restore SET ITEM --at NOW --to FRESH` against `cp -a` of the
# same copies into a fresh folder, each pair into folders of its own.
restore_row() { # LABEL SET ITEM COPY TARGET
  wanted "$1" || return 0
  local label=$1 set=$2 item=$3 copy=$4 target=$5 start end moment
  moment=$(date +%Y-%m-%dT%H:%M:%S)
  : >"$work/a"; : >"$work/b"
  for ((p = 1; p <= pairs; p++)); do
    for side in $((p % 2)) $(((p + 1) % 2)); do
      sync
      start=$(now)
      if ((side == 1)); then
        "$cli" --data "$work/data" restore "$set" "$item" --at "$moment" --to "$work/out/restore-$p-stowmere" \
          2>"$work/restore.err" || { cat "$work/restore.err" >&2; echo "speed-targets: restore failed" >&2; exit 1; }
        end=$(now); awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f\n", (e - s) / 1e9 }' >>"$work/a"
      else
        mkdir -p "$work/out/restore-$p-cp"
        cp -a "$copy" "$work/out/restore-$p-cp/"
        end=$(now); awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f\n", (e - s) / 1e9 }' >>"$work/b"
      fi
    done
    if ((p == 1)); then
      diff -r --no-dereference "$work/out/restore-1-stowmere" "$work/out/restore-1-cp" >/dev/null ||
        { echo "speed-targets: the restored moment and cp -a of its copies differ" >&2; exit 1; }
    fi
  done
  record "$label" "$work/a" "$work/b" "cp -a" "$target"
}

# The window row: the real window (under Xvfb when there is one, else offscreen) backs up
# SOURCE in full; the busy picture's own step timestamps tell how late its frames came.
window_row() { # LABEL SOURCE
  wanted "$1" || return 0
  local label=$1 src=$2 home=$work/window-home out line late
  if [[ ! -x $frames ]]; then
    skip "the window row: $frames is not built"
    return
  fi
  mkdir -p "$home/data" "$home/state" "$home/config"
  "$cli" --data "$home/data" new-set Window "$work/out/window" >/dev/null
  "$cli" --data "$home/data" add-paths Window "$src" >/dev/null
  mkdir -p "$work/out/window"
  sync
  local run=("$frames" "$home/data")
  if command -v xvfb-run >/dev/null; then
    run=(xvfb-run -a -s "-screen 0 1280x1024x24" "${run[@]}")
  else
    export QT_QPA_PLATFORM=offscreen
  fi
  out=$(XDG_STATE_HOME=$home/state XDG_CONFIG_HOME=$home/config "${run[@]}" 2>"$work/window.err") ||
    { cat "$work/window.err" >&2; echo "speed-targets: the window run failed" >&2; exit 1; }
  line=$(grep '^steps ' <<<"$out")
  late=$(awk '{ print $4 }' <<<"$line")
  printf '  %-52s %8s ms late at worst (target 50 ms); %s\n' "$label" "$late" "$line"
  printf '%s\t%s\n' "$label" "$late" >"$work/frames.tsv"
}

# The cold row: three commands per round in rotating order, each after a cache drop; the
# reference of a round is the faster of cp -a and rsync -a.
cold_row() { # LABEL SOURCE TARGET
  wanted "$1" || return 0
  local label=$1 src=$2 target=$3 name t tc tr set
  name=$(basename "$src")
  : >"$work/a"; : >"$work/b"
  for ((p = 1; p <= pairs; p++)); do
    local base=$work/out/$name-cold-$p ts=0
    set=$(new_set "$src" "$base-stowmere")
    case $((p % 3)) in
      1) time_run ts stowmere "$src" "$base-stowmere" "$set" "" cold
         time_run tc cp "$src" "$base-cp" "" "" cold
         time_run tr rsync "$src" "$base-rsync" "" "" cold ;;
      2) time_run tc cp "$src" "$base-cp" "" "" cold
         time_run tr rsync "$src" "$base-rsync" "" "" cold
         time_run ts stowmere "$src" "$base-stowmere" "$set" "" cold ;;
      0) time_run tr rsync "$src" "$base-rsync" "" "" cold
         time_run ts stowmere "$src" "$base-stowmere" "$set" "" cold
         time_run tc cp "$src" "$base-cp" "" "" cold ;;
    esac
    echo "$ts" >>"$work/a"
    awk -v c="$tc" -v r="$tr" 'BEGIN { print (c < r ? c : r) }' >>"$work/b"
  done
  record "$label" "$work/a" "$work/b" "faster" "$target"
}

echo "stowmere-cli against cp -a and rsync -a: $pairs pairs per figure, medians$([[ $quick == 1 ]] && echo ', quick mode')"
echo "work folder: $work"
# stowmere-cli counts a run's copies before it starts unless they surely fit: the free space
# of the destination is above the used space of the source's volume. Trees and copies share
# one disk here, so a disk more than half full makes every run walk its tree twice.
read -r used avail < <(df --output=used,avail "$work" | awk 'NR == 2 { print $1, $2 }')
if ((used >= avail)); then
  echo "note: the disk of $work is more than half full, so every run counts its copies first;"
  echo "      the figures below include that second walk (free some space for the usual case)"
fi

# 20,000 files of 1 to 16 KiB in 2,000 folders.
small_rows=("no-change incremental, $(fmt_count "$small") files"
  "verification, $(fmt_count "$small") files of 1-16 KiB" "restoring a moment of $(fmt_count "$small") files"
  "full copy, $(fmt_count "$small") files of 1-16 KiB, cold")
if ! wanted "${small_rows[@]}"; then
  :
elif fits $((small * 12 / 1024 * (3 * pairs + 4))) $((small * (3 * pairs + 4))); then
  "$driver" gen-small "$work/src/Small" "$small" $((small / 10)) 5 >/dev/null
  also=("${small_rows[1]}" "${small_rows[2]}")
  incremental_row "${small_rows[0]}" "$work/src/Small" 0 0.35
  also=()
  small_copies=$work/out/Small-0-incr-stowmere
  verify_row "verification, $(fmt_count "$small") files of 1-16 KiB" Small-0-incr-stowmere "xxhsum -H2" 1.0 \
    sh -c 'find "$1" -type f ! -name ".stowmere-*" -print0 | xargs -0 xxhsum -H2' sh "$small_copies"
  restore_row "restoring a moment of $(fmt_count "$small") files" Small-0-incr-stowmere "$work/src/Small" \
    "$small_copies/Small" 1.2
  if [[ -w /proc/sys/vm/drop_caches ]]; then
    cold_row "full copy, $(fmt_count "$small") files of 1-16 KiB, cold" "$work/src/Small" 0.85
  else
    skip "the cold full copy: dropping the page cache needs root"
  fi
else
  skip "the $(fmt_count "$small")-file tree: not enough free space or inodes in $work"
fi

# 200,000 files of 64 to 163 bytes in 20,000 folders.
many_rows=("no-change incremental, $(fmt_count "$many") files"
  "no-change incremental with mirror, $(fmt_count "$many") files" "versions --at, $(fmt_count "$many") files"
  "incremental, 1 % of $(fmt_count "$many") files changed" "full copy, $(fmt_count "$many") files of 64-163 bytes"
  "window busy picture, $(fmt_count "$many")-file run")
if ! wanted "${many_rows[@]}"; then
  :
elif fits $((many * 8 / 1024 * (pairs + 6))) $((many * (pairs + 6))); then
  "$driver" gen-small "$work/src/Many" "$many" $((many / 10)) 5 64 163 >/dev/null
  incremental_row "${many_rows[0]}" "$work/src/Many" 0 0.35
  also=("${many_rows[2]}")
  incremental_row "${many_rows[1]}" "$work/src/Many" 0 0.35 "" mirror
  also=()
else
  skip "the $(fmt_count "$many")-file tree: not enough free space or inodes in $work"
fi
if wanted "${many_rows[2]}" && [[ -d $work/src/Many ]]; then
  # The mirrored set's record and versions as the pairs left them, listed at this moment.
  start=$(now)
  /usr/bin/time -f %M -o "$work/rss" "$cli" --data "$work/data" versions Many-0-mirror-incr-stowmere \
    --at "$(date +%Y-%m-%dT%H:%M:%S)" "$work/src/Many" >"$work/moment.txt"
  end=$(now)
  listed=$(wc -l <"$work/moment.txt")
  ((listed > many)) || { echo "speed-targets: versions --at listed $listed entries of $many files" >&2; exit 1; }
  printf '  %-52s %8.3f s  peak %s MiB\n' "versions --at, $(fmt_count "$many") files" \
    "$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", (e - s) / 1e9 }')" \
    "$(awk '{ printf "%.1f", $1 / 1024 }' "$work/rss")"
fi
if wanted "${many_rows[@]:3}" && [[ -d $work/src/Many ]]; then
  incremental_row "incremental, 1 % of $(fmt_count "$many") files changed" "$work/src/Many" 10 0.5
  full_row "full copy, $(fmt_count "$many") files of 64-163 bytes" "$work/src/Many" cp 0.8 0
  window_row "window busy picture, $(fmt_count "$many")-file run" "$work/src/Many"
fi

# A real tree: /usr/share (some 80,000 entries in many small folders, thousands of links),
# copied first so that it holds still. Quick mode takes its doc folder only.
# (Each substitution must succeed: under set -e a failed one in an assignment ends the script.)
share_from=/usr/share
if [[ $quick == 1 ]]; then share_from+=/doc; fi
share_kib=$({ du -sk "$share_from" 2>/dev/null || true; } | awk '{ print $1 + 0 }')
share_files=$({ find "$share_from" 2>/dev/null || true; } | wc -l)
share_rows=("no-change incremental, /usr/share" "no-change incremental, /usr/share, disk over half full"
  "full copy, /usr/share")
if ! wanted "${share_rows[@]}"; then
  :
elif [[ -d $share_from ]] && fits $((share_kib / 1024 * (pairs + 6))) $((share_files * (pairs + 6))); then
  mkdir -p "$work/src/share"
  cp -a "$share_from/." "$work/src/share/" 2>/dev/null || true
  incremental_row "no-change incremental, /usr/share" "$work/src/share" 0 0.5
  # The same on a backup disk more than half full, where the free space no longer covers
  # the used space of the source's disk: only the last run's totals spare a count.
  disk=$work/full-disk
  if [[ $(id -u) -eq 0 ]] && command -v mkfs.ext4 >/dev/null; then
    mkdir -p "$disk"
    truncate -s $((share_kib * 7 / 1024 + 512))M "$work/full-disk.img"
    mkfs.ext4 -q -F "$work/full-disk.img"
    if mount -o loop "$work/full-disk.img" "$disk" 2>/dev/null; then
      fallocate -l $((share_kib * 7 / 2 / 1024))M "$disk/filler"
      incremental_row "no-change incremental, /usr/share, disk over half full" "$work/src/share" 0 0.5 "$disk"
      umount "$disk"
    else
      skip "the half-full disk row: the loop mount failed"
    fi
    rm -f "$work/full-disk.img"
  else
    skip "the half-full disk row: a loop mount needs root"
  fi
  full_row "full copy, /usr/share" "$work/src/share" cp 0.8 0 3
else
  skip "the /usr/share rows: no /usr/share, or not enough free space in $work"
fi

# 4 files of 512 MiB.
if ! wanted "full copy, $big_count x $big_mib MiB" "verification, $big_count x $big_mib MiB, warm"; then
  :
elif fits $((big_count * big_mib * 3)) 100; then
  "$driver" gen-large "$work/src/Large" "$big_count" "$big_mib" >/dev/null
  full_row "full copy, $big_count x $big_mib MiB" "$work/src/Large" cp 1.0 1 $((pairs * 2)) geometric
  set=$(new_set "$work/src/Large" "$work/out/Large-verify")
  "$cli" --data "$work/data" backup "$set" --quiet
  verify_row "verification, $big_count x $big_mib MiB, warm" "$set" "cat" 1.25 \
    sh -c 'cat "$1"/Large/* >/dev/null' sh "$work/out/Large-verify"
  rm -rf "$work/src/Large" "$work/out/Large-verify"
else
  skip "the $big_count x $big_mib MiB tree: not enough free space in $work"
fi

# Peak resident memory of a full copy of 1,000,000 files in 10,000 folders.
if ! wanted "peak memory, $(fmt_count "$rss_files") files" "peak memory verifying $(fmt_count "$rss_files") files"; then
  :
elif fits $((rss_files * 8 / 1024 * 2)) $((rss_files * 2 + rss_folders * 2)); then
  "$driver" gen-small "$work/src/Million" "$rss_files" "$rss_folders" 4 0 0 >/dev/null
  set=$(new_set "$work/src/Million" "$work/out/Million-stowmere")
  time_run t stowmere "$work/src/Million" "$work/out/Million-stowmere" "$set"
  rss_mib=$(awk '{ printf "%.1f", $1 / 1024 }' "$work/rss")
  printf '  %-52s %8s MiB (target 24 MiB), %s s\n' "peak memory, $(fmt_count "$rss_files") files" "$rss_mib" "$t"
  printf '%s\t%s\n' "peak memory, $(fmt_count "$rss_files") files in $(fmt_count "$rss_folders") folders" "$rss_mib" >"$work/memory.tsv"
  /usr/bin/time -f %M -o "$work/rss" "$cli" --data "$work/data" verify "$set" >/dev/null 2>&1 ||
    { echo "speed-targets: verifying the memory tree failed" >&2; exit 1; }
  verify_mib=$(awk '{ printf "%.1f", $1 / 1024 }' "$work/rss")
  printf '  %-52s %8s MiB (target 32 MiB)\n' "peak memory verifying $(fmt_count "$rss_files") files" "$verify_mib"
else
  skip "the $(fmt_count "$rss_files")-file memory tree: not enough free space or inodes in $work"
fi

# The chart: the ratios as bars, each target as a mark, parity as a line.
if [[ -s $results ]]; then
  mkdir -p "$(dirname "$chart")"
  memory_note=""
  [[ -s $work/memory.tsv ]] && memory_note=$(awk -F'\t' '{ printf "%s: %s MiB (target 24 MiB)", $1, $2 }' "$work/memory.tsv")
  frames_note=""
  [[ -s $work/frames.tsv ]] && frames_note=$(awk -F'\t' '{ printf "%s: latest frame %s ms late (target 50 ms)", $1, $2 }' "$work/frames.tsv")
  gnuplot <<EOF
set terminal svg size 960,540 dynamic font "Liberation Sans,13" background "white"
set output "$chart"
set datafile separator "\t"
set title "stowmere-cli against cp -a and rsync -a (lower is faster; medians of $pairs interleaved pairs)"
set label 1 "$memory_note" at graph 0.01, graph 0.95 left
set label 2 "$frames_note" at graph 0.01, graph 0.89 left
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.85 border -1
set boxwidth 0.8
set yrange [0:*]
set grid ytics
set ylabel "time of stowmere-cli / time of the reference"
set xtics rotate by -20 left font ",11"
set key outside top center horizontal
set bmargin 9
plot "$results" using 5:xtic(1) title "stowmere-cli" linecolor rgb "#2e7d32", \
     "" using 0:6 with points pointtype 9 pointsize 2 linecolor rgb "#c62828" title "target", \
     1 with lines dashtype 2 linecolor rgb "#555555" title "parity"
EOF
  echo "chart: $chart"
fi
