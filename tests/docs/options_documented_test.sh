#!/usr/bin/env bash
# The man pages and quarlo-check's bash completion cannot fall behind the
# programs: every option --help lists is described in the man page's OPTIONS
# and offered by the completion, and neither names an option the program no
# longer has; every output format quarlo-check accepts is completed and
# described, every status it reports is explained, and every environment
# variable a program reads is in its ENVIRONMENT section (and no other).
#
# usage: options_documented_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/rbldnsd.sh"
begin_shell_test "$1" "$2"

export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export QUARLO_REGISTRY_DIR="$work/registry"
mkdir -p "$HOME"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

# help_options PROGRAM: the options its --help lists (the option column
# only: a wrapped description may start with an option it mentions).
help_options() {
    timeout 20 "$build/$1" --help </dev/null >"$work/help" 2>&1 || { fail "$1 --help failed: $(head -c 300 "$work/help")"; return; }
    sed -n '/^Options:/,/^$/p' "$work/help" | grep -E '^  -' | sed -E 's/^ +//; s/ {2,}.*//' \
        | grep -oE -- '-{1,2}[A-Za-z0-9?][A-Za-z0-9-]*' | sort -u
}

# The man page source with its escapes undone, for reading as text.
man_text() { sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\(em/-/g' "$1"; }

# man_section PAGE NAME: the lines of section NAME.
man_section() { man_text "$1" | awk -v name=".SH $2" '/^\.SH/ { on = ($0 == name); next } on'; }

# man_options PAGE: the options the tags of its OPTIONS section name.
man_options() {
    man_section "$1" OPTIONS | awk 'tag { print; tag = 0 } /^\.TP/ { tag = 1 }' \
        | grep -oE -- '(^| )-{1,2}[A-Za-z0-9][A-Za-z0-9-]*' | tr -d ' ' | sort -u
}

# compare WHAT EXPECTED_FILE FOUND_FILE: each side's extras are failures.
compare() {
    local missing extra
    missing=$(comm -23 "$2" "$3" | tr '\n' ' ')
    extra=$(comm -13 "$2" "$3" | tr '\n' ' ')
    [[ -z "$missing" ]] || fail "$1 lacks: $missing"
    [[ -z "$extra" ]] || fail "$1 names what the program does not have: $extra"
}

# env_variables DIR...: the QUARLO_ variables read below the folders, test
# hooks (..._TEST, for the test suite only) aside.
env_variables() {
    grep -rhoE '(qEnvironmentVariable[A-Za-z]*|qgetenv|getenv)\("QUARLO_[A-Z0-9_]+"' "$@" \
        | grep -oE 'QUARLO_[A-Z0-9_]+' | grep -v '_TEST$' | sort -u
}

# man_environment PAGE: the variables its ENVIRONMENT section describes.
man_environment() { man_section "$1" ENVIRONMENT | sed -n 's/^\.B \(QUARLO_[A-Z0-9_]*\)$/\1/p' | sort -u; }

# --- quarlo-check ---------------------------------------------------------
page="$src/docs/man/quarlo-check.1"
completion="$src/data/completion/quarlo-check"
help_options quarlo-check >"$work/check-help"
grep -qx -- --watch "$work/check-help" || fail "no --watch among quarlo-check's options; the --help parse is broken"
man_options "$page" >"$work/check-man"
compare "quarlo-check.1 OPTIONS" "$work/check-help" "$work/check-man"

# complete WORD...: what the completion offers for the last word.
complete_words() {
    bash -c 'source "$1"; shift; COMP_WORDS=(quarlo-check "$@"); COMP_CWORD=$#; _quarlo_check
             printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$@" | sort -u
}
complete_words - >"$work/check-completion"
compare "the bash completion" "$work/check-help" "$work/check-completion"

# The formats, from the program's own refusal of an unknown one (no DNS is
# asked: the format is checked first).
QUARLO_DNS_SERVERS=127.0.0.1:9 timeout 20 "$build/quarlo-check" --no-history --format bogus 192.0.2.1 \
    </dev/null >/dev/null 2>"$work/format"
formats=$(grep -o '(.*)' "$work/format" | tr -d '();,' | tr ' ' '\n' | grep -vE '^(or|with|-.*|)$' | sort -u)
grep -qx text <<<"$formats" && grep -qx prometheus <<<"$formats" \
    || fail "cannot read the formats from: $(head -c 300 "$work/format")"
compare "the completion of --format" <(echo "$formats") <(complete_words --format '')
format_entry=$(man_section "$page" OPTIONS | awk '/^\.TP/ { on = 0 } /^\.BI --format / { on = 1 } on')
for format in $formats; do
    grep -qwE "^\.BR? .*$format" <<<"$format_entry" || fail "quarlo-check.1's --format does not describe $format"
done

# Every status word quarlo-check reports has its own entry.
statuses=$(sed -n '/TargetStatusKeyword/,/^}/p' "$src/src/cli/TargetStatus.h" | grep -oE 'QStringLiteral\("[a-z-]+"\)' \
    | sed -E 's/.*"(.*)".*/\1/' | sort -u)
[[ $(wc -l <<<"$statuses") -ge 9 ]] || fail "cannot read the status words from TargetStatus.h: $statuses"
# Read once: grep -q ending a pipe early would fail its writer (pipefail).
man_section "$page" DESCRIPTION >"$work/check-description"
for status in $statuses; do
    grep -qx "\.B $status" "$work/check-description" || fail "quarlo-check.1 does not explain the status $status"
done

# The layers quarlo-check is built from.
env_variables "$src"/src/{common,model,storage,scan,export,cli} >"$work/check-env"
grep -qx QUARLO_DNS_SERVERS "$work/check-env" || fail "cannot find the variables quarlo-check reads"
compare "quarlo-check.1 ENVIRONMENT" "$work/check-env" <(man_environment "$page")

# --- quarlo ---------------------------------------------------------------
page="$src/docs/man/quarlo.1"
help_options quarlo >"$work/quarlo-help"
grep -qx -- --version "$work/quarlo-help" || fail "no --version among quarlo's options; the --help parse is broken"
compare "quarlo.1 OPTIONS" "$work/quarlo-help" <(man_options "$page")
env_variables "$src"/src/{common,model,storage,scan,export,ui,app} >"$work/quarlo-env"
compare "quarlo.1 ENVIRONMENT" "$work/quarlo-env" <(man_environment "$page")

echo "options documented test: $failures failures"
[[ $failures -eq 0 ]]
