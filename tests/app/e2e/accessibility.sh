#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The main window as a screen reader reads it: the real program under Xvfb with a private
# session bus and accessibility bus, its window read through AT-SPI. Every control must have
# a role and a name, in English and, when the German translation is built, in German; a
# check box is toggled through its AT-SPI action.
#
# usage: accessibility.sh STOWMERE STOWMERE-CLI
# Exits 77 (skipped) when the machine lacks Xvfb, the buses or python3-pyatspi.
set -euo pipefail

stowmere=$1
cli=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/x11-session.sh"
. "$here/accessibility-bus.sh"

command -v Xvfb >/dev/null 2>&1 || { echo "skipped: no Xvfb"; exit 77; }
missing=$(a11y_missing)
[ -z "$missing" ] || { echo "skipped: this machine lacks $missing (scripts/install-deps installs them)"; exit 77; }

work=$(mktemp -d /tmp/stowmere-a11y.XXXXXX)
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    a11y_stop
    x11_stop
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "accessibility: $*" >&2
    [ -s "$work/stowmere.log" ] && { echo "--- the program's output:" >&2; tail -n 40 "$work/stowmere.log" >&2; }
    exit 1
}

# One set with a file and a folder, so both lists have items to name.
mkdir -p "$work/app" "$work/config" "$work/backup" "$work/home/Photos"
printf 'milk\n' >"$work/home/todo.txt"
cp "$stowmere" "$work/app/stowmere"
# The program finds its translations in share/ beside the folder of its executable.
[ -d "$(dirname "$stowmere")/../share" ] && cp -r "$(dirname "$stowmere")/../share" "$work/share"
"$cli" new-set "Holiday photos" "$work/backup" --data "$work/app" >/dev/null || fail "could not make a set"
"$cli" add-paths "Holiday photos" "$work/home/Photos" "$work/home/todo.txt" --data "$work/app" >/dev/null ||
    fail "could not add paths"

export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" QT_QPA_PLATFORM=xcb
unset SESSION_MANAGER
export LSAN_OPTIONS="suppressions=$here/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

x11_start 1280 800
a11y_start || fail "the session bus did not start"

# read_window LANGUAGE-VARIABLES... -- CHECKS...: starts the program in that language and
# reads its main window.
read_window() {
    local env=()
    while [ "$1" != "--" ]; do env+=("$1"); shift; done
    shift
    env "${env[@]}" "$work/app/stowmere" >"$work/stowmere.log" 2>&1 &
    app_pid=$!
    wait_window 'Stowmere' 30 >/dev/null || fail "the main window did not open (${env[*]})"
    /usr/bin/python3 "$here/accessible-tree.py" "$app_pid" 'Stowmere' "$@" ||
        fail "the window's accessible tree is incomplete (${env[*]})"
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=
}

read_window LANGUAGE=en LC_ALL=C.UTF-8 -- \
    --expect "push button=Backup" --expect "push button=Add Folder" --expect "push button=Add Files" \
    --expect "push button=Exit" --expect "check box=Select All" --expect "check box=Incremental Backup" \
    --expect "list=Backup Name" --expect "list item=Holiday photos" --expect "list item=$work/home/todo.txt" \
    --toggle "Incremental Backup"

# German, once its translation is built beside the program's others.
german=$(find "$(dirname "$stowmere")/.." -name '*de*.qm' -print -quit 2>/dev/null || true)
if [ -n "$german" ] && locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    read_window LANGUAGE=de LC_ALL=de_DE.UTF-8 -- --absent "push button=Exit" --absent "check box=Select All"
else
    echo "accessibility: the German window is not read: no German translation or de_DE.UTF-8 locale"
fi
echo "accessibility: passed"
