#!/usr/bin/env bash
# Installs the built .deb into a minimal Debian 12 root (debootstrap
# --variant=minbase, made once and kept in QUARLO_MINBASE_CACHE) with apt,
# which must resolve every dependency the package declares, and starts both
# programs there: their --version, and a check that runs a scan (against a
# DNS port nobody answers, so its verdict is "incomplete", exit 3).
# Skipped (exit 77) with the reason where it cannot run: not root, no
# debootstrap, no network for the first root or for the dependencies.
#
# usage: minimal_root_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/rbldnsd.sh"
begin_shell_test "$1" "$2"
skip() { echo "SKIPPED: $*"; exit 77; }

[[ $EUID -eq 0 ]] || skip "installing into a root needs root (chroot)"
# A sanitizer build is no package to ship: its runtime needs /proc, which the root has not.
if nm -D "$build/quarlo-check" 2>/dev/null | grep "__asan_init" >/dev/null; then
    skip "a sanitizer build is not packaged for a bare system"
fi
command -v debootstrap >/dev/null || skip "debootstrap is not installed (scripts/install-deps installs it)"
cache="${QUARLO_MINBASE_CACHE:-/var/cache/quarlo-tests/bookworm-minbase.tar}"
mirror="${QUARLO_DEBIAN_MIRROR:-http://deb.debian.org/debian}"
if [[ ! -s "$cache" ]]; then
    echo "making a minimal Debian 12 root in $cache (once)"
    debootstrap --variant=minbase bookworm "$work/seed" "$mirror" >"$work/debootstrap.log" 2>&1 \
        || skip "debootstrap could not make a root (network?): $(tail -1 "$work/debootstrap.log")"
    mkdir -p "$(dirname "$cache")"
    tar -C "$work/seed" -cf "$cache.part" . && mv "$cache.part" "$cache" || { echo "cannot write $cache"; exit 1; }
    rm -rf "$work/seed"
fi

root="$work/root"
mkdir "$root" && tar -C "$root" -xf "$cache" || { echo "cannot unpack $cache"; exit 1; }
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package") >"$work/cpack.log" 2>&1 \
    || { tail -40 "$work/cpack.log"; echo "cpack -G DEB failed"; exit 1; }
debs=("$work"/package/*.deb)
[[ ${#debs[@]} -eq 1 && -f "${debs[0]}" ]] || { echo "expected one .deb"; exit 1; }
cp "${debs[0]}" "$root/tmp/quarlo.deb"
cp /etc/resolv.conf "$root/etc/resolv.conf"
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }
in_root apt-get update >"$work/apt.log" 2>&1 || skip "apt-get update failed in the root (network?): $(tail -1 "$work/apt.log")"
if ! in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends /tmp/quarlo.deb \
        >>"$work/apt.log" 2>&1; then
    grep -q "Temporary failure\|Could not resolve\|Failed to fetch" "$work/apt.log" \
        && skip "apt-get could not fetch the dependencies: $(grep -m1 'Failed to fetch\|Could not resolve' "$work/apt.log")"
    tail -20 "$work/apt.log"
    fail "the package does not install on a minimal Debian 12"
fi

if [[ $failures -eq 0 ]]; then
    out=$(in_root quarlo-check --version 2>&1) || fail "quarlo-check --version failed there: $out"
    [[ "$out" == quarlo-check* ]] || fail "quarlo-check --version said: $out"
    out=$(in_root quarlo --version 2>&1) || fail "quarlo --version failed there: $out"
    [[ "$out" == quarlo* ]] || fail "quarlo --version said: $out"
    # The window program itself, offscreen, as far as its automation-free start.
    out=$(in_root env QT_QPA_PLATFORM=offscreen timeout 20 quarlo --help 2>&1) || fail "quarlo --help failed there: $out"
    in_root quarlo-check --no-history --dns 127.0.0.1:9 --timeout 200 --tries 1 -q 192.0.2.1 >"$work/check.out" 2>&1
    status=$?
    [[ $status -eq 3 ]] || { cat "$work/check.out"; fail "a check in the root exited $status, not 3 (incomplete)"; }
    grep -q "192.0.2.1" "$work/check.out" || { cat "$work/check.out"; fail "the check's report names no target"; }
fi
[[ $failures -eq 0 ]] && echo "OK: the package installs on a minimal Debian 12 and both programs start there"
exit $((failures > 0))
