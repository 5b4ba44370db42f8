#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a scratch DESTDIR and checks what a distribution would ship: the
# files in their places, the desktop entry and AppStream metadata through their validators,
# the manual pages through man, and that an installed program keeps its data in the XDG
# folder even when root runs it.
#
# usage: install-tree.sh BUILD-FOLDER PREFIX INSTALLED-BIN-FOLDER [SOURCE-FOLDER]
# (SOURCE-FOLDER defaults to the tree this script belongs to)
set -euo pipefail

build=$1 prefix=$2 bindir=$3 source=${4:-$(cd "$(dirname "$0")/../.." && pwd)}
id=io.github.stowmere.Stowmere
work=$(mktemp -d "${TMPDIR:-/tmp}/stowmere-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
skip() { echo "skipped: $*"; }

DESTDIR="$work/root" cmake --install "$build" >"$work/install.log" || { cat "$work/install.log"; exit 1; }
root="$work/root$prefix"

for file in "bin/stowmere" "bin/stowmere-cli"; do
    [ -x "$root/$file" ] || fail "$file is not installed as an executable"
done
for file in "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml" \
    "share/icons/hicolor/scalable/apps/$id.svg" "share/man/man1/stowmere.1" "share/man/man1/stowmere-cli.1" \
    "share/bash-completion/completions/stowmere-cli"; do
    [ -s "$root/$file" ] || fail "$file is missing or empty"
done
for size in 16 24 32 48 64 128 256; do
    png="$root/share/icons/hicolor/${size}x${size}/apps/$id.png"
    # Width and height sit at bytes 16 to 23 of a PNG, big-endian.
    dimensions=$(od -An -tu1 -j16 -N8 "$png" 2>/dev/null | awk '{ print $3 * 256 + $4 "x" $7 * 256 + $8 }')
    [ "$dimensions" = "${size}x${size}" ] || fail "icon $png is '$dimensions', not ${size}x${size}"
done

# The identity is one that can exist: a reverse-DNS id of the project's home, the same in
# the desktop entry, the metadata and the icon; screenshots that are files of the
# repository; and only the program this package ships under <provides>.
metainfo="$root/share/metainfo/$id.metainfo.xml"
case $id in io.github.*) ;; *) fail "the app id $id is not of the project's home" ;; esac
if grep -rqs 'example\.\(org\|com\)\|org\.example' "$root/share/applications" "$root/share/metainfo"; then
    fail "a placeholder address is left in the desktop entry or the metadata"
fi
grep -q "^Icon=$id\$" "$root/share/applications/$id.desktop" || fail "the desktop entry's icon is not $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "the launchable is not $id.desktop"
[ "$(grep -c '<binary>' "$metainfo")" -eq 1 ] && grep -q '<binary>stowmere</binary>' "$metainfo" ||
    fail "<provides> names another package's program"
repository=https://raw.githubusercontent.com/stowmere/stowmere/main/
shots=$(grep -o '<image>[^<]*</image>' "$metainfo" | sed 's|</*image>||g')
[ -n "$shots" ] || fail "the metadata shows no screenshot"
for shot in $shots; do
    case $shot in "$repository"*) [ -f "$source/${shot#"$repository"}" ] || fail "screenshot $shot is no file of the repository" ;;
    *) fail "screenshot $shot is not in the repository" ;; esac
done

# The translations of the command line and the lower layers.
for language in de fr; do
    [ -f "$root/share/locale/$language/LC_MESSAGES/stowmere.mo" ] || fail "no $language translation installed"
    [ -f "$root/share/man/$language/man1/stowmere-cli.1" ] || fail "no $language manual page of stowmere-cli"
done
grep -q '^\.SH BEFEHLE$' "$root/share/man/de/man1/stowmere-cli.1" || fail "the German manual page has no commands"
# The desktop entry and the metadata speak German and French too.
grep -q '^GenericName\[de\]=Sicherungsprogramm$' "$root/share/applications/$id.desktop" ||
    fail "the desktop entry has no German GenericName"
grep -q '^Comment\[fr\]=' "$root/share/applications/$id.desktop" || fail "the desktop entry has no French Comment"
grep -q '<summary xml:lang="de">' "$metainfo" && grep -q '<p xml:lang="fr">' "$metainfo" ||
    fail "the metadata has no German summary or French description"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root/share/applications/$id.desktop" || fail "desktop-file-validate"
else
    skip "desktop-file-validate is not installed"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$root/share/metainfo/$id.metainfo.xml" >"$work/appstream.log" 2>&1 ||
        { cat "$work/appstream.log"; fail "appstreamcli validate"; }
else
    skip "appstreamcli is not installed"
fi

# Every command of the program has its section in the manual page, which man reads cleanly.
page="$root/share/man/man1/stowmere-cli.1"
for command in $("$root/bin/stowmere-cli" --help | awk '/^Commands:/ { i = 1; next } i && /^$/ { exit } i && /^  [a-z]/ { print $1 }'); do
    grep -q "^\.SS \"$command\"" "$page" || fail "stowmere-cli.1 has no section for $command"
done
if command -v man >/dev/null; then
    for page in "$root/share/man/man1/stowmere.1" "$root/share/man/man1/stowmere-cli.1" \
        "$root/share/man/de/man1/stowmere-cli.1" "$root/share/man/fr/man1/stowmere-cli.1"; do
        warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)
        [ -z "$warnings" ] || fail "man warns about $page: $warnings"
    done
fi

# The data location: run the installed stowmere-cli from the folder it was configured for.
# A private mount namespace lays the DESTDIR's bin folder over the real one for this one
# command, so nothing on the system changes.
home="$work/home"
mkdir -p "$home"
if [ "$(id -u)" -eq 0 ] && unshare --mount true 2>/dev/null; then
    mkdir -p "$bindir" 2>/dev/null || true
    HOME="$home" XDG_DATA_HOME="$home/data" unshare --mount sh -c \
        'mount --bind "$1" "$2" && "$2/stowmere-cli" new-set Documents /media/usb >/dev/null' \
        sh "$root/bin" "$bindir" || fail "the installed stowmere-cli did not run"
    [ -f "$home/data/stowmere/Category.cds" ] || fail "the installed program did not keep its data in XDG_DATA_HOME"
    [ ! -e "$root/bin/Category.cds" ] || fail "the installed program wrote its data beside itself"
else
    skip "the installed data location needs root and unshare"
fi
# Run from anywhere else (here the DESTDIR, as from a build folder), the writable folder
# beside the executable is used.
HOME="$home" XDG_DATA_HOME="$home/other" "$root/bin/stowmere-cli" new-set Documents /media/usb >/dev/null
[ -f "$root/bin/Category.cds" ] || fail "a program outside its install folder did not keep its data beside itself"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "install tree checked"
