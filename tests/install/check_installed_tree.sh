#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what the desktop needs there: the program, a
# valid menu entry, the icon in every size, the file type of game setups and a clean manual page.
set -euo pipefail
build="$1"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

failed=0
fail() {
    echo "FAIL: $*" >&2
    failed=1
}
share="$prefix/share"

[ -x "$prefix/bin/turnpost" ] || fail "bin/turnpost is not installed as a program"
"$prefix/bin/turnpost" --version | grep -q '^Turnpost ' || fail "the installed program does not run"

entry="$share/applications/turnpost.desktop"
if [ -f "$entry" ]; then
    # Errors and warnings fail; hints (advice on categories) do not.
    report="$(desktop-file-validate "$entry" 2>&1)" || fail "desktop-file-validate: $report"
    if grep -Ei 'error|warning' <<<"$report"; then fail "desktop-file-validate: $report"; fi
    exec_name="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")"
    [ -x "$prefix/bin/$exec_name" ] || fail "the entry runs $exec_name, which is not installed"
    grep -q '^MimeType=application/x-turnpost-setup;$' "$entry" || fail "the entry opens no game setups"
    grep -q '^Icon=turnpost$' "$entry" || fail "the entry names another icon"
else
    fail "no menu entry"
fi

for size in 16 24 32 48 64 128 256; do
    icon="$share/icons/hicolor/${size}x${size}/apps/turnpost.png"
    if [ ! -f "$icon" ]; then
        fail "no ${size}x${size} icon"
        continue
    fi
    # The PNG header holds width and height as big-endian words at bytes 16 and 20.
    dims="$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]) if d[:8]==b"\x89PNG\r\n\x1a\n" else "not a PNG")' "$icon")"
    [ "$dims" = "${size}x${size}" ] || fail "$icon is $dims"
done
svg="$share/icons/hicolor/scalable/apps/turnpost.svg"
python3 -c 'import sys, xml.dom.minidom as m; m.parse(sys.argv[1])' "$svg" || fail "the scalable icon is not well-formed"

# The file type: the shared MIME database built from the installed package file knows *.tpf.
mime="$share/mime"
if [ -f "$mime/packages/turnpost.xml" ]; then
    # Named as a data folder, so the tool does not warn that nobody looks there.
    XDG_DATA_DIRS="$share" update-mime-database "$mime" 2>"$prefix/mime.log" || fail "update-mime-database: $(cat "$prefix/mime.log")"
    [ ! -s "$prefix/mime.log" ] || fail "update-mime-database: $(cat "$prefix/mime.log")"
    [ -f "$mime/application/x-turnpost-setup.xml" ] || fail "the MIME type is not in the database"
    grep -q ':application/x-turnpost-setup:\*\.tpf' "$mime/globs2" || fail "*.tpf is not the MIME type's pattern"
else
    fail "no MIME package file"
fi

page="$share/man/man1/turnpost.1.gz"
if [ -f "$page" ]; then
    warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)" || fail "man could not format the page"
    [ -z "$warnings" ] || fail "man --warnings: $warnings"
    text="$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null)"
    for section in SYNOPSIS OPTIONS 'EXIT STATUS' FILES; do
        grep -q "^$section" <<<"$text" || fail "the manual page has no $section section"
    done
else
    fail "no manual page"
fi

exit "$failed"
