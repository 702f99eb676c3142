#!/usr/bin/env bash
# Drives the program with `gdbus call`, as a user's shell script would: a
# private session bus starts it through the activation file, it opens a list
# and scans it against an rbldnsd on loopback, and the script reads the
# results, checks a removed address's path, and sees the program end.
#
# usage: gdbus_example.sh SERVICE_TEMPLATE QUARLO_PROGRAM
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/rbldnsd.sh"
template="$1"
program="$2"

if [[ -z "${QUARLO_EXAMPLE_BUS:-}" ]]; then
    # A bus of our own that finds the program through the activation file.
    share="$(mktemp -d)"
    mkdir -p "$share/dbus-1/services"
    sed "s|@QUARLO_EXEC@|$program|" "$template" > "$share/dbus-1/services/com.vantorel.Quarlo.service"
    XDG_DATA_DIRS="$share" QUARLO_EXAMPLE_BUS=1 dbus-run-session -- bash "$0" "$@"
    status=$?
    rm -rf "$share"
    exit $status
fi

work="$(mktemp -d)"
chmod 755 "$work"
quarlo_pid=
cleanup() {
    [[ -n "${rbl_pid:-}" ]] && kill "$rbl_pid" 2>/dev/null
    [[ -n "${monitor_pid:-}" ]] && kill "$monitor_pid" 2>/dev/null
    # A failed run may leave the program up: it is ours.
    [[ -n "$quarlo_pid" ]] && kill "$quarlo_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect() { # what, actual, expected
    [[ "$2" == "$3" ]] || fail "$1: got [$2], expected [$3]"
}

# A blacklist zone on loopback.
# Like every real list, it lists its test entry 127.0.0.2.
printf '127.0.0.2\n192.0.2.7 :127.0.0.4:Open relay seen at 192.0.2.7\n' > "$work/bl.zone"
chmod 644 "$work/bl.zone"
start_rbldnsd "$work" bl.test:ip4set:bl.zone

# What the program started by the bus sees.
gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.UpdateActivationEnvironment \
    "{'QUARLO_DNS_SERVERS': '127.0.0.1:$port', 'QUARLO_REGISTRY_DIR': '$work/registry',
      'QT_QPA_PLATFORM': 'offscreen', 'QUARLO_AUTOMATION_TEST': '1'}" >/dev/null || exit 1

# --- As in docs/automation.md -------------------------------------------------
q() { # object path, Interface.Method, arguments...
    local path="$1" method="$2"
    shift 2
    gdbus call --session --timeout 30 --dest com.vantorel.Quarlo --object-path "$path" \
        --method "com.vantorel.Quarlo.$method" "$@"
}
prop() { # object path, Interface, Property
    gdbus call --session --timeout 30 --dest com.vantorel.Quarlo --object-path "$1" \
        --method org.freedesktop.DBus.Properties.Get "com.vantorel.Quarlo.$2" "$3"
}
# gdbus prints "(<'text'>,)", "(objectpath '/Address/1',)", "([objectpath '/A', '/B'],)".
value() { sed -E "s/^\(<?(objectpath )?'?//; s/'?>?,\)$//"; }
paths() { grep -o "'/[^']*'" | tr -d "'"; }

# Only our zone, for this run (not written to the configuration file).
q /Servers Servers.Clear >/dev/null
server=$(q /Servers Servers.Add "<'bl.test'>" | value)
gdbus call --session --dest com.vantorel.Quarlo --object-path "$server" \
    --method org.freedesktop.DBus.Properties.Set com.vantorel.Quarlo.Server Enabled '<true>' >/dev/null
q "$server/ResultCodes" ResultCodes.Add 127.0.0.4 'Open relay' >/dev/null
quarlo_pid=$(gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.GetConnectionUnixProcessID com.vantorel.Quarlo | grep -o '[0-9]\+' | tail -1)

printf '<AddressList><Address Target="192.0.2.7"/><Address Target="192.0.2.99"/></AddressList>' \
    > "$work/servers.BlackList"
