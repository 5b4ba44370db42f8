#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The program end to end: the built stowmere is copied into a fresh folder, started under
# Xvfb and driven with real input events: a backup set is made, a folder and a file are
# added through the real dialogs, checked, previewed from the context menu and backed up;
# the set's options are changed, a file is restored, and the program is closed. Then
# the destination must equal the source (contents and modification times) and the saved
# tables must hold the expected rows.
#
# usage: end-to-end.sh STOWMERE DUMP-TABLES [GRAB]
# With SHOTS=folder and GRAB, a screenshot of the screen is saved after every step.
set -euo pipefail

stowmere=$1
dump_tables=$2
grab=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/x11-session.sh"

work=$(mktemp -d /tmp/stowmere-e2e.XXXXXX)
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    x11_stop
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "end-to-end: $*" >&2
    if [ -s "$work/stowmere.log" ]; then
        echo "--- the program's output:" >&2
        tail -n 60 "$work/stowmere.log" >&2
    fi
    exit 1
}
step=0
shot() {
    step=$((step + 1))
    if [ -n "${SHOTS:-}" ] && [ -n "$grab" ]; then
        "$grab" "$SHOTS/$(printf '%02d' $step)-$1.png" >/dev/null 2>&1 || true
    fi
}

# --- The source tree, with fixed modification times -------------------------------------
src="$work/home/Photos"
mkdir -p "$src/2026/Summer" "$src/2026/Winter" "$src/empty" "$src/.hidden" "$work/home/Notes" "$work/backup"
printf 'beach\n' >"$src/2026/Summer/beach.txt"
head -c 300000 /dev/urandom >"$src/2026/Summer/sunset.raw"
printf 'snow\n' >"$src/2026/Winter/snow.txt"
printf 'secret\n' >"$src/.hidden/keep.txt"
printf 'index\n' >"$src/index.txt"
printf 'remember the milk\n' >"$work/home/Notes/todo.txt"
touch -d '2025-06-01 10:20:30' "$src/2026/Summer/beach.txt"
touch -d '2024-12-24 18:00:02' "$src/2026/Winter/snow.txt"
touch -d '2023-01-02 03:04:06' "$work/home/Notes/todo.txt"

mkdir -p "$work/app" "$work/config"
cp "$stowmere" "$work/app/stowmere"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" QT_QPA_PLATFORM=xcb
unset SESSION_MANAGER
# Only read by sanitizer builds.
export LSAN_OPTIONS="suppressions=$here/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

x11_start 1280 800
"$work/app/stowmere" >"$work/stowmere.log" 2>&1 &
app_pid=$!
main=$(wait_window '^Orvane Office - Stowmere$') || fail "the main window did not open"
sleep 0.5
shot started

# --- The help box: a real message box, closed with the keyboard --------------------------
click "$main" 817 577                            # .?.
help=$(wait_window '^Information$') || fail "the help box did not open"
shot help
xdotool windowfocus --sync "$help" 2>/dev/null || true
key Return
wait_gone '^Information$' 5 || fail "the help box did not close"

# --- A new backup set -------------------------------------------------------------------
click "$main" 45 577                             # Add
editor=$(wait_window '^New Backup$') || fail "the editor did not open"
type_into "$editor" "Holiday photos"
click "$editor" 300 113                          # Backup To Folder
type_into "$editor" "$work/backup"
shot editor
click "$editor" 56 171                           # Save
wait_gone '^New Backup$' || fail "the editor did not close"
shot set-created

# --- A folder and a file through the real dialogs ---------------------------------------
choose_in_dialog() { # TITLE PATH: types a path into Qt's file dialog and accepts it
    local dialog
    dialog=$(wait_window "$1") || fail "no '$1' dialog"
    sleep 0.3
    type_into "$dialog" "$2"
    sleep 0.3
    shot "dialog"
    key Return
    if ! wait_gone "$1" 3; then
        key Return
        wait_gone "$1" 5 || fail "the '$1' dialog did not accept $2"
    fi
}
click "$main" 917 106                            # Add Folder
choose_in_dialog '^Find Directory$' "$src"
shot folder-added
click "$main" 917 218                            # Add Files
choose_in_dialog '^Open$' "$work/home/Notes/todo.txt"
shot file-added

# --- Check both items and back them up --------------------------------------------------
click "$main" 246 60                             # check strip of item 0
click "$main" 246 81                             # check strip of item 1
shot checked

# --- A preview from the set list's context menu, read back through the clipboard ---------
xdotool mousemove --sync --window "$main" 100 60 # set 0
sleep 0.15
xdotool click 3
sleep 0.4
shot context-menu
key Down Return                                  # Preview Backup...
preview=$(wait_window '^Preview Backup$') || fail "the preview did not open"
click "$preview" 300 120                         # into the list
report=
for _ in $(seq 1 50); do
    key ctrl+a ctrl+c
    report=$(xclip -o -selection clipboard 2>/dev/null || true)
    case "$report" in *"A backup would copy"*) break ;; esac
    sleep 0.2
done
shot preview
case "$report" in *"A backup would copy 6 files ("*) ;; *) fail "no totals in the preview: $report" ;; esac
printf '%s\n' "$report" | grep -qxF "$src/2026/Summer/beach.txt	6 Bytes	new" ||
    fail "the preview does not list beach.txt: $report"
