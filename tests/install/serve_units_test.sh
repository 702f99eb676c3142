#!/usr/bin/env bash
# The quarlo-serve.service units (user and system) load without complaint
# (systemd-analyze verify), keep the sandboxing they promise, and are rated
# well by `systemd-analyze security --offline=yes`. Skipped (77) where
# systemd-analyze is missing or cannot review unit files offline.
#
# usage: serve_units_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/rbldnsd.sh"
begin_shell_test "$1" "$2"
command -v systemd-analyze >/dev/null || { echo "systemd-analyze not installed; skipped"; exit 77; }
systemd-analyze security --help 2>&1 | grep -q -- --offline || { echo "systemd-analyze cannot review offline; skipped"; exit 77; }

mkdir -p "$work/system" "$work/user" "$work/runtime"
chmod 700 "$work/runtime"
sed "s#@QUARLO_CHECK_EXEC@#$build/quarlo-check#" "$src/data/systemd/quarlo-serve-system.service.in" >"$work/system/quarlo-serve.service"
sed "s#@QUARLO_CHECK_EXEC@#$build/quarlo-check#" "$src/data/systemd/quarlo-serve.service.in" >"$work/user/quarlo-serve.service"

# verify prints warnings (unknown settings, bad values) yet may exit 0: any
# output about the unit is a failure.
check_verify() {
    local what="$1"; shift
    if ! "$@" >"$work/verify" 2>&1 || grep -q 'quarlo-serve' "$work/verify"; then
        fail "systemd-analyze verify of the $what unit: $(head -c 600 "$work/verify")"
    fi
}
check_verify system systemd-analyze verify "$work/system/quarlo-serve.service"
check_verify user env XDG_RUNTIME_DIR="$work/runtime" systemd-analyze --user verify "$work/user/quarlo-serve.service"

# exposure WHAT ARGS...: the overall exposure level the review gives.
exposure() {
    "$@" >"$work/security" 2>&1
    sed -n 's/.*Overall exposure level for quarlo-serve.service: \([0-9.]*\).*/\1/p' "$work/security"
}
system=$(exposure systemd-analyze security --offline=yes "$work/system/quarlo-serve.service")
user=$(env XDG_RUNTIME_DIR="$work/runtime" bash -c "$(declare -f exposure); work='$work'; exposure systemd-analyze --user security --offline=yes '$work/user/quarlo-serve.service'")
echo "exposure: system $system, user $user"
# systemd rates 0-2 as OK, below 5 as MEDIUM at best: both must be OK.
awk -v s="$system" 'BEGIN { exit !(s != "" && s <= 2.0) }' || fail "the system unit rates ${system:-nothing}, not OK (at most 2.0)"
awk -v s="$user" 'BEGIN { exit !(s != "" && s <= 2.0) }' || fail "the user unit rates ${user:-nothing}, not OK (at most 2.0)"

# The promises the README makes about both units.
for unit in "$work/system/quarlo-serve.service" "$work/user/quarlo-serve.service"; do
    for setting in Restart=on-failure ProtectSystem=strict PrivateTmp=yes NoNewPrivileges=yes; do
        grep -qx "$setting" "$unit" || fail "$(basename "$(dirname "$unit")") unit lacks $setting"
    done
    grep -q "^ExecStart=$build/quarlo-check --serve " "$unit" || fail "$unit does not start quarlo-check --serve"
done
grep -qx DynamicUser=yes "$work/system/quarlo-serve.service" || fail "the system unit lacks DynamicUser=yes"
# A throw-away user has no home: the history must be in its state folder.
grep -qx 'Environment=QUARLO_HISTORY=%S/quarlo/history.sqlite' "$work/system/quarlo-serve.service" \
    || fail "the system unit does not keep the history in its StateDirectory"

echo "serve units test: $failures failures"
[[ $failures -eq 0 ]]
