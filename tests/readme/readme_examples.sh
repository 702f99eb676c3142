#!/usr/bin/env bash
# Runs every command the README shows, as a user would type it from the top
# of a checkout, against a blacklist server on loopback that serves the
# bundled lists' zones. Commands that set up machines or windows (scripts/,
# tools/, bench/) are only checked to exist and be executable.
#
# usage: readme_examples.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/rbldnsd.sh"
begin_shell_test "$1" "$2"

# The bundled configuration's enabled zones, each listing its test entry and
# the README's sample address.
zones=$(grep -o 'Server="[^"]*" Enabled="TRUE"' "$src/data/quarlo.cfg" | sed 's/Server="\([^"]*\)".*/\1/')
[[ -n "$zones" ]] || { echo "no enabled zone in data/quarlo.cfg"; exit 1; }
printf '127.0.0.2\n192.0.2.7\n' > "$work/listed.zone"
cat > "$work/example.com.zone" <<'ZONE'
mail A 192.0.2.25
@ MX 10 mail.example.com.
ZONE
cat > "$work/example.org.zone" <<'ZONE'
@ MX 10 mail.example.com.
ZONE
chmod 644 "$work"/*.zone
datasets=(example.com:generic:example.com.zone example.org:generic:example.org.zone)
# Domain lists get names: their test entry and the README's sample domain.
domain_zones=$(grep -o 'Server="[^"]*" Enabled="TRUE"[^>]*ListKind="Domain"' "$src/data/quarlo.cfg" \
    | sed 's/Server="\([^"]*\)".*/\1/')
printf 'test\n' > "$work/domains.zone"
chmod 644 "$work/domains.zone"
for zone in $zones; do
    if grep -qx "$zone" <<<"$domain_zones"; then datasets+=("$zone:dnset:domains.zone")
    else datasets+=("$zone:ip4set:listed.zone"); fi
done

start_rbldnsd "$work" "${datasets[@]}"
export QUARLO_DNS_SERVERS="127.0.0.1:$port"
export QUARLO_REGISTRY_DIR="$work/registry"
# The examples' scans are recorded here, not in the user's history.
export QUARLO_HISTORY="$work/history.sqlite"
# The private folder the examples write their files to.
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# Indented code lines of the README, in order.
mapfile -t commands < <(grep -E '^    [^ ]' "$src/README.md" | sed 's/^    //')
ran=0
cd "$src"
for command in "${commands[@]}"; do
    case "$command" in
    *quarlo-check*)
        line="${command//.\/build\//$build/}"
        # The README's stand-in for "any program that prints addresses".
        line="${line//some-command/printf '192.0.2.7\\n'}"
        out=$(bash -c "$line" 2>"$work/stderr"); status=$?
        if [[ $status -eq 2 || $status -gt 3 ]]; then
            fail "$command: exit status $status: $(head -c 300 "$work/stderr")"
        elif [[ "$command" =~ --output\ ([^ ]+) ]]; then
            # The report goes to the file instead of standard output; the
            # name is expanded as the shell running the example did.
            output=$(bash -c "printf '%s' ${BASH_REMATCH[1]}")
            [[ "$output" == "$XDG_RUNTIME_DIR"/* ]] || fail "$command: writes outside a private folder"
            [[ -s "$output" ]] || fail "$command: wrote nothing to $output"
            rm -f "$output"
        elif [[ -z "$out" && "$command" != *--help* ]]; then
            fail "$command: printed nothing"
        fi
        ran=$((ran + 1))
        ;;
    ./scripts/* | scripts/* | tools/* | bench/* | ./tools/* | ./bench/*)
        program="${command%% *}"
        [[ -x "$src/${program#./}" ]] || fail "$command: $program is not an executable file"
        ;;
    esac
done
[[ $ran -gt 0 ]] || fail "the README shows no quarlo-check command"
echo "ran $ran quarlo-check examples; $failures failures"
[[ $failures -eq 0 ]]
