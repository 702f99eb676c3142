#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop and a
# user get from it: the file list, the desktop entry and AppStream file pass
# their validators, the desktop maps *.BlackList (any case) to the program,
# and the installed quarlo-check scans with the installed default
# configuration against a blacklist server on loopback.
#
# usage: install_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/rbldnsd.sh"
begin_shell_test "$1" "$2"

prefix="$work/prefix"
# Nothing of the user's may leak in or be written to.
export HOME="$work/home"
export XDG_CONFIG_HOME="$work/config"
export XDG_DATA_HOME="$work/data"
export XDG_CONFIG_DIRS="$work/etc-xdg"
export QUARLO_REGISTRY_DIR="$work/registry"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_DIRS"

cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 \
    || { cat "$work/install.log"; echo "cmake --install failed"; exit 1; }

expected=(
    bin/quarlo
    bin/quarlo-check
    share/quarlo/quarlo.cfg
    share/quarlo/Sample.BlackList
    share/quarlo/public_suffix_list.dat
    share/quarlo/Help/Quarlo.htm
    share/quarlo/Help/default.htm
    share/applications/com.vantorel.Quarlo.desktop
    share/mime/packages/com.vantorel.Quarlo.xml
    share/icons/hicolor/scalable/apps/com.vantorel.Quarlo.svg
    share/dbus-1/services/com.vantorel.Quarlo.service
    share/metainfo/com.vantorel.Quarlo.metainfo.xml
    share/man/man1/quarlo.1
    share/man/man1/quarlo-check.1
    share/bash-completion/completions/quarlo-check
    share/systemd/user/quarlo-serve.service
    lib/systemd/system/quarlo-serve.service
    share/quarlo/monitoring/quarlo-alerts.yml
    share/quarlo/monitoring/quarlo-dashboard.json
)
for size in 16 22 24 32 48 64 128 256; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/com.vantorel.Quarlo.png")
done
for file in "${expected[@]}"; do
    [[ -f "$prefix/$file" ]] || fail "not installed: $file"
done
# The service units start the installed program, whichever the prefix.
for unit in share/systemd/user/quarlo-serve.service lib/systemd/system/quarlo-serve.service; do
    grep -q "^ExecStart=$prefix/bin/quarlo-check --serve " "$prefix/$unit" 2>/dev/null \
        || fail "$unit does not start the installed quarlo-check: $(grep ^ExecStart "$prefix/$unit" 2>/dev/null)"
done
for program in quarlo quarlo-check; do
    [[ -x "$prefix/bin/$program" ]] || fail "bin/$program is not executable"
