#!/usr/bin/env python3
"""Helpers of the DNS scan benchmark (bench/scan): test data, the adnshost
driver, result checks and the report. Standard library only.

  gen OUT                      zones, rbldnsd zone list, scanner configuration,
                               targets and the expected results
  adns OUT --window N ...      feeds adnshost at most N queries at a time
  check-quarlo OUT JSON [--dead-zone Z]  compares the scanner's JSON with the zones
  check-adns OUT JSON          the same for the adnshost answers
  check-rblcheck OUT TXT ADDR...  the same for rblcheck's output
  record RESULTS ...           one client's figures of one run, printed and kept
  compare RESULTS --workload W --run N ...  one run's verdict for its workload
  report RESULTS --workload W ...           summary over all runs
"""
import argparse
import json
import os
import random
import select
import statistics
import subprocess
import sys
import time

REASONS = {
    "127.0.0.2": "Spam source",
    "127.0.0.3": "Open proxy",
    "127.0.0.4": "Exploited host",
    "127.0.0.5": "Dynamic address range",
    "127.0.0.10": "Listed by policy",
}


def zone_name(z):
    return "bl%02d.test" % z


def reverse(ip):
    return ".".join(reversed(ip.split(".")))


# ---------------------------------------------------------------- test data

def gen(args):
    out = args.out
    zones_dir = os.path.join(out, "zones")
    os.makedirs(zones_dir, exist_ok=True)
    addresses = ["198.18.%d.%d" % (i // 256, i % 256) for i in range(args.addresses)]
    zones = [zone_name(z) for z in range(1, args.zones + 1)]
    # listings[address][zone] = [(code, text with $ expanded), ...] in the
    # order rbldnsd answers them: dataset a, then dataset b.
    listings = {}
    specs = []
    for z, zone in enumerate(zones, start=1):
        rng = random.Random(args.seed * 1000 + z)
        fraction = 0.05 + 0.15 * (z - 1) / max(1, len(zones) - 1)
        default_text = "Listed in %s, see http://%s/lookup?ip=$" % (zone, zone)
        # 127.0.0.2 is listed, as on every live blacklist: scanners ask it
        # (and 127.0.0.1, which must not be listed) to test the zone.
        a = ["$SOA 0 ns.%s hostmaster.%s 0 1h 10m 1d 1m" % (zone, zone), "$NS 0 ns.%s" % zone,
             ":127.0.0.2:%s" % default_text, "127.0.0.2"]
        b = [":127.0.0.5:Dynamic range per %s: $" % zone]
        taken = set()
        # Every tenth zone also lists a small range.
        if z % 10 == 0 and len(addresses) >= 256:
            base = 8 * (z // 10)
            first = 128 + base
            a.append("198.18.0.%d/29 :127.0.0.10:Range policy listing %s ($)" % (first, zone))
            for i in range(first, first + 8):
                taken.add(i)
                ip = addresses[i]
                listings.setdefault(ip, {})[zone] = [("127.0.0.10", "Range policy listing %s (%s)" % (zone, ip))]
        pool = [i for i in range(len(addresses)) if i not in taken]
        count = max(1, round(fraction * len(addresses)) - len(taken))
        for i in sorted(rng.sample(pool, min(count, len(pool)))):
            ip = addresses[i]
            r = rng.random()
            if r < 0.55:
                a.append(ip)
                answers = [("127.0.0.2", default_text.replace("$", ip))]
            elif r < 0.75:
                text = "Exploited host $ seen by %s (code 4)" % zone
                a.append("%s :127.0.0.4:%s" % (ip, text))
                answers = [("127.0.0.4", text.replace("$", ip))]
            elif r < 0.85:
                # Punctuation and non-ASCII text must survive every layer.
                text = 'Open proxy, "%s" & <tagged> \u2013 caf\u00e9 $' % zone
                a.append("%s :127.0.0.3:%s" % (ip, text))
                answers = [("127.0.0.3", text.replace("$", ip))]
            else:
                # Two datasets of the zone list it: two A records, two TXT records.
                a.append(ip)
                b.append(ip)
                answers = [("127.0.0.2", default_text.replace("$", ip)),
                           ("127.0.0.5", "Dynamic range per %s: %s" % (zone, ip))]
            listings.setdefault(ip, {})[zone] = answers
        num = zone[2:4]
        for suffix, lines in (("a", a), ("b", b)):
            name = "bl%s-%s.zone" % (num, suffix)
            with open(os.path.join(zones_dir, name), "w", encoding="utf-8") as f:
                f.write("\n".join(lines) + "\n")
            specs.append("%s:ip4set:%s" % (zone, name))

    with open(os.path.join(out, "zonespecs"), "w") as f:
        f.write("\n".join(specs) + "\n")
    with open(os.path.join(out, "targets"), "w") as f:
        f.write("\n".join(addresses) + "\n")

    from xml.sax.saxutils import quoteattr
    lines = ["<Quarlo><BlackListServers>"]
    for z, zone in enumerate(zones, start=1):
        lines.append('<Server Server=%s Enabled="TRUE" URL=%s Name=%s><ResultCodes>'
                     % (quoteattr(zone), quoteattr("http://%s/" % zone), quoteattr("BL %02d" % z)))
        for code, reason in REASONS.items():
            lines.append("<ResultCode Address=%s Reason=%s/>" % (quoteattr(code), quoteattr(reason)))
        lines.append("</ResultCodes></Server>")
    lines.append("</BlackListServers></Quarlo>")
    with open(os.path.join(out, "quarlo.cfg"), "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")

    pairs = sum(len(v) for v in listings.values())
    multi = sum(1 for v in listings.values() for answers in v.values() if len(answers) > 1)
    expected = {"addresses": addresses, "zones": zones, "reasons": REASONS, "listings": listings,
                "listed_pairs": pairs, "multi_answer_pairs": multi}
    with open(os.path.join(out, "expected.json"), "w", encoding="utf-8") as f:
        json.dump(expected, f, ensure_ascii=False, indent=1)
    print("%d addresses x %d zones = %d names; %d listed pairs (%d with two answers); %d addresses listed somewhere"
          % (len(addresses), len(zones), len(addresses) * len(zones), pairs, multi, len(listings)))


def load_expected(out):
    with open(os.path.join(out, "expected.json"), encoding="utf-8") as f:
        return json.load(f)


# ---------------------------------------------------------------- adnshost

def unquote_master(text):
    """Character-strings of a master-file TXT rdata, concatenated, as bytes."""
    result = bytearray()
    i = 0
    while i < len(text):
        if text[i] != '"':
            i += 1
            continue
        i += 1
        while i < len(text) and text[i] != '"':
            c = text[i]
            if c == "\\" and i + 1 < len(text):
                nxt = text[i + 1:i + 4]
                if nxt.isdigit() and len(nxt) == 3:  # \ddd, decimal
                    result.append(int(nxt))
                    i += 4
                    continue
                if nxt[:1] == "x" and len(nxt) == 3:  # \xHH, as adnshost writes bytes >= 0x80
                    try:
                        result.append(int(nxt[1:], 16))
                        i += 4
                        continue
                    except ValueError:
                        pass
                result.extend(text[i + 1].encode("utf-8"))
                i += 2
                continue
            result.extend(c.encode("utf-8"))
            i += 1
        i += 1
    return bytes(result)


def adns(args):
    exp = load_expected(args.out)
    names = [(ip, zone) for ip in exp["addresses"] for zone in exp["zones"]]
    # Line-buffered output, so that each answer reaches the driver (and the
    # window refills) at once instead of when a stdio buffer fills.
    cmd = ["/usr/bin/time", "-f", "%e %M", "-o", args.time_file,
           "stdbuf", "-oL", "adnshost", "--no-env", "--asynch", "--pipe", "--fmt-asynch", "--config", "nameserver 127.0.0.1"]
    proc = subprocess.Popen(cmd, stdin=subprocess.PIPE, stdout=subprocess.PIPE, bufsize=0)
    fin, fout = proc.stdin.fileno(), proc.stdout.fileno()
    queue = [(ip, zone, "a") for ip, zone in names]
    queue.reverse()
    ids = {}           # adnshost's sequence id -> (ip, zone, type)
    next_id = 0
    current_type = None
    inflight = 0
    max_inflight = 0
    answers = {}       # ip -> zone -> {"a": [...], "txt": [...], "status": ...}
    failures = {}
    buf = b""
    header = None      # (id, remaining rr lines)
    t0 = time.monotonic()
    deadline = t0 + args.max_seconds
    stdin_open = True
    while True:
        if queue and inflight < args.window:
            out = []
            while queue and inflight < args.window:
                ip, zone, qtype = queue.pop()
                if qtype != current_type:
                    out.append("-t%s" % qtype)
                    current_type = qtype
                out.append("%s.%s" % (reverse(ip), zone))
                ids[next_id] = (ip, zone, qtype)
                next_id += 1
                inflight += 1
            max_inflight = max(max_inflight, inflight)
            os.write(fin, ("\n".join(out) + "\n").encode())
        if not queue and inflight == 0 and stdin_open:
            proc.stdin.close()
            stdin_open = False
        if time.monotonic() > deadline:
            proc.kill()
            sys.exit("adns: gave up after %d s with %d queries in flight" % (args.max_seconds, inflight))
        ready, _, _ = select.select([fout], [], [], 1.0)
        if not ready:
            continue
        chunk = os.read(fout, 1 << 16)
        if not chunk:
            break
        buf += chunk
        *lines, buf = buf.split(b"\n")
        for raw in lines:
            line = raw.decode("latin-1")
            if header is None:
                parts = line.split(" ", 5)
                qid, nrrs, status = int(parts[0]), int(parts[1]), parts[2]
                ip, zone, qtype = ids.pop(qid)
                entry = answers.setdefault(ip, {}).setdefault(zone, {})
                entry[qtype + "_status"] = status
                header = [ip, zone, qtype, nrrs]
                if status != "ok" and not (status == "permfail" and parts[4] in ("nxdomain", "nodata")):
                    failures["%s %s %s" % (ip, zone, qtype)] = line
            else:
                ip, zone, qtype = header[:3]
                entry = answers[ip][zone]
                fields = line.split(" ", 2)
                if qtype == "a" and len(fields) == 3 and fields[1] == "A":
                    entry.setdefault("a", []).append(fields[2])
                elif qtype == "txt" and len(fields) == 3 and fields[1] == "TXT":
                    entry.setdefault("txt", []).append(unquote_master(fields[2]).decode("utf-8", "replace"))
                header[3] -= 1
            if header is not None and header[3] == 0:
                ip, zone, qtype = header[:3]
                header = None
                inflight -= 1
                # A listed name gets its TXT query, as a scanner does.
                if qtype == "a" and answers[ip][zone].get("a"):
                    queue.append((ip, zone, "txt"))
    proc.wait()
    elapsed = time.monotonic() - t0
    with open(args.answers, "w", encoding="utf-8") as f:
        json.dump({"answers": answers, "failures": failures, "queries": next_id, "max_inflight": max_inflight,
                   "driver_elapsed": elapsed, "exit": proc.returncode}, f, ensure_ascii=False)


# ---------------------------------------------------------------- checks

def report_problems(problems, limit=15):
    if not problems:
        print("results: exact")
        return 0
    print("results: %d differences" % len(problems))
    for p in problems[:limit]:
        print("  " + p)
    if len(problems) > limit:
        print("  ... %d more" % (len(problems) - limit))
    return 1


def check_quarlo(args):
    exp = load_expected(args.out)
    reasons = exp["reasons"]
    dead = args.dead_zone
    # A zone that never answers lists nothing the scanner can see.
    listings = {ip: {z: a for z, a in zones.items() if z != dead} for ip, zones in exp["listings"].items()}
    listings = {ip: zones for ip, zones in listings.items() if zones}
    problems, notes = [], {"multi_same_text": 0, "multi_last_text": 0}
    # On a lossy path a query can lose every try. The scanner must then say
    # so: the pair under "failed", or a listing without its text. Counted
    # apart; anything else is still a difference.
    unanswered, textless = [], []
    try:
        with open(args.json, encoding="utf-8") as f:
            data = json.load(f)
    except (OSError, ValueError) as e:
        print("results: unreadable JSON (%s)" % e)
        return 1
    # Either a list of targets or {"lists": [...], "targets": [...]}.
    items = data.get("targets", []) if isinstance(data, dict) else data
    lists = data.get("lists", []) if isinstance(data, dict) else []
    statuses = {}
    seen = set()
    for item in items:
        target = item.get("target")
        if target in seen:
            problems.append("%s reported twice" % target)
        seen.add(target)
        if target not in exp["addresses"]:
            problems.append("unexpected target %r" % target)
            continue
        want = listings.get(target, {})
        failed = {f.get("zone"): f.get("reason") for f in item.get("failed", [])}
        if args.tolerate_loss:
            lost = {z for z in want if z in failed}
            unanswered.extend("%s %s (%s)" % (target, z, failed[z]) for z in sorted(lost))
            want = {z: a for z, a in want.items() if z not in lost}
        status = item.get("status")
        statuses[status] = statuses.get(status, 0) + 1
        if want and status != "listed":
            problems.append("%s: status %s, expected listed" % (target, status))
        elif not want and status == "listed":
            problems.append("%s: status listed, expected %s" % (target, "clean" if not dead else "not listed"))
        elif not want and not dead and status != "clean" and not (args.tolerate_loss and failed):
            problems.append("%s: status %s, expected clean" % (target, status))
        if item.get("ip") != target:
            problems.append("%s: ip %r" % (target, item.get("ip")))
        got_zones = {}
        for server in item.get("listedBy", item.get("servers", [])):
            zone = server.get("zone")
            if zone in got_zones:
                problems.append("%s: zone %s reported twice" % (target, zone))
            got_zones[zone] = server
        for zone in sorted(set(got_zones) - set(want)):
            problems.append("%s: listed by %s, which does not list it" % (target, zone))
        for zone in sorted(set(want) - set(got_zones)):
            problems.append("%s: listing by %s missing" % (target, zone))
        for zone in sorted(set(want) & set(got_zones)):
            server, answers = got_zones[zone], want[zone]
            z = int(zone[2:4])
            if server.get("name") != "BL %02d" % z or server.get("url") != "http://%s/" % zone:
                problems.append("%s %s: name/url %r %r" % (target, zone, server.get("name"), server.get("url")))
            responses = server.get("responses", [])
            got_codes = [r.get("address") for r in responses]
            want_codes = [code for code, _ in answers]
            if sorted(got_codes) != sorted(want_codes):
                problems.append("%s %s: answers %s, expected %s" % (target, zone, got_codes, want_codes))
                continue
            texts = [text for _, text in answers]
            for r in responses:
                code = r.get("address")
                if r.get("reason") != reasons[code]:
                    problems.append("%s %s %s: reason %r" % (target, zone, code, r.get("reason")))
                want_text = dict(answers)[code]
                if args.tolerate_loss and r.get("txt") == "":
                    textless.append("%s %s %s" % (target, zone, code))
                elif len(answers) == 1:
                    if r.get("txt") != want_text:
                        problems.append("%s %s: txt %r, expected %r" % (target, zone, r.get("txt"), want_text))
                elif not set((r.get("txt") or "").split(" / ")) <= set(texts):
                    # DNS does not pair TXT with A records: any of the name's
                    # texts is a right answer, or several joined by " / "
                    # (what the scanner shows when the name has more than
                    # one); a text the zone does not have is not.
                    problems.append("%s %s %s: txt %r is none of %r" % (target, zone, code, r.get("txt"), texts))
            if len(answers) > 1:
                got_texts = {r.get("txt") for r in responses}
                if len(got_texts) == 1:
                    notes["multi_same_text"] += 1
                    if got_texts == {texts[-1]}:
                        notes["multi_last_text"] += 1
    for target in exp["addresses"]:
        if target not in seen:
            problems.append("%s missing from the output" % target)
    health = {}
    for entry in lists:
        health.setdefault(entry.get("health"), []).append(entry.get("zone"))
        if entry.get("zone") == dead and entry.get("health") != "failed":
            problems.append("dead zone %s: health %r, expected failed" % (dead, entry.get("health")))
        elif entry.get("zone") != dead and entry.get("health") == "failed":
            problems.append("zone %s reported failed" % entry.get("zone"))
    rc = report_problems(problems)
    if args.tolerate_loss:
        print("  unanswered after every try: %d pairs reported failed%s, %d listings without their text%s"
              % (len(unanswered), (" (" + ", ".join(unanswered[:5]) + ("..." if len(unanswered) > 5 else "") + ")")
                 if unanswered else "", len(textless),
                 (" (" + ", ".join(textless[:5]) + ("..." if len(textless) > 5 else "") + ")") if textless else ""))
    if lists:
        print("  lists: " + ", ".join("%s %d" % (h, len(z)) for h, z in sorted(health.items(), key=str))
              + ("; dead zone %s" % dead if dead else ""))
    if dead:
        print("  target statuses: " + ", ".join("%s %d" % kv for kv in sorted(statuses.items(), key=str)))
    if exp["multi_answer_pairs"]:
        print("  note: %d two-answer listings: %d report one text for both answers (%d of them the last TXT record)"
              % (exp["multi_answer_pairs"], notes["multi_same_text"], notes["multi_last_text"]))
    return rc


def check_adns(args):
    exp = load_expected(args.out)
    with open(args.json, encoding="utf-8") as f:
        data = json.load(f)
    problems = ["query failed: %s" % line for line in data["failures"].values()]
    answers = data["answers"]
    for ip in exp["addresses"]:
        for zone in exp["zones"]:
            want = exp["listings"].get(ip, {}).get(zone, [])
            got = answers.get(ip, {}).get(zone, {})
            if "a_status" not in got:
                problems.append("%s %s: no answer" % (ip, zone))
                continue
            if sorted(got.get("a", [])) != sorted(code for code, _ in want):
                problems.append("%s %s: A %s, expected %s" % (ip, zone, got.get("a", []), [c for c, _ in want]))
            if want and sorted(got.get("txt", [])) != sorted(text for _, text in want):
                problems.append("%s %s: TXT %r, expected %r" % (ip, zone, got.get("txt"), [t for _, t in want]))
    return report_problems(problems)


def check_rblcheck(args):
    exp = load_expected(args.out)
    with open(args.text, encoding="utf-8", errors="replace") as f:
        lines = [line.rstrip("\n") for line in f if line.strip()]
    got = {}
    problems = []
    for line in lines:
        head, _, text = line.partition(": ")
        words = head.split()
        if len(words) >= 4 and words[1:3] == ["listed", "by"]:
            got[(words[0], words[3])] = text
        elif len(words) >= 5 and words[1:4] == ["not", "listed", "by"]:
            got[(words[0], words[4])] = None
        else:
            problems.append("unparsed line: %r" % line)
    for ip in args.addresses:
        for zone in exp["zones"]:
            want = exp["listings"].get(ip, {}).get(zone)
            if (ip, zone) not in got:
                problems.append("%s %s: no result" % (ip, zone))
            elif (got[(ip, zone)] is not None) != bool(want):
                problems.append("%s %s: %s, expected %s" % (ip, zone, "listed" if got[(ip, zone)] is not None
                                                            else "not listed", "listed" if want else "not listed"))
    return report_problems(problems)


# ---------------------------------------------------------------- report

def read_time(path):
    """Wall seconds and peak KiB from /usr/bin/time -f '%e %M' (last line)."""
    with open(path) as f:
        lines = [line.split() for line in f if line.strip()]
    wall, kib = lines[-1][-2:]
    return float(wall), int(kib)


def profile(stats, window_s=0.5):
    """Mean queries in flight per window, from the proxy's 0.1 s buckets."""
    means = stats.get("inflight_mean", [])
    per = max(1, int(round(window_s / stats.get("bucket_s", 0.1))))
    return [sum(means[i:i + per]) / len(means[i:i + per]) for i in range(0, len(means), per)]


def record(args):
    wall, kib = read_time(args.time_file)
    with open(args.proxy_stats) as f:
        stats = json.load(f)
    retries = stats["retry_while_pending"] + stats["retry_after_answer"] + stats["retry_after_server_loss"]
    busy = [m for m in stats.get("inflight_mean", []) if m > 0]
    distinct = stats.get("distinct_questions", stats["new_queries"] - stats["repeated_questions"])
    row = {
        "wall": wall, "peak_mib": kib / 1024.0, "queries": stats["queries"], "names": args.names,
        "qps": stats["queries"] / wall if wall > 0 else 0, "exit": args.exit,
        "proxy": {
            "retries": retries, "retry_while_pending": stats["retry_while_pending"],
            "retry_after_answer": stats["retry_after_answer"],
            "retry_after_server_loss": stats["retry_after_server_loss"],
            "repeated_questions": stats["repeated_questions"], "server_unanswered": stats["server_unanswered"],
            "id_reuse_in_flight": stats["id_reuse_in_flight"], "client_sockets": stats["client_sockets"],
            "rcvbuf_drops": args.rcvbuf_drops,
            "max_inflight": stats["max_inflight"],
            "mean_inflight_busy": statistics.mean(busy) if busy else 0,
            "late_up_max_ms": stats["late_up_max_ms"], "late_down_max_ms": stats["late_down_max_ms"],
            "late_over_1ms": stats["late_up_over_1ms"] + stats["late_down_over_1ms"],
            "active_s": stats["last_delivery_s"] - stats["first_query_s"],
            "cpu_s": stats["cpu_user_s"] + stats["cpu_sys_s"],
            "profile": [round(x) for x in profile(stats)],
            "distinct_questions": distinct,
            "resent": stats["queries"] - distinct,
            "dropped_up": stats.get("dropped_up", 0), "dropped_down": stats.get("dropped_down", 0),
            "dead_zone_queries": stats.get("dead_zone_queries", 0),
        },
    }
    if args.exact is not None:
        row["exact"] = args.exact == 1
    line = {}
    if os.path.exists(args.results):
        with open(args.results, encoding="utf-8") as f:
            lines = [json.loads(x) for x in f if x.strip()]
        if lines and lines[-1].get("run") == args.run:
            line = lines.pop()
    else:
        lines = []
    line["run"] = args.run
    line[args.client] = row
    lines.append(line)
    with open(args.results, "w", encoding="utf-8") as f:
        for x in lines:
            f.write(json.dumps(x) + "\n")
    label = client_label(args.client)
    px = row["proxy"]
    print("  %-12s %6.2f s wall  %6.0f queries/s (%d queries for %d names)  peak %5.1f MiB  exit %d"
          % (label, wall, row["qps"], row["queries"], args.names, row["peak_mib"], args.exit))
    print("  %-12s proxy: retransmissions %d (in flight %d, after answer %d, after server loss %d), repeated "
          "questions %d, server drops %d, ids reused in flight %d, client sockets %d"
          % ("", retries, px["retry_while_pending"], px["retry_after_answer"], px["retry_after_server_loss"],
             px["repeated_questions"], px["server_unanswered"], px["id_reuse_in_flight"], px["client_sockets"]))
    print("  %-12s kernel: %d datagrams dropped at full receive buffers (servers, proxy or client)"
          % ("", args.rcvbuf_drops))
    print("  %-12s in flight: max %d, mean %.0f while busy; network time %.2f s; proxy lateness max %.2f/%.2f ms "
          "(%d over 1 ms), proxy cpu %.2f s" % ("", px["max_inflight"], px["mean_inflight_busy"], px["active_s"],
                                                px["late_up_max_ms"], px["late_down_max_ms"], px["late_over_1ms"],
                                                px["cpu_s"]))
    print("  %-12s queries: %d sent for %d distinct questions (%d names to check), %d sent again; "
          "lost on the way: %d there, %d back; swallowed by the dead zone: %d"
          % ("", row["queries"], px["distinct_questions"], args.names, px["resent"], px["dropped_up"],
             px["dropped_down"], px["dead_zone_queries"]))
    print("  %-12s in flight per 0.5 s: %s" % ("", " ".join(str(x) for x in px["profile"][:40])))
    return 0


def client_label(client):
    return {"quarlo": "quarlo-check", "quarlo-live": "quarlo-check", "quarlo-dead": "quarlo-check",
            "adns": "adnshost", "rblcheck": "rblcheck"}.get(client, client)


# What each workload compares, and its target: (client, reference, limit,
# description). The reference "floor" is the time the window allows at the
# round-trip time: every distinct question the proxy saw, a window at a time,
# plus one round trip.
WORKLOADS = {
    "standard": ("quarlo", "adns", 1.25, "quarlo-check / adnshost wall time"),
    "dead-zone": ("quarlo-dead", "quarlo-live", 1.1, "quarlo-check with a dead zone / all zones answering"),
    "slow": ("quarlo", "adns", 1.2, "quarlo-check / adnshost wall time"),
    "lossy": ("quarlo", "floor", 1.1, "quarlo-check / floor"),
    "throughput": ("quarlo", "adns", 1.1, "quarlo-check / adnshost wall time"),
    "slash16": ("quarlo", None, None, "quarlo-check wall time"),
}
# Peak memory of a quarlo-check run, MiB, and for a workload without a
# reference client the wall time, seconds.
MEMORY_LIMITS = {"throughput": 60, "slash16": 400}
WALL_LIMITS = {"slash16": 240}


def floor_s(row, rtt_ms, window):
    rtt = rtt_ms / 1000.0
    return row["proxy"]["distinct_questions"] * rtt / window + rtt


def ratio_of(run, workload, rtt_ms, window):
    client, reference, _, _ = WORKLOADS[workload]
    if client not in run:
        return None, None
    if reference == "floor":
        ref = floor_s(run[client], rtt_ms, window)
    elif reference in run:
        ref = run[reference]["wall"]
    else:
        return None, None
    return run[client]["wall"] / ref, ref


def load_runs(path):
    with open(path, encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip()]


def compare(args):
    runs = [r for r in load_runs(args.results) if r["run"] == args.run]
    if not runs:
        return 0
    run = runs[-1]
    client, reference, limit, what = WORKLOADS[args.workload]
    ratio, ref = ratio_of(run, args.workload, args.rtt_ms, args.window)
    wall_limit = WALL_LIMITS.get(args.workload)
    if wall_limit and client in run:
        wall = run[client]["wall"]
        print("  %s: %.1f s (target < %d s: %s)" % (what, wall, wall_limit, "OK" if wall < wall_limit else "MISSED"))
    if ratio is not None:
        ref_text = ("floor %.2f s" % ref) if reference == "floor" else ("%.2f s" % ref)
        print("  %s: %.2fx of %s (target <= %.2f: %s)" % (what, ratio, ref_text, limit,
                                                          "OK" if ratio <= limit else "MISSED"))
    if args.workload in ("slow", "lossy") and client in run:
        px = run[client]["proxy"]
        lost = px["dropped_up"] + px["dropped_down"]
        print("  quarlo-check sent %d queries for %d names (%d distinct questions with its zone tests and TXT "
              "queries): %d sent again, %d datagrams lost on the way%s"
              % (run[client]["queries"], args.names, px["distinct_questions"], px["resent"], lost,
                 "" if lost or px["resent"] == 0 else "  <- resent without a loss"))
    if "rblcheck" in run:
        per_query = run["rblcheck"]["wall"] / max(1, run["rblcheck"]["queries"])
        print("  rblcheck sequential: %.1f ms per query, %.0f s extrapolated to all %d names"
              % (per_query * 1000, per_query * args.names, args.names))
    return 0


def fmt_spread(values, unit="", digits=2):
    if not values:
        return "-"
    if len(values) == 1:
        return "%.*f%s" % (digits, values[0], unit)
    return "median %.*f%s (min %.*f, max %.*f, spread %.0f%%)" % (
        digits, statistics.median(values), unit, digits, min(values), digits, max(values),
        100.0 * (max(values) - min(values)) / statistics.median(values) if statistics.median(values) else 0)


def report(args):
    runs = load_runs(args.results)
    if not runs:
        print("no runs")
        return 1
    client, reference, limit, what = WORKLOADS[args.workload]
    print()
    print("=== %s: summary over %d run(s) ===" % (args.workload, len(runs)))
    for name in ("quarlo", "quarlo-live", "quarlo-dead", "adns", "rblcheck"):
        walls = [r[name]["wall"] for r in runs if name in r]
        if not walls:
            continue
        mems = [r[name]["peak_mib"] for r in runs if name in r]
        qps = [r[name]["qps"] for r in runs if name in r]
        extra = {"quarlo-live": " (all zones answer)", "quarlo-dead": " (one dead zone)"}.get(name, "")
        print("%-13s wall %s; %s q/s; peak %s%s" % (client_label(name), fmt_spread(walls, " s"), fmt_spread(qps, "", 0),
                                                   fmt_spread(mems, " MiB", 1), extra))
    if reference == "floor":
        floors = [floor_s(r[client], args.rtt_ms, args.window) for r in runs if client in r]
        print("floor (distinct questions x %d ms / %d + one round trip): %s"
              % (args.rtt_ms, args.window, fmt_spread(floors, " s")))
    ratios = [x for x in (ratio_of(r, args.workload, args.rtt_ms, args.window)[0] for r in runs) if x is not None]
    if ratios:
        print("%s: %s  target <= %.2f: %s" % (what, fmt_spread(ratios, "x"), limit,
                                              "OK" if max(ratios) <= limit else "MISSED"))
    quarlos = [(name, r[name]) for r in runs for name in ("quarlo", "quarlo-live", "quarlo-dead") if name in r]
    exact = [row.get("exact") for _, row in quarlos]
    if exact:
        print("quarlo results exact in %d of %d runs: %s" % (sum(1 for e in exact if e), len(exact),
                                                              "OK" if all(exact) else "MISSED"))
        mem = max(row["peak_mib"] for _, row in quarlos)
        mem_limit = MEMORY_LIMITS.get(args.workload, 50)
        print("quarlo peak memory max %.1f MiB  target < %d MiB: %s"
              % (mem, mem_limit, "OK" if mem < mem_limit else "MISSED"))
    wall_limit = WALL_LIMITS.get(args.workload)
    walls = [r[client]["wall"] for r in runs if client in r]
    if wall_limit and walls:
        print("%s: %s  target < %d s: %s" % (what, fmt_spread(walls, " s"), wall_limit,
                                              "OK" if max(walls) < wall_limit else "MISSED"))
    sent = sum(row["queries"] for _, row in quarlos)
    distinct = sum(row["proxy"]["distinct_questions"] for _, row in quarlos)
    resent = sum(row["proxy"]["resent"] for _, row in quarlos)
    lost = sum(row["proxy"]["dropped_up"] + row["proxy"]["dropped_down"] for _, row in quarlos)
    dead = sum(row["proxy"]["dead_zone_queries"] for _, row in quarlos)
    drops = sum(r[c]["proxy"].get("server_unanswered", 0) for r in runs for c in r if c != "run")
    kernel = sum(r[c]["proxy"].get("rcvbuf_drops", 0) for r in runs for c in r if c != "run")
    print("over all runs: server drops %d, receive-buffer drops %d; quarlo-check sent %d queries for %d distinct "
          "questions (%d again), %d datagrams lost on the way, %d swallowed by the dead zone"
          % (drops, kernel, sent, distinct, resent, lost, dead))
    return 0


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = p.add_subparsers(dest="cmd", required=True)
    g = sub.add_parser("gen")
    g.add_argument("out")
    g.add_argument("--addresses", type=int, default=256)
    g.add_argument("--zones", type=int, default=50)
    g.add_argument("--seed", type=int, default=20240601)
    a = sub.add_parser("adns")
    a.add_argument("out")
    a.add_argument("--window", type=int, default=250)
    a.add_argument("--answers", required=True)
    a.add_argument("--time-file", required=True)
    a.add_argument("--max-seconds", type=int, default=120)
    c = sub.add_parser("check-quarlo")
    c.add_argument("out")
    c.add_argument("json")
    c.add_argument("--dead-zone")
    c.add_argument("--tolerate-loss", action="store_true",
                   help="pairs reported failed and empty texts are counted, not differences")
    c = sub.add_parser("check-adns")
    c.add_argument("out")
    c.add_argument("json")
    c = sub.add_parser("check-rblcheck")
    c.add_argument("out")
    c.add_argument("text")
    c.add_argument("addresses", nargs="+")
    r = sub.add_parser("record")
    r.add_argument("results")
    r.add_argument("--run", type=int, required=True)
    r.add_argument("--client", choices=("quarlo", "quarlo-live", "quarlo-dead", "adns", "rblcheck"), required=True)
    r.add_argument("--time-file", required=True)
    r.add_argument("--proxy-stats", required=True)
    r.add_argument("--names", type=int, required=True)
    r.add_argument("--exit", type=int, default=0)
    r.add_argument("--exact", type=int)
    r.add_argument("--rcvbuf-drops", type=int, default=0)
    for name in ("compare", "report"):
        r = sub.add_parser(name)
        r.add_argument("results")
        r.add_argument("--workload", choices=sorted(WORKLOADS), default="standard")
        r.add_argument("--rtt-ms", type=float, default=40)
        r.add_argument("--window", type=int, default=250)
        if name == "compare":
            r.add_argument("--run", type=int, required=True)
            r.add_argument("--names", type=int, required=True)
    args = p.parse_args()
    handler = {"gen": gen, "adns": adns, "check-quarlo": check_quarlo, "check-adns": check_adns,
               "check-rblcheck": check_rblcheck, "record": record, "compare": compare, "report": report}[args.cmd]
    sys.exit(handler(args) or 0)


if __name__ == "__main__":
    main()
