#!/usr/bin/env bash
# quarlo --help and --version answer on a terminal without a display: they
# print, exit 0 at once, and open no window (which, with no display, would
# abort the program). Qt's own single-dash options neither stop them nor
# read as -h or -v.
#
# usage: help_version_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/rbldnsd.sh"
begin_shell_test "$1" "$2"

version=$(sed -n 's/^project(Quarlo VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
[[ -n "$version" ]] || { echo "no project version in CMakeLists.txt"; exit 1; }

# Nothing of the user's may be read or written, and there is no display.
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export QUARLO_REGISTRY_DIR="$work/registry"
mkdir -p "$HOME"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

# run ARGS...: the program's standard output in $out, its status in $status
# and its run time in seconds in $took; a program that waits is killed.
run() {
    local started=$SECONDS
    out=$(timeout 20 "$build/quarlo" "$@" 2>"$work/stderr"); status=$?
    took=$((SECONDS - started))
}

for flag in --version -v; do
    run "$flag"
    [[ $status -eq 0 ]] || fail "quarlo $flag: exit status $status: $(head -c 300 "$work/stderr")"
    [[ "$out" == "quarlo $version" ]] || fail "quarlo $flag printed '${out:0:200}', expected 'quarlo $version'"
    ((took <= 5)) || fail "quarlo $flag took $took s"
done

for flag in --help -h; do
    run "$flag"
    [[ $status -eq 0 ]] || fail "quarlo $flag: exit status $status: $(head -c 300 "$work/stderr")"
    [[ "$out" == "Usage: $build/quarlo [options] [FILE.BlackList]"* ]] || fail "quarlo $flag: no usage line: ${out:0:200}"
    for option in --help --version --automation .BlackList; do
        grep -q -e "$option" <<<"$out" || fail "quarlo $flag does not mention $option"
    done
    ((took <= 5)) || fail "quarlo $flag took $took s"
done

# In German, --help describes the options with the translation's words, and
# Qt's usage lines follow when its own translations are installed.
german() { # SOURCE: its German in the program's translation
    python3 - "$src/translations/quarlo_de.ts" "$1" <<'PY'
import sys, xml.etree.ElementTree as ET
for message in ET.parse(sys.argv[1]).getroot().iter("message"):
    if message.findtext("source") == sys.argv[2]:
        print(message.findtext("translation"))
PY
}
LC_ALL= LC_MESSAGES= LANGUAGE= LANG=de_DE.UTF-8 run --help
[[ $status -eq 0 ]] || fail "German quarlo --help: exit status $status: $(head -c 300 "$work/stderr")"
for source in "Show these options and exit." "A .BlackList address list to open."; do
    translated=$(german "$source")
    [[ -n "$translated" && "$translated" != "$source" ]] || fail "no German for '$source' in quarlo_de.ts"
    grep -qF -e "$translated" <<<"$out" || fail "German quarlo --help lacks '$translated': ${out:0:300}"
    grep -qF -e "$source" <<<"$out" && fail "German quarlo --help still says '$source'"
done
qt_translations=$(qtpaths6 --query QT_INSTALL_TRANSLATIONS 2>/dev/null || true)
if [[ -f "$qt_translations/qtbase_de.qm" ]]; then
    [[ "$out" != Usage:* ]] || fail "German quarlo --help: Qt's usage line is English though qtbase_de.qm is installed"
fi

# After a Qt option and its value, and after the list a desktop passes.
run -platform xcb --version
[[ $status -eq 0 && "$out" == "quarlo $version" ]] || fail "quarlo -platform xcb --version: status $status, '${out:0:200}'"
run "$work/some.BlackList" --help
[[ $status -eq 0 && "$out" == Usage:* ]] || fail "quarlo FILE --help: status $status, '${out:0:200}'"

# Answering wrote nothing: no stored options, no file type registration.
leftovers=$(cd "$work" && find home config data registry -mindepth 1 2>/dev/null | head -5)
[[ -z "$leftovers" ]] || fail "quarlo --help/--version wrote files: $leftovers"

# Qt's -reverse and -stylesheet hold a v and an h: they must reach the window,
# which cannot start here, rather than print the version or the options.
for option in -reverse "-stylesheet=$work/none.qss"; do
    run "$option"
    [[ $status -ne 0 ]] || fail "quarlo $option exited 0 without a display"
    [[ -z "$out" ]] || fail "quarlo $option printed '${out:0:200}'"
done

echo "help and version test: $failures failures"
[[ $failures -eq 0 ]]