done
# Every PNG is the size its folder says.
for png in "$prefix"/share/icons/hicolor/*x*/apps/*.png; do
    size=$(basename "$(dirname "$(dirname "$png")")")
    file "$png" | grep -q "${size/x/ x }," || fail "$png is not $size: $(file -b "$png")"
done

desktop="$prefix/share/applications/com.vantorel.Quarlo.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the desktop entry"
grep -qx "Exec=$prefix/bin/quarlo %f" "$desktop" || fail "desktop entry does not start the installed program: $(grep ^Exec "$desktop")"
service="$prefix/share/dbus-1/services/com.vantorel.Quarlo.service"
grep -qx "Exec=$prefix/bin/quarlo --automation" "$service" || fail "D-Bus service does not start the installed program: $(grep ^Exec "$service")"
grep -qx "Name=com.vantorel.Quarlo" "$service" || fail "D-Bus service has the wrong name"
appstreamcli validate --no-net "$prefix/share/metainfo/com.vantorel.Quarlo.metainfo.xml" \
    || fail "appstreamcli rejects the metainfo file"
for page in quarlo quarlo-check; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/$page.1" 2>&1 >/dev/null)
    [[ -z "$warnings" ]] || fail "man page $page.1: $warnings"
done
bash -n "$prefix/share/bash-completion/completions/quarlo-check" || fail "bash completion does not parse"
completion=$(bash -c "source '$prefix/share/bash-completion/completions/quarlo-check'
    COMP_WORDS=(quarlo-check --format p); COMP_CWORD=2; _quarlo_check; echo \"\${COMPREPLY[*]}\"")
[[ "$completion" == "pdf prometheus" ]] || fail "completing '--format p' gave '$completion'"

# The desktop's view of file types, through the installed package only.
update-mime-database "$prefix/share/mime" >/dev/null 2>&1 || fail "update-mime-database failed"
mkdir -p "$work/lists"
cp "$src/data/Sample.BlackList" "$work/lists/some.BlackList"
cp "$src/data/Sample.BlackList" "$work/lists/SHOUTED.BLACKLIST"
for name in some.BlackList SHOUTED.BLACKLIST; do
    type=$(XDG_CURRENT_DESKTOP=GNOME XDG_DATA_DIRS="$prefix/share:/usr/share" xdg-mime query filetype "$work/lists/$name")
    [[ "$type" == "application/x-quarlo-blacklist" ]] || fail "xdg-mime query filetype $name: '$type'"
done
update-desktop-database "$prefix/share/applications" >/dev/null 2>&1 || fail "update-desktop-database failed"
handler=$(XDG_CURRENT_DESKTOP=GNOME XDG_DATA_DIRS="$prefix/share:/usr/share" xdg-mime query default application/x-quarlo-blacklist)
[[ "$handler" == "com.vantorel.Quarlo.desktop" ]] || fail "handler of application/x-quarlo-blacklist: '$handler'"

# A blacklist server on loopback for the installed default configuration's
# enabled zones, each listing its test entry and 11.0.2.7.
zones=$(grep -o 'Server="[^"]*" Enabled="TRUE"' "$prefix/share/quarlo/quarlo.cfg" | sed 's/Server="\([^"]*\)".*/\1/')
[[ -n "$zones" ]] || { echo "no enabled zone in the installed quarlo.cfg"; exit 1; }
printf '127.0.0.2\n11.0.2.7\n' > "$work/listed.zone"
chmod 644 "$work/listed.zone"
datasets=()
for zone in $zones; do datasets+=("$zone:ip4set:listed.zone"); done
start_rbldnsd "$work" "${datasets[@]}"
export QUARLO_DNS_SERVERS="127.0.0.1:$port"

# No --config: the installed copy finds its default below share/.
out=$("$prefix/bin/quarlo-check" --format json --quiet 11.0.2.7 2>"$work/stderr"); status=$?
[[ $status -eq 1 ]] || fail "installed quarlo-check: exit status $status, expected 1 (listed): $(head -c 300 "$work/stderr")"
grep -q '"status": *"listed"' <<<"$out" || fail "installed quarlo-check did not report 11.0.2.7 listed: ${out:0:300}"
# An administrator's copy wins over the default, the user's over both.
mkdir -p "$XDG_CONFIG_DIRS/Vantorel" "$XDG_CONFIG_HOME/Vantorel"
echo '<Quarlo><BlackListServers/></Quarlo>' > "$XDG_CONFIG_DIRS/Vantorel/quarlo.cfg"
"$prefix/bin/quarlo-check" --quiet 11.0.2.7 >/dev/null 2>"$work/stderr"; status=$?
[[ $status -eq 2 ]] && grep -q "$XDG_CONFIG_DIRS/Vantorel/quarlo.cfg holds no enabled" "$work/stderr" \
    || fail "the administrator's configuration was not read: status $status, $(head -c 300 "$work/stderr")"
cp "$prefix/share/quarlo/quarlo.cfg" "$XDG_CONFIG_HOME/Vantorel/quarlo.cfg"
"$prefix/bin/quarlo-check" --quiet 11.0.2.7 >/dev/null 2>"$work/stderr"; status=$?
[[ $status -eq 1 ]] || fail "the user's configuration was not read: status $status, $(head -c 300 "$work/stderr")"
# The program directory stays as installed.
[[ -z "$(ls "$prefix/bin" | grep -vx -e quarlo -e quarlo-check)" ]] || fail "files appeared in bin/: $(ls "$prefix/bin")"

echo "install test: $failures failures"
[[ $failures -eq 0 ]]