printf '%s\n' "$report" | grep -qxF "$work/home/Notes/todo.txt	18 Bytes	new" ||
    fail "the preview does not list todo.txt: $report"
key Escape
wait_gone '^Preview Backup$' 10 || fail "the preview did not close"
[ -z "$(ls -A "$work/backup")" ] || fail "the preview wrote into the destination: $(ls -A "$work/backup")"

click "$main" 917 450                            # Backup
# Six small files may be copied between two looks for the window, on a loaded machine
# most of all: the copies then show that the run started.
wait_window '^Progress( - .* left)?$' 10 >/dev/null || [ -e "$work/backup/todo.txt" ] ||
    fail "the progress window did not show"
shot running
wait_gone '^Progress( - .* left)?$' 60 || fail "the run did not end"
shot done

# --- The set's options from the set list's context menu ---------------------------------
xdotool mousemove --sync --window "$main" 100 60 # set 0
sleep 0.15
xdotool click 3
sleep 0.4
key Up Return                                    # Backup Options... (the last entry)
options=$(wait_window '^Backup Options$') || fail "the options dialog did not open"
sleep 0.3
type_into "$options" '*.tmp'                     # the patterns have the focus
key Tab Return                                   # to the versions field; Return saves
wait_gone '^Backup Options$' 10 || fail "the options dialog did not close"
shot options-saved

# --- Restore the highlighted file into another folder -----------------------------------
mkdir -p "$work/restored"
xdotool mousemove --sync --window "$main" 400 60 # item 0: todo.txt (the list is sorted)
sleep 0.15
xdotool click 3
sleep 0.4
key Up Return                                    # Restore... (the last entry)
restore=$(wait_window '^Restore$') || fail "the restore dialog did not open"
sleep 0.3
shot restore-dialog
key alt+f Tab                                    # "Into this folder:", then its field
type_into "$restore" "$work/restored"
key Return                                       # Restore: the highlighted item is chosen
wait_gone '^Restore$' 5 || fail "the restore dialog did not close"
wait_window '^Information$' 30 >/dev/null || fail "the restore did not report"
shot restored
key Return
wait_gone '^Information$' 5 || fail "the restore's box did not close"
cmp -s "$work/home/Notes/todo.txt" "$work/restored/todo.txt" || fail "the file was not restored"
[ "$(stat -c %Y "$work/home/Notes/todo.txt")" = "$(stat -c %Y "$work/restored/todo.txt")" ] ||
    fail "the restored file's modification time differs"

click "$main" 961 577                            # Exit
for _ in $(seq 1 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app_pid" 2>/dev/null; then fail "the program did not exit"; fi
wait "$app_pid" || fail "the program exited with status $?"
app_pid=

# --- What the run and the exit left -----------------------------------------------------
listing() { (cd "$1" && find . -type f -printf '%P %s %T@\n' | sort); }
[ "$(listing "$src")" = "$(listing "$work/backup/Photos")" ] ||
    fail "the copied folder differs: $(diff <(listing "$src") <(listing "$work/backup/Photos") || true)"
diff -r "$src" "$work/backup/Photos" >/dev/null || fail "contents differ"
[ -d "$work/backup/Photos/empty" ] || fail "the empty folder was not re-created"
cmp -s "$work/home/Notes/todo.txt" "$work/backup/todo.txt" || fail "the file was not copied"
[ "$(stat -c %Y "$work/home/Notes/todo.txt")" = "$(stat -c %Y "$work/backup/todo.txt")" ] ||
    fail "the file's modification time differs"

expected="[Category]
1|Holiday photos|$work/backup
[Path]
2|1|$work/home/Notes/todo.txt
1|1|$src"
actual=$("$dump_tables" "$work/app") || fail "the tables could not be read back"
[ "$actual" = "$expected" ] || fail "unexpected table rows:
$actual
expected:
$expected"
[ -f "$work/config/stowmere.INI" ] || fail "the window placement was not saved"
grep -qaF '*.tmp' "$work/app/Options.cds" || fail "the set's options were not saved"

# --- A logout (SIGTERM) writes the work done in the window, as Exit does ----------------
"$work/app/stowmere" >>"$work/stowmere.log" 2>&1 &
app_pid=$!
main=$(wait_window '^Orvane Office - Stowmere$') || fail "the main window did not open again"
sleep 0.5
click "$main" 45 577                             # Add
editor=$(wait_window '^New Backup$') || fail "the editor did not open again"
type_into "$editor" "Saved before logout"
click "$editor" 300 113                          # Backup To Folder
type_into "$editor" "$work/backup"
click "$editor" 56 171                           # Save
wait_gone '^New Backup$' || fail "the editor did not close"
kill -TERM "$app_pid"
for _ in $(seq 1 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app_pid" 2>/dev/null; then fail "the program did not end on SIGTERM"; fi
wait "$app_pid" || fail "the program ended on SIGTERM with status $?"
app_pid=
"$dump_tables" "$work/app" | grep -qF "|Saved before logout|$work/backup" ||
    fail "the set saved in the editor was lost at SIGTERM: $("$dump_tables" "$work/app")"
echo "end-to-end: passed"
