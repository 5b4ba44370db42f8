#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
#
# `stowmere-cli backup` to a folder on a server (sftp://) against `rsync -a -e ssh` to the
# same sshd, with the same cipher, on trees made from fixed seeds:
#
#   full copy, 20,000 small files                     target 1.0 x rsync
#   no-change incremental, 20,000 files               target 1.0 x rsync
#   full copy, 2 x 256 MiB                            target 1.2 x rsync
#   full copy, 2,000 small files, 20 ms each way      target 1.0 x rsync
#   peak resident memory of a full copy of 200,000 files (stated, not compared)
#
# The sshd is started here on 127.0.0.1 with keys of its own; the latency comes from a
# small delaying TCP proxy (this kernel has no netem). Figures are medians of the ratios of
# interleaved pairs; every full copy goes to a fresh folder, deleted only at the end.
#
# Usage: bench/cli/sftp-bench.sh BUILD_FOLDER
# Environment:
#   STOWMERE_BENCH_QUICK=1   a tenth of the files, 32 MiB files, 3 pairs
#   STOWMERE_BENCH_PAIRS=N   pairs per figure (default 7)
#   STOWMERE_BENCH_DIR=DIR   where trees and copies go (default BUILD/bench-sftp)
#   STOWMERE_BENCH_ONLY=RE   only the rows whose label matches the extended regular
#                            expression RE (trees no chosen row needs are not made)
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
cli=$build/bin/stowmere-cli
[[ -x $cli ]] || { echo "sftp-bench: $cli is not built" >&2; exit 1; }
for tool in rsync ssh ssh-keygen python3 /usr/sbin/sshd; do
  command -v $tool >/dev/null || { echo "sftp-bench: $tool is missing (scripts/install-deps)" >&2; exit 1; }
done

quick=${STOWMERE_BENCH_QUICK:-0}
if [[ $quick == 1 ]]; then
  pairs=${STOWMERE_BENCH_PAIRS:-3} small=2000 slow=200 big_mib=32 rss_files=20000
else
  pairs=${STOWMERE_BENCH_PAIRS:-7} small=20000 slow=2000 big_mib=256 rss_files=200000
fi
cipher=aes128-gcm@openssh.com
small_label="full copy, $small small files"
incremental_label="no-change incremental, $small files"
big_label="full copy, 2 x $big_mib MiB"
slow_label="full copy, $slow small files, 20 ms each way"
rss_label="peak memory, full copy of $rss_files files"
only=${STOWMERE_BENCH_ONLY:-}
wanted() { # label...: whether any of them is a row STOWMERE_BENCH_ONLY chooses
  [[ -z $only ]] && return 0
  local label
  for label in "$@"; do grep -qE -- "$only" <<<"$label" && return 0; done
  return 1
}
work=${STOWMERE_BENCH_DIR:-$build/bench-sftp}
rm -rf "$work"
mkdir -p "$work"/{home/.ssh,data,out}
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

ssh-keygen -q -t ed25519 -N '' -f "$work/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$work/home/.ssh/id_ed25519"
cp "$work/home/.ssh/id_ed25519.pub" "$work/authorized_keys"
port=$(free_port)
[[ $(id -u) == 0 ]] && mkdir -p /run/sshd
/usr/sbin/sshd -D -e -f /dev/null -p "$port" -o ListenAddress=127.0.0.1 -o HostKey="$work/host_key" \
  -o AuthorizedKeysFile="$work/authorized_keys" -o StrictModes=no -o PidFile=none -o UsePAM=no \
  -o "Subsystem=sftp internal-sftp" -o MaxStartups=100 -o LogLevel=ERROR 2>"$work/sshd.log" &
pids+=($!)

# The delaying proxy: every piece of data goes on 20 ms after it arrived, in order.
proxy_port=$(free_port)
python3 - "$proxy_port" "$port" <<'PY' &
import asyncio, sys
listen, target = int(sys.argv[1]), int(sys.argv[2])
DELAY = 0.020
async def pipe(reader, writer):
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()
    async def send():
        while True:
            due, data = await queue.get()
            if data is None:
                writer.close(); return
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            writer.write(data); await writer.drain()
    sender = asyncio.create_task(send())
    while True:
        data = await reader.read(65536)
        await queue.put((loop.time() + DELAY, data or None))
        if not data:
            break
    await sender
async def serve(client_reader, client_writer):
    server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target)
    await asyncio.gather(pipe(client_reader, server_writer), pipe(server_reader, client_writer),
                         return_exceptions=True)
async def main():
    server = await asyncio.start_server(serve, "127.0.0.1", listen)
    async with server:
        await server.serve_forever()
asyncio.run(main())
PY
pids+=($!)
for _ in $(seq 100); do
  python3 -c "import socket,sys; socket.create_connection(('127.0.0.1',$port),1); socket.create_connection(('127.0.0.1',$proxy_port),1)" 2>/dev/null && break
  sleep 0.1
