#!/usr/bin/env bash
# The shipped Prometheus alert rules are valid (promtool check rules) and
# fire as their unit tests say (promtool test rules); the Grafana dashboard
# is JSON that asks only for series Quarlo publishes. Skipped (77) where
# promtool is not installed.
#
# usage: promtool_test.sh SOURCE_DIR
set -uo pipefail
src="$(cd "$1" && pwd)"
command -v promtool >/dev/null || { echo "promtool not installed; skipped"; exit 77; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

promtool check rules "$src/data/monitoring/quarlo-alerts.yml" || fail "promtool check rules"
(cd "$src/tests/monitoring" && promtool test rules quarlo-alerts.test.yml) || fail "promtool test rules"

dashboard="$src/data/monitoring/quarlo-dashboard.json"
python3 - "$dashboard" "$src/src/cli" <<'PY' || fail "the dashboard"
import json, pathlib, re, sys
board = json.load(open(sys.argv[1]))
sources = "".join(p.read_text() for p in pathlib.Path(sys.argv[2]).glob("*.cpp"))
published = set(re.findall(r'\b(quarlo_[a-z_]+)\b', sources))
exprs = [t["expr"] for p in board["panels"] for t in p.get("targets", [])]
bad = 0
for expr in exprs:
    for name in re.findall(r'\b(quarlo_[a-z_]+)\b', expr):
        if name not in published:
            print(f"the dashboard asks for {name}, which nothing publishes"); bad = 1
titles = " ".join(p.get("title", "") for p in board["panels"]).lower()
for wanted in ("listed", "list health", "duration"):
    if wanted not in titles:
        print(f"no dashboard panel about {wanted}"); bad = 1
# Provisioning needs a datasource it can bind: an input variable, not an id.
if any(p.get("datasource", {}).get("uid") != "${datasource}" for p in board["panels"]):
    print("panels do not use the datasource variable"); bad = 1
sys.exit(bad)
PY

echo "monitoring kit test: $failures failures"
[[ $failures -eq 0 ]]