q /Application Application.FileOpen "$work/servers.BlackList" >/dev/null
expect "addresses loaded" "$(prop /Addresslist Addresslist Count | value)" "2"

gdbus monitor --session --dest com.vantorel.Quarlo --object-path /Addresslist > "$work/signals" &
monitor_pid=$!
# The monitor's match rule must be in place before the scan starts: it says
# so once it is watching.
for _ in $(seq 300); do
    grep -q '^Monitoring signals' "$work/signals" && break
    sleep 0.1
done
q /Application Application.StartScan >/dev/null
for _ in $(seq 300); do
    grep -q ScanComplete "$work/signals" && break
    sleep 0.1
done
grep -q ScanComplete "$work/signals" || fail "no ScanComplete within 30 s"

report=""
for address in $(q /Addresslist Addresslist.NewEnum | paths); do
    target=$(prop "$address" Address Target | value)
    listed=$(prop "$address" Address Blacklisted | value)
    report+="$target $listed"$'\n'
    for responding in $(q "$address/RespondingServers" RespondingServers.NewEnum | paths); do
        zone=$(prop "$responding" RespondingServer ServerName | value)
        for response in $(q "$responding/Responses" Responses.NewEnum | paths); do
            reason=$(prop "$response" Response Reason | value)
            # The TXT answer may come just after the scan.
            for _ in $(seq 100); do
                txt=$(prop "$response" Response TXTRecord | value)
                [[ -n "$txt" ]] && break
                sleep 0.1
            done
            report+="  $zone: $reason ($txt)"$'\n'
        done
    done
done
printf '%s' "$report"
expect "scan report" "$report" "192.0.2.7 true
  bl.test: Open relay (Open relay seen at 192.0.2.7)
192.0.2.99 false
"
# ------------------------------------------------------------------------------

# The Python example of docs/automation.md, as printed there, on the same list.
docs="$(cd "$(dirname "$template")/../.." && pwd)/docs/automation.md"
if /usr/bin/python3 -c 'import dbus, gi' 2>/dev/null; then
    sed -n '/^```python$/,/^```$/p' "$docs" | sed '1d;$d' > "$work/scan_list.py"
    out=$(timeout 120 /usr/bin/python3 "$work/scan_list.py" "$work/servers.BlackList" 2>&1)
    expect "python example" "$out" "192.0.2.7: LISTED
  bl.test (bl.test)
    127.0.0.4: Open relay
      Open relay seen at 192.0.2.7
192.0.2.99: not listed"
else
    echo "python3-dbus or python3-gi missing: the Python example was not run"
fi

# A removed address's path answers a clear error.
gone=$(q /Addresslist Addresslist.Item "<'192.0.2.99'>" | value)
q /Addresslist Addresslist.Remove "<'192.0.2.99'>" >/dev/null
error=$(prop "$gone" Address Target 2>&1)
[[ "$error" == *"com.vantorel.Quarlo.Error.ObjectGone"*"$gone no longer exists"* ]] ||
    fail "stale path $gone: $error"
expect "items out of range" "$(q /Addresslist Addresslist.Item '<5>' | value)" "/"

# Saved, so closing the window asks nothing; with every gdbus call over, the
# closed window ends the program.
expect "saved" "$(q /Application Application.FileSave "$work/saved.BlackList" | value)" "true"
q /Test Test.CloseWindow >/dev/null
for _ in $(seq 300); do
    kill -0 "$quarlo_pid" 2>/dev/null || break
    [[ "$(ps -o stat= -p "$quarlo_pid" 2>/dev/null)" == Z* ]] && break
    sleep 0.1
done
if kill -0 "$quarlo_pid" 2>/dev/null && [[ "$(ps -o stat= -p "$quarlo_pid")" != Z* ]]; then
    fail "the program still runs after its window closed"
else
    quarlo_pid=
fi

echo "$failures failures"
[[ $failures -eq 0 ]]
