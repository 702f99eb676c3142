# Sourced by the shell tests: start_rbldnsd DIR DATASET... starts rbldnsd on a
# free loopback port serving the datasets (zone:type:file, files in DIR) and
# sets rbl_pid and port; ends the script when it cannot start. The caller
# kills "$rbl_pid" when done.
start_rbldnsd() {
    local dir="$1"; shift
    local user_opt=(); [[ $EUID -eq 0 ]] && user_opt=(-u nobody)
    local attempt
    for attempt in 1 2 3 4 5; do
        port=$((20000 + RANDOM % 30000))
        /usr/sbin/rbldnsd -n -b "127.0.0.1/$port" -w "$dir" -t 60 -c 0 "${user_opt[@]}" "$@" \
            >"$dir/rbldnsd.log" 2>&1 &
        rbl_pid=$!
        sleep 0.5
        kill -0 "$rbl_pid" 2>/dev/null && return 0
        rbl_pid=
    done
    cat "$dir/rbldnsd.log"
    echo "rbldnsd did not start"
    exit 1
}

# Sets up a shell test run with SOURCE_DIR BUILD_DIR: src, build, a scratch
# folder work (removed at exit, with any rbldnsd started), and fail MESSAGE,
# which counts failures in $failures.
begin_shell_test() {
    src="$(cd "$1" && pwd)"
    build="$(cd "$2" && pwd)"
    work="$(mktemp -d)"
    chmod 755 "$work"
    trap '[[ -n "${rbl_pid:-}" ]] && kill "$rbl_pid" 2>/dev/null; rm -rf "$work"' EXIT
    failures=0
}
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
