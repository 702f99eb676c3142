#!/usr/bin/env bash
# Builds the .deb as a user would (cpack -G DEB, into a scratch folder) and
# checks that it declares what the programs need to start on a bare system:
# Depends names the package of every library quarlo and quarlo-check link
# (libsqlite3-0 and the Qt libraries among them) and of the platform plugins
# Qt loads at run time (xcb for the desktop, offscreen for PDF output);
# Recommends holds no server software users do not need.
#
# usage: package_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/rbldnsd.sh"
begin_shell_test "$1" "$2"

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package") >"$work/cpack.log" 2>&1 \
    || { tail -40 "$work/cpack.log"; echo "cpack -G DEB failed"; exit 1; }
debs=("$work"/package/*.deb)
[[ ${#debs[@]} -eq 1 && -f "${debs[0]}" ]] || { ls "$work/package"; echo "expected one .deb"; exit 1; }
deb="${debs[0]}"

# The package names of a relation field, without versions or alternatives' bars.
field_packages() { dpkg-deb -f "$deb" "$1" | tr ',|' '\n\n' | sed -E 's/\(.*\)//; s/:any//; s/^ +//; s/ +$//' | grep -v '^$' | sort -u; }
field_packages Depends >"$work/depends"
field_packages Recommends >"$work/recommends"

# package_of PATH_END: the installed package that ships the file whose path
# ends so, for this machine's architecture (not a lib32 copy).
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
package_of() {
    dpkg -S "*$1" 2>/dev/null | grep -F "/$multiarch/" \
        | awk -v end="$1" 'substr($0, length($0) - length(end) + 1) == end' | head -1 | cut -d: -f1
}

dpkg-deb -x "$deb" "$work/root" || { echo "cannot unpack $deb"; exit 1; }
for program in quarlo quarlo-check; do
    binary="$work/root/usr/bin/$program"
    [[ -x "$binary" ]] || { fail "the package has no usr/bin/$program"; continue; }
    needed=$(objdump -p "$binary" | awk '$1 == "NEEDED" { print $2 }')
    [[ -n "$needed" ]] || fail "objdump shows no libraries for $program"
    for soname in $needed; do
        package=$(package_of "/$soname")
        if [[ -z "$package" ]]; then fail "$program links $soname, which no installed package ships"; continue; fi
        grep -qx "$package" "$work/depends" || fail "$program links $soname from $package, not in Depends"
    done
done

# By name too, the libraries whose absence broke installs and the Qt ones.
for package in libsqlite3-0 libqt6charts6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 libqt6dbus6 \
               libc-ares2 libpugixml1v5 libxlsxwriter4; do
    grep -qx "$package" "$work/depends" || fail "Depends does not name $package: $(dpkg-deb -f "$deb" Depends)"
done

# Loaded at run time, invisible to the linker: the package of each must be a
# dependency too.
for plugin in platforms/libqxcb.so platforms/libqoffscreen.so; do
    package=$(package_of "/qt6/plugins/$plugin")
    [[ -n "$package" ]] || { fail "no installed package ships the Qt plugin $plugin"; continue; }
    grep -qx "$package" "$work/depends" || fail "the Qt plugin $plugin comes with $package, not in Depends"
done

grep -qx rbldnsd "$work/recommends" && fail "Recommends names rbldnsd: $(dpkg-deb -f "$deb" Recommends)"
grep -qx publicsuffix "$work/recommends" || fail "Recommends lost publicsuffix: $(dpkg-deb -f "$deb" Recommends)"

# The stripped programs in the package still run.
out=$(env -u DISPLAY -u QT_QPA_PLATFORM timeout 20 "$work/root/usr/bin/quarlo" --version 2>&1)
[[ "$out" == "quarlo "* ]] || fail "the packaged quarlo --version printed '${out:0:200}'"
out=$(timeout 20 "$work/root/usr/bin/quarlo-check" --version 2>&1)
[[ "$out" == "quarlo-check "* ]] || fail "the packaged quarlo-check --version printed '${out:0:200}'"

echo "package test: $failures failures"
[[ $failures -eq 0 ]]
