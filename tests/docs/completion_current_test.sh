#!/usr/bin/env bash
# The committed bash completion of quarlo-check is what the program's table
# of options prints: an option added to the program without printing the
# file anew fails here (see "quarlo-check --bash-completion").
#
# usage: completion_current_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/rbldnsd.sh"
begin_shell_test "$1" "$2"

completion="$src/data/completion/quarlo-check"
timeout 20 "$build/quarlo-check" --bash-completion </dev/null >"$work/printed" 2>"$work/err" \
    || fail "quarlo-check --bash-completion failed: $(head -c 300 "$work/err")"
[[ -s "$work/printed" ]] || fail "quarlo-check --bash-completion printed nothing"
bash -n "$work/printed" 2>"$work/syntax" || fail "the printed completion is no bash: $(head -c 300 "$work/syntax")"
diff -u "$completion" "$work/printed" >"$work/diff" \
    || fail "data/completion/quarlo-check is not what the program prints; run
    ./build/quarlo-check --bash-completion > data/completion/quarlo-check
$(head -c 2000 "$work/diff")"

echo "completion current test: $failures failures"
[[ $failures -eq 0 ]]
