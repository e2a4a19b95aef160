#!/usr/bin/env bash
# Makes the Debian packages of the build with CPack and checks them as a host would meet them: lintian
# finds no error, the headless package needs no Qt, apt can resolve both, and the program unpacked from
# the package runs and sends a turn (the demo, against smtp-sink on loopback).
set -euo pipefail
build="$1"
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

failed=0
fail() {
    echo "FAIL: $*" >&2
    failed=1
}

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1) ||
    { cat "$work/cpack.log" >&2; exit 1; }
headless=$(echo "$work"/turnpost_*.deb)
desktop=$(echo "$work"/turnpost-desktop_*.deb)
[ -f "$headless" ] || { fail "no turnpost package"; exit 1; }
[ -f "$desktop" ] || { fail "no turnpost-desktop package"; exit 1; }

[ "$(dpkg-deb -f "$headless" Section)" = mail ] || fail "the package is not in section mail"
depends=$(dpkg-deb -f "$headless" Depends)
grep -q 'libssl3' <<<"$depends" || fail "turnpost does not depend on OpenSSL: $depends"
if grep -qi 'qt' <<<"$depends"; then fail "turnpost depends on Qt: $depends"; fi
grep -q '^turnpost (= ' <<<"$(dpkg-deb -f "$desktop" Depends)" || fail "turnpost-desktop does not depend on turnpost"

# Errors fail; warnings (the menu entry runs turnpost from the other package) do not.
lintian --fail-on error "$headless" "$desktop" >"$work/lintian.log" 2>&1 ||
    fail "lintian: $(cat "$work/lintian.log")"

# What apt would do on this machine, without doing it.
apt-get install --simulate -q "$headless" "$desktop" >"$work/apt.log" 2>&1 || fail "apt cannot install them: $(cat "$work/apt.log")"

root="$work/root"
dpkg -x "$headless" "$root"
dpkg -x "$desktop" "$root"
file "$root/usr/bin/turnpost" | grep -q 'stripped' && ! file "$root/usr/bin/turnpost" | grep -q 'not stripped' ||
    fail "the program is not stripped"
[ -f "$root/usr/share/man/man1/turnpost.1.gz" ] || fail "no compressed manual page"
[ -x "$root/usr/libexec/turnpost/turnpost-desktop" ] || fail "no desktop program"
"$root/usr/bin/turnpost" --version | grep -q '^Turnpost ' || fail "the unpacked program does not run"
env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/libexec/turnpost/turnpost-desktop" --version | grep -q '^Turnpost ' ||
    fail "the unpacked desktop program does not answer --version"
TURNPOST="$root/usr/bin/turnpost" bash "$source_dir/scripts/demo.sh" >"$work/demo.log" 2>&1 ||
    fail "the unpacked program did not send the demo's turn: $(tail -20 "$work/demo.log")"
grep -q '^To ann@players.example: ' "$work/demo.log" || fail "the demo's mail did not arrive: $(cat "$work/demo.log")"
exit "$failed"
