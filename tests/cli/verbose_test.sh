#!/usr/bin/env bash
# quarlo-check --verbose traces its DNS queries on standard error and leaves
# the report on standard output as it is; the user's QT_LOGGING_RULES win
# over it. Runs against a blacklist server on loopback.
#
# usage: verbose_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/rbldnsd.sh"
begin_shell_test "$1" "$2"

printf '127.0.0.2\n192.0.2.7\n' >"$work/listed.zone"
chmod 644 "$work/listed.zone"
start_rbldnsd "$work" bl.verbose.test:ip4set:listed.zone
cat >"$work/servers.cfg" <<'XML'
<Quarlo><BlackListServers><Server Server="bl.verbose.test" Enabled="TRUE" Name="Verbose test"><ResultCodes><ResultCode Address="127.0.0.2" Reason="Spam source"/></ResultCodes></Server></BlackListServers></Quarlo>
XML
export QUARLO_DNS_SERVERS="127.0.0.1:$port" QUARLO_REGISTRY_DIR="$work/registry"
export HOME="$work/home" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
unset QT_LOGGING_RULES QT_MESSAGE_PATTERN

# check NAME ARGS...: a run of the listed and a clean address; its output in
# $work/NAME.out and .err, its exit status in $status.
check() {
    local name="$1"; shift
    timeout 60 "$build/quarlo-check" --config "$work/servers.cfg" --no-history --format json "$@" \
        192.0.2.7 192.0.2.8 </dev/null >"$work/$name.out" 2>"$work/$name.err"
    status=$?
}

# The report's moments differ from run to run; the rest must not.
report() { sed -E 's/"(started|finished|time|date|checked)[A-Za-z]*": *"[^"]*"/"\1": ""/g' "$work/$1.out"; }

check plain
[[ $status -eq 1 ]] || fail "a run without --verbose ended $status, not 1 (listed): $(head -c 300 "$work/plain.err")"
grep -q '192.0.2.7' "$work/plain.out" || fail "the report names no target: $(head -c 300 "$work/plain.out")"
grep -q '^quarlo\.' "$work/plain.err" && fail "traces without --verbose: $(grep -m1 '^quarlo\.' "$work/plain.err")"

check verbose --verbose
[[ $status -eq 1 ]] || fail "--verbose changed the exit status to $status"
grep -q '^quarlo\.dns: ' "$work/verbose.err" || fail "--verbose printed no quarlo.dns trace: $(head -c 300 "$work/verbose.err")"
grep -q '^quarlo\.dns: .*192\.0\.2\.7\|^quarlo\.dns: .*7\.2\.0\.192\.bl\.verbose\.test' "$work/verbose.err" \
    || fail "no trace names the query for 192.0.2.7: $(grep -m3 '^quarlo\.dns' "$work/verbose.err")"
grep -q '^quarlo\.' "$work/verbose.out" && fail "traces on standard output"
diff <(report plain) <(report verbose) >"$work/diff" || fail "--verbose changed the report: $(head -c 500 "$work/diff")"

# The user's rules decide: here, no DNS traces at all.
QT_LOGGING_RULES="quarlo.dns.debug=false" check ruled --verbose
[[ $status -eq 1 ]] || fail "a run with QT_LOGGING_RULES ended $status"
grep -q '^quarlo\.dns: ' "$work/ruled.err" && fail "--verbose overrode QT_LOGGING_RULES: $(grep -m1 '^quarlo\.dns' "$work/ruled.err")"
QT_LOGGING_RULES="quarlo.dns.debug=true" check asked
grep -q '^quarlo\.dns: ' "$work/asked.err" || fail "QT_LOGGING_RULES alone printed no quarlo.dns trace"

echo "verbose test: $failures failures"
[[ $failures -eq 0 ]]
