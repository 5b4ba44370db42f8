#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The main workflow with the keyboard alone: the real program under Xvfb, driven only by
# key presses (xdotool key and type, no pointer). A set is added through the editor, a set
# is chosen, items are checked and unchecked, Incremental Backup is ticked, a backup runs to
# its end, the help box is answered and the program left with Exit. The copies and the
# tables must then show that every key did its work.
#
# usage: keyboard.sh STOWMERE STOWMERE-CLI DUMP-TABLES
set -euo pipefail

stowmere=$1
cli=$2
dump_tables=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/x11-session.sh"

work=$(mktemp -d /tmp/stowmere-keys.XXXXXX)
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    x11_stop
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "keyboard: $*" >&2
    [ -s "$work/stowmere.log" ] && { echo "--- the program's output:" >&2; tail -n 40 "$work/stowmere.log" >&2; }
    exit 1
}
# focus WINDOW: what a window manager does when a window opens or its dialog closes (Xvfb
# runs none): the window gets the keyboard. The pointer is never used.
focus() {
    xdotool windowfocus --sync "$1" 2>/dev/null || true
    sleep 0.2
}
# tab N [shift]: N presses of Tab (or Shift+Tab).
tab() {
    local i
    for ((i = 0; i < $1; i++)); do key ${2:+shift+}Tab; done
}

# A set made beforehand with a folder and a file; the program's first Tab stop is the set list.
src="$work/home/Photos"
mkdir -p "$src/2026" "$work/home/Notes" "$work/backup" "$work/holiday" "$work/app" "$work/config"
printf 'beach\n' >"$src/2026/beach.txt"
printf 'remember the milk\n' >"$work/home/Notes/todo.txt"
cp "$stowmere" "$work/app/stowmere"
"$cli" new-set "Alpha" "$work/backup" --data "$work/app" >/dev/null || fail "could not make a set"
"$cli" add-paths "Alpha" "$src" "$work/home/Notes/todo.txt" --data "$work/app" >/dev/null ||
    fail "could not add paths"

export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" QT_QPA_PLATFORM=xcb
unset SESSION_MANAGER
export LSAN_OPTIONS="suppressions=$here/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

x11_start 1280 800
"$work/app/stowmere" >"$work/stowmere.log" 2>&1 &
app_pid=$!
main=$(wait_window '^Orvane Office - Stowmere$') || fail "the main window did not open"
sleep 0.3
focus "$main"

# --- A new set through the editor: Add is the seventh stop; Return saves ----------------
tab 6                                            # pathList, 4 commands, Add
key space
editor=$(wait_window '^New Backup$') || fail "Space on Add did not open the editor"
focus "$editor"
xdotool type --delay 15 "Holiday"
key Tab
xdotool type --delay 15 "$work/holiday"
key Return
wait_gone '^New Backup$' 10 || fail "Return did not save and close the editor"
focus "$main"

# --- An edit that Escape cancels --------------------------------------------------------
tab 6 shift                                      # back to the set list
key Home Return                                  # Return on a set edits it
editor=$(wait_window '^Edit Backup$' 10) || fail "Return on the set list did not open the editor"
focus "$editor"
key End
xdotool type --delay 15 " changed"
key Escape Escape                                # the typing back, then Cancel
wait_gone '^Edit Backup$' 10 || fail "Escape did not cancel the editor"
focus "$main"

# --- Choose Alpha, check both items, one unchecked and checked again --------------------
key Home                                         # Alpha: its paths are shown
key Tab Home space Down space space space        # item 0 checked; item 1 checked, un-, re-
# --- Incremental Backup by Space, then Backup by Return -----------------------------------
tab 9                                            # 4 commands, Add, Delete, Tools, Select All, Incremental
key space
tab 5 shift                                      # back to Backup
key Return
# The run is tiny: its copies may be there before the progress window is seen.
wait_window '^Progress( - .* left)?$' 10 >/dev/null || [ -e "$work/backup/todo.txt" ] ||
    fail "Return on Backup did not start the run"
wait_gone '^Progress( - .* left)?$' 60 || fail "the run did not end"
for _ in $(seq 1 50); do [ -e "$work/backup/todo.txt" ] && break; sleep 0.1; done
sleep 0.5

# --- The help box, answered with Return ---------------------------------------------------
focus "$main"
tab 6                                            # Add, Delete, Tools, Select All, Incremental, help
key space
help=$(wait_window '^Information$' 10) || fail "Space on the help button did not open the help box"
focus "$help"
key Return
wait_gone '^Information$' 5 || fail "Return did not answer the help box"

# --- Exit, the last stop ----------------------------------------------------------------
focus "$main"
key Tab space
for _ in $(seq 1 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app_pid" 2>/dev/null; then fail "Space on Exit did not end the program"; fi
wait "$app_pid" || fail "the program exited with status $?"
app_pid=

# --- What the keys left behind ------------------------------------------------------------
cmp -s "$src/2026/beach.txt" "$work/backup/Photos/2026/beach.txt" || fail "the checked folder was not backed up"
cmp -s "$work/home/Notes/todo.txt" "$work/backup/todo.txt" || fail "the checked file was not backed up"
tables=$("$dump_tables" "$work/app") || fail "the tables could not be read back"
grep -qxF "2|Holiday|$work/holiday" <<<"$tables" || fail "the set added with the keyboard is missing: $tables"
grep -qF "changed" <<<"$tables" && fail "the cancelled edit was saved: $tables"
grep -q '"mode": *"incremental"' "$work/state/stowmere/history.jsonl" ||
    fail "the run was not incremental: $(cat "$work/state/stowmere/history.jsonl" 2>/dev/null)"
echo "keyboard: passed"
