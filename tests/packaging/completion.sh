#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The generated bash completion of stowmere-cli, driven as bash drives it: COMP_WORDS and
# COMP_CWORD set for a command line, the completion function called, COMPREPLY compared.
#
# usage: completion.sh STOWMERE-CLI COMPLETION-FILE
set -uo pipefail

cli=$(realpath "$1")
# shellcheck source=/dev/null
source "$2" || { echo "FAIL: the completion file does not load" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/stowmere-completion.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/data" "$work/files/Documents" "$work/files/Docs and more"
touch "$work/files/notes.txt"
"$cli" --data "$work/data" new-set Documents /media/usb >/dev/null
"$cli" --data "$work/data" new-set "My Pictures" /media/usb >/dev/null

failures=0
# expect "WANTED REPLIES" WORD... : the last word is the one being completed.
expect() {
    local wanted=$1
    shift
    COMP_WORDS=("$cli" "$@")
    COMP_CWORD=$(($# ))
    COMPREPLY=()
    _stowmere_cli
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' '|')
    if [ "$got" != "$wanted" ]; then
        echo "FAIL: stowmere-cli $* -> '$got', wanted '$wanted'" >&2
        failures=$((failures + 1))
    fi
}

cd "$work/files" || exit 1
expect "backup|" ba
expect "schedule|" sch
expect "dump|" du
expect "history|" hi
expect "--data|--help|--json|" history Documents --
expect "Documents|My\\ Pictures|" --data "$work/data" history ""
expect "--daily|--data|--help|--incremental|--verify|" schedule Documents --
expect "--accept-new-drive|--allow-mass-removal|--data|--dry-run|--force|--help|--incremental|--json|--notify|--only|--quiet|--verbose|" backup Documents --
# A value from the help's own list.
expect "always|failures|never|" backup Documents --notify ""
expect "failures|" backup Documents --notify f
expect "--cachedir-tag|--data|--exclude|--guard|--help|--keep-daily|--keep-days|--keep-monthly|--keep-versions|--keep-weekly|--mirror|--no-exclude|" options Documents --
expect "--at|--data|--help|--overwrite|--to|" restore Documents --
expect "--at|--data|--help|" versions Documents --
expect "restore|" rest
expect "Docs and more|Documents|" restore Documents notes.txt --to Do
expect "--data|--help|--version|-h|" -
# Sets come from the data folder named on the command line, quoted for the shell.
expect "Documents|My\\ Pictures|" --data "$work/data" backup ""
expect "My\\ Pictures|" backup --data "$work/data" M
# Inside an opened quote the reply is the text as that quote reads it (readline replaces
# what follows the quote); a backslash there would become part of the name.
expect "My Pictures|" --data "$work/data" backup '"My'
expect "My Pictures|" --data "$work/data" backup "'My"
expect "1|" --data "$work/data" unschedule 1
# Arguments by their kind: folders for DEST and --data, files for PATH and FILE.
expect "Docs and more|Documents|" new-set Name Do
expect "Docs and more|Documents|" --data Do
expect "notes.txt|" --data "$work/data" add-paths Documents no
expect "notes.txt|" --data "$work/data" add-paths Documents Documents no
expect "notes.txt|" dump no
expect "notes.txt|" backup Documents --only Documents no
expect "notes.txt|" --data "$work/data" restore Documents no
expect "notes.txt|" --data "$work/data" versions Documents no
# The value of --daily is a time: nothing to offer; nor after a command's last argument.
expect "|" schedule Documents --daily ""
# --verify takes one of its two words.
expect "monthly|weekly|" schedule Documents --verify ""
expect "|" delete-set Documents ""
expect "backup|" help ba

if [ "$failures" -ne 0 ]; then
    echo "$failures completion(s) wrong" >&2
    exit 1
fi
echo "completion checked"