done
{
  echo "[127.0.0.1]:$port $(cut -d' ' -f1,2 "$work/host_key.pub")"
  echo "[127.0.0.1]:$proxy_port $(cut -d' ' -f1,2 "$work/host_key.pub")"
} >"$work/home/.ssh/known_hosts"

export HOME=$work/home SSH_AUTH_SOCK= STOWMERE_SSH_CIPHERS=$cipher XDG_STATE_HOME=$work/state
user=$(id -un)
rsh() { echo "ssh -p $1 -c $cipher -o UserKnownHostsFile=$work/home/.ssh/known_hosts -o BatchMode=yes -i $work/home/.ssh/id_ed25519"; }

# Trees from fixed seeds: small files of 1 to 16 KiB in folders of 100.
make_tree() { # folder count
  python3 - "$1" "$2" <<'PY'
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(count)
for i in range(count):
    folder = os.path.join(root, "d%04d" % (i // 100))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%06d" % i), "wb") as f:
        f.write(rng.randbytes(rng.randint(1024, 16384)))
PY
}
if wanted "$small_label" "$incremental_label"; then make_tree "$work/small" "$small"; fi
if wanted "$slow_label"; then make_tree "$work/slow" "$slow"; fi
if wanted "$big_label"; then
  mkdir -p "$work/big"
  for i in 1 2; do head -c $((big_mib << 20)) /dev/urandom >"$work/big/file$i"; done
fi

run=0
now() { date +%s.%N; }
timed() { local start; start=$(now); "$@" >/dev/null 2>&1 || { echo "sftp-bench: failed: $*" >&2; exit 1; }; awk -v a="$(now)" -v b="$start" 'BEGIN { print a - b }'; }
stowmere() { # tree port incremental? -> seconds; a fresh folder unless incremental
  local tree=$1 p=$2 dest=$3 mode=$4
  rm -f "$work"/data/*.cds
  "$cli" --data "$work/data" new-set B "sftp://$user@127.0.0.1:$p$dest" >/dev/null
  "$cli" --data "$work/data" add-paths B "$tree" >/dev/null
  "$cli" --data "$work/data" options B --guard off >/dev/null
  if [[ $mode == incremental ]]; then
    timed "$cli" --data "$work/data" backup B --incremental --quiet
  else
    timed "$cli" --data "$work/data" backup B --quiet
  fi
}
rsync_to() { # tree port dest -> seconds
  timed rsync -a -e "$(rsh "$2")" "$1" "$user@127.0.0.1:$3/"
}
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

row() { # name tree port target incremental?
  local name=$1 tree=$2 p=$3 target=$4 mode=$5 ratios=() ours theirs
  local ours_dest=$work/out/ours-inc theirs_dest=$work/out/theirs-inc
  if [[ $mode == incremental ]]; then
    mkdir -p "$ours_dest" "$theirs_dest"
    stowmere "$tree" "$p" "$ours_dest" full >/dev/null
    rsync_to "$tree" "$p" "$theirs_dest" >/dev/null
  fi
  for pair in $(seq "$pairs"); do
    run=$((run + 1))
    if [[ $mode != incremental ]]; then
      ours_dest=$work/out/ours-$run theirs_dest=$work/out/theirs-$run
      mkdir -p "$ours_dest" "$theirs_dest"
    fi
    if ((pair % 2)); then
      ours=$(stowmere "$tree" "$p" "$ours_dest" "$mode"); theirs=$(rsync_to "$tree" "$p" "$theirs_dest")
    else
      theirs=$(rsync_to "$tree" "$p" "$theirs_dest"); ours=$(stowmere "$tree" "$p" "$ours_dest" "$mode")
    fi
    ratios+=("$(awk -v a="$ours" -v b="$theirs" 'BEGIN { print a / b }')")
    printf '  %-40s pair %d: stowmere %.2f s, rsync %.2f s\n' "$name" "$pair" "$ours" "$theirs" >&2
  done
  printf '%-44s %6.2f x rsync   (target %s)\n' "$name" "$(printf '%s\n' "${ratios[@]}" | median)" "$target"
}

echo "sftp-bench: $pairs pairs per row, cipher $cipher"
if wanted "$small_label"; then row "$small_label" "$work/small" "$port" 1.0 full; fi
if wanted "$incremental_label"; then row "$incremental_label" "$work/small" "$port" 1.0 incremental; fi
if wanted "$big_label"; then row "$big_label" "$work/big" "$port" 1.2 full; fi
if wanted "$slow_label"; then row "$slow_label" "$work/slow" "$proxy_port" 1.0 full; fi

wanted "$rss_label" || exit 0
make_tree "$work/many" "$rss_files"
mkdir -p "$work/out/rss"
rm -f "$work"/data/*.cds
"$cli" --data "$work/data" new-set B "sftp://$user@127.0.0.1:$port$work/out/rss" >/dev/null
"$cli" --data "$work/data" add-paths B "$work/many" >/dev/null
/usr/bin/time -o "$work/peak" -f '%M' "$cli" --data "$work/data" backup B --quiet >/dev/null 2>&1
peak=$(tail -1 "$work/peak")
printf '%-44s %6.1f MiB\n' "$rss_label" "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')"
