#!/usr/bin/env python3
"""Times trovix-find against GNU find, fd and bfs on one folder tree.

    compare_find_tools.py --tree DIR [options]
    compare_find_tools.py --entries N [--seed S] [--mktree PATH/mktree.py] [options]

Every query runs through each tool with a warm cache, round after round, the
tools interleaved (their order rotates every round) so that a busy machine
slows all of them alike. The first round warms the cache and checks the
results: each tool's NUL-separated paths are compared, as sets, with those of
trovix-find, and every difference is either explained (what trovix-find
leaves out by design) or reported as unexplained. The timed rounds follow.

Queries (the needles and bounds are options):
  rare     a rare name substring              trovix-find invoice
  common   a common one                       trovix-find a
  ends     an ends-with                       trovix-find '*.jpg'
  size     regular files of at least 1 MiB    trovix-find --size '>1M'
  date     modified before a day              trovix-find --modified before:2014-01-01

Tools: trovix-find (its readers in the threads column); "trovix-find +stat" (TROVIX_FIND_STAT_MATCHES=1, rare and
common only: the walk stats its matches as the window's does); GNU find
(LC_ALL=C, -mindepth 1); fd -u -F -i -j1 and with its default threads; bfs;
and, given the floor walker, walkfloor -S match -x and -S none (rare and
common only).

Cold cache: --cold drops the page, dentry and inode caches (`sync; echo 3 >
/proc/sys/vm/drop_caches`, root only) before every timed run; when it cannot,
it says so and the runs stay warm. Scaling: --trovix-threads 1,2,4,8,16 adds a
row per reader count (trovix-find --threads N); --fd-threads and
--floor-threads add fd -jN and walkfloor -S match -x -j N rows.

For each tool and query the table gives the median and minimum wall time, the
median CPU time (user + system; steadier than wall time on a shared machine),
the ratio of the median to trovix-find's, the peak resident memory of the
process (ru_maxrss from wait4), and the number of paths. The goals of the
command are checked at the end.

Trees: --tree walks an existing folder (left in place). --entries generates
one in --workdir (removed at the end unless --keep-tree) with the project's
bench_mktree, or with the reference generator given by --mktree.

fd-find and bfs are benchmark-only tools: when one is missing the script
installs it with apt-get if run as root (unless --no-install), or says what
to install and leaves that tool out.
"""
import argparse
import json
import os
import shlex
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)

TOOLS_WITH_PACKAGES = (("fd", "fd-find"), ("bfs", "bfs"), ("time", "time"))


def log(text):
    print(text, file=sys.stderr, flush=True)


# ------------------------------------------------------------------ set-up

def find_tool(names):
    for n in names:
        p = shutil.which(n)
        if p:
            return p
    return None


def ensure_tools(install):
    """Paths of fd, bfs and GNU time (None when missing), installing them as root if asked."""
    def look():
        return {"fd": find_tool(("fdfind", "fd")), "bfs": find_tool(("bfs",)),
                "time": "/usr/bin/time" if os.access("/usr/bin/time", os.X_OK) else None}

    found = look()
    missing = [pkg for key, pkg in TOOLS_WITH_PACKAGES if not found[key]]
    if missing and install and os.geteuid() == 0:
        log("installing %s with apt-get" % " ".join(missing))
        cmd = ["apt-get", "install", "-y", "--no-install-recommends"] + missing
        env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
        if subprocess.run(cmd, env=env, stdout=subprocess.DEVNULL).returncode != 0:
            subprocess.run(["apt-get", "update"], env=env, stdout=subprocess.DEVNULL)
            subprocess.run(cmd, env=env, stdout=subprocess.DEVNULL)
        found = look()
        missing = [pkg for key, pkg in TOOLS_WITH_PACKAGES if not found[key]]
    if missing:
        log("missing %s: install with `apt-get install %s` (as root); left out of the comparison"
            % (", ".join(missing), " ".join(missing)))
    return found


def compile_walkfloor(source, workdir):
    out = os.path.join(workdir, "walkfloor")
    subprocess.run(["cc", "-O2", "-pthread", "-o", out, source], check=True)
    return out


def generate_tree(args, workdir):
    tree = os.path.join(workdir, "tree-%d-%d" % (args.entries, args.seed))
    if os.path.exists(tree):
        raise SystemExit("%s exists already: pass it with --tree, or remove it" % tree)
    t0 = time.monotonic()
    if args.mktree:
        log("generating %d entries with %s" % (args.entries, args.mktree))
        subprocess.run([sys.executable, args.mktree, "--out", tree, "--entries", str(args.entries),
                        "--seed", str(args.seed)], check=True, stdout=sys.stderr)
    else:
        maker = os.path.join(args.build, "bench", "bench_mktree")
        if not os.access(maker, os.X_OK):
            raise SystemExit("no tree generator: build bench_mktree (ninja -C %s bench_mktree), "
                             "pass --mktree PATH/mktree.py, or pass --tree DIR" % args.build)
        log("generating %d entries with %s" % (args.entries, maker))
        os.mkdir(tree)
        subprocess.run([maker, tree, str(args.entries), str(args.seed)], check=True, stdout=sys.stderr)
    subprocess.run(["sync"], check=True)
    log("tree ready in %.1f s" % (time.monotonic() - t0))
    return tree


# ------------------------------------------------------------------ queries

def glob_escape(text):
    return "".join("\\" + c if c in "*?[]\\" else c for c in text)


def local_midnight(day):
    return int(time.mktime(time.strptime(day, "%Y-%m-%d")))


def make_queries(a):
    """Each query: its trovix-find arguments, the predicates of find and bfs,
    the arguments of fd, and the floor walker's needle where it applies."""
    qs = []
    for key, needle in (("rare", a.rare), ("common", a.common)):
        qs.append({
            "key": key, "title": "name contains \"%s\"" % needle,
            "trovix": [needle],
            "find": ["-iname", "*%s*" % glob_escape(needle)],
            "fd": (["-F", "-i"], needle),
            "floor": needle,
        })
    suffix = a.ends
    qs.append({
        "key": "ends", "title": "name ends with \"%s\"" % suffix,
        "trovix": ["*" + suffix],
        "find": ["-iname", "*" + glob_escape(suffix)],
        # -F cannot anchor a needle: a case-insensitive glob on the name.
        "fd": (["-i", "-g"], "*" + glob_escape(suffix)),
    })
    units = {"B": 1, "K": 1 << 10, "M": 1 << 20, "G": 1 << 30, "T": 1 << 40}
    n = a.size_min.upper()
    size = int(n[:-1]) * units[n[-1]] if n[-1] in units else int(n)
    qs.append({
        "key": "size", "title": "regular files of at least %s" % a.size_min,
        "trovix": ["--size", ">" + a.size_min],
        "find": ["-type", "f", "-size", "+%dc" % (size - 1)],
        "fd": (["-t", "f", "-S", "+%db" % size], ""),
    })
    bound = local_midnight(a.before)
    qs.append({
        "key": "date", "title": "modified before %s" % a.before,
        "trovix": ["--modified", "before:" + a.before],
        # trovix: mtime < midnight; find's ! -newermt: mtime <= midnight (equal only to the nanosecond)
        "find": ["!", "-newermt", "%sT00:00:00" % a.before],
        "fd": (["--changed-before", "%s 00:00:00" % a.before], ""),
        "bound": bound,
    })
    wanted = a.queries.split(",")
    return [q for q in qs if q["key"] in wanted]


def default_readers():
    """The readers trovix-find starts when not told: TROVIX_WALK_THREADS, or 16."""
    try:
        n = int(os.environ.get("TROVIX_WALK_THREADS", ""))
        if n >= 1:
            return min(n, 64)
    except ValueError:
        pass
    return 16


def threads_of(label, argv):
    """The thread count a row ran with, for the table."""
    if label.startswith("trovix-find"):
        return int(argv[argv.index("--threads") + 1]) if "--threads" in argv else default_readers()
    for flag in ("-j",):
        for i, arg in enumerate(argv):
            if arg.startswith(flag) and arg[2:].isdigit():
                return int(arg[2:])
            if arg == flag and i + 1 < len(argv):
                return int(argv[i + 1])
    if label.startswith("fd"):
        return os.cpu_count() or 1
    return 1


def commands(q, tree, t):
    """(label, argv, env-overrides, compared) for every tool running query q."""
    out = []
    trovix = [t.trovix, "--no-excluded", "-0", "-s", tree] + q["trovix"]
    out.append(("trovix-find", trovix, {}))
    if "floor" in q:
        out.append(("trovix-find +stat", trovix, {"TROVIX_FIND_STAT_MATCHES": "1"}))
    for n in t.trovix_threads:
        out.append(("trovix-find --threads %d" % n, trovix[:1] + ["--threads", str(n)] + trovix[1:], {}))
    out.append(("GNU find", ["find", tree, "-mindepth", "1"] + q["find"] + ["-print0"], {"LC_ALL": "C"}))
    if t.bfs:
        out.append(("bfs", [t.bfs, tree, "-mindepth", "1"] + q["find"] + ["-print0"], {"LC_ALL": "C"}))
    if t.fd:
        options, pattern = q["fd"]
        fd = [t.fd, "-u"] + options + ["-0", "--", pattern, tree]
        out.append(("fd -j1", fd[:-3] + ["-j1"] + fd[-3:], {}))
        out.append(("fd -j%d" % (os.cpu_count() or 1), fd, {}))
        for n in t.fd_threads:
            if n != 1 and n != (os.cpu_count() or 1):
                out.append(("fd -j%d" % n, fd[:-3] + ["-j%d" % n] + fd[-3:], {}))
    if t.walkfloor and "floor" in q:
        out.append(("walkfloor -S match -x", [t.walkfloor, "-0", "-S", "match", "-x", tree, q["floor"]], {}))
        out.append(("walkfloor -S none", [t.walkfloor, "-0", "-S", "none", tree, q["floor"]], {}))
        for n in t.floor_threads:
            if n != 1:
                out.append(("walkfloor -S match -x -j %d" % n,
                            [t.walkfloor, "-0", "-S", "match", "-x", "-j", str(n), tree, q["floor"]], {}))
    return out


# ------------------------------------------------------------------ running

def drop_caches():
    """Empties the page, dentry and inode caches; False when this process may not."""
    subprocess.run(["sync"], check=False)
    try:
        with open("/proc/sys/vm/drop_caches", "w") as f:
            f.write("3\n")
        return True
    except OSError:
        return False


def run_once(argv, env_overrides, out_path, timer):
    """Runs argv once, output to out_path. The peak memory comes from
    /usr/bin/time: a child's ru_maxrss starts from the size of the process
    that forked it, and this script holds whole result sets."""
    env = dict(os.environ)
    env.pop("TROVIX_FIND_STAT_MATCHES", None)
    env.update(env_overrides)
    rss_path = out_path + ".rss"
    with open(out_path, "wb") as out, open(out_path + ".err", "wb") as err:
        t0 = time.perf_counter()
        p = subprocess.Popen([timer, "-f", "%M %e", "-o", rss_path, "--"] + argv, stdout=out, stderr=err, env=env)
        _, status, ru = os.wait4(p.pid, 0)
        wall = time.perf_counter() - t0
    with open(rss_path) as f:
        rss_kib = int(f.read().split()[-2])
    return {"wall": wall, "cpu": ru.ru_utime + ru.ru_stime, "rss_kib": rss_kib,
            "status": os.waitstatus_to_exitcode(status)}


def read_paths(path):
    with open(path, "rb") as f:
        data = f.read()
    items = data.split(b"\0")
    if items and items[-1] == b"":
        items.pop()
    # fd ends folder paths with a slash
    return [p[:-1] if len(p) > 1 and p.endswith(b"/") else p for p in items]


def is_trash_name(name):
    return name == b".Trash" or (name.startswith(b".Trash-") and name[7:].isdigit())


def explain(path, tree, q, label):
    """Why a path is printed by one tool and not the other, or None."""
    rel = path[len(tree) + 1:] if path.startswith(tree + b"/") else path
    parts = rel.split(b"/")
    for i, part in enumerate(parts):
        if is_trash_name(part):
            full = os.path.join(tree, *parts[:i + 1])
            if i < len(parts) - 1 or os.path.isdir(full):
                return "in a trash folder (.Trash, .Trash-N): trovix-find skips them unless --trash"
    if b".DS_Store" in parts:
        return ".DS_Store: trovix-find skips it unless a type rule names it"
    try:
        st = os.lstat(path)
        import stat as s
        if not (s.S_ISREG(st.st_mode) or s.S_ISDIR(st.st_mode) or s.S_ISLNK(st.st_mode)):
            return "neither file, folder nor link (FIFO, socket, device): trovix-find lists none"
        if "bound" in q and st.st_mtime_ns == q["bound"] * 1000000000:
            return "modified exactly at the bound: before is strict in trovix-find, ! -newermt is not"
    except OSError:
        pass
    if label.startswith("fd") and "floor" in q and any(b > 0x7F for b in parts[-1]):
        return "non-ASCII name: trovix-find ignores the case of ASCII letters only, fd folds Unicode case"
    return None


def compare(reference, other, tree, q, label):
    """Counts of explained differences by reason, and unexplained examples."""
    reasons, unexplained = {}, []
    for side, paths in (("missing", reference - other), ("extra", other - reference)):
        for p in sorted(paths):
            why = explain(p, tree, q, label)
            if why:
                key = "%s: %s" % (side, why)
                reasons[key] = reasons.get(key, 0) + 1
            else:
                unexplained.append((side, p))
    return reasons, unexplained


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    g = ap.add_mutually_exclusive_group(required=True)
    g.add_argument("--tree", help="walk this existing folder")
    g.add_argument("--entries", type=int, help="generate a tree of about N entries")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--mktree", help="generate with this reference mktree.py instead of bench_mktree")
    ap.add_argument("--workdir", default=tempfile.gettempdir(), help="where a generated tree goes (default %(default)s)")
    ap.add_argument("--keep-tree", action="store_true", help="leave a generated tree in place")
    ap.add_argument("--build", default=os.path.join(REPO, "build"), help="the build folder (default %(default)s)")
    ap.add_argument("--trovix", help="trovix-find to run (default BUILD/cli/trovix-find)")
    ap.add_argument("--walkfloor", help="the floor walker, built")
    ap.add_argument("--walkfloor-src", help="the floor walker's source, compiled into a temporary folder")
    ap.add_argument("--rounds", type=int, default=5, help="timed rounds after the checking one (default %(default)s)")
    ap.add_argument("--queries", default="rare,common,ends,size,date")
    ap.add_argument("--rare", default="invoice")
    ap.add_argument("--common", default="a")
    ap.add_argument("--ends", default=".jpg")
    ap.add_argument("--size-min", default="1M", help="N[BKMGT], 1,024-based (default %(default)s)")
    ap.add_argument("--before", default="2014-01-01", help="YYYY-MM-DD (default %(default)s)")
    ap.add_argument("--no-install", action="store_true", help="never install missing tools")
    ap.add_argument("--json", help="also write every measurement to this file")
    ap.add_argument("--cold", action="store_true", help="drop the caches before every timed run (root only)")
    ap.add_argument("--trovix-threads", default="", help="also run trovix-find --threads N for each N of this list")
    ap.add_argument("--fd-threads", default="", help="also run fd -jN for each N of this list")
    ap.add_argument("--floor-threads", default="", help="also run walkfloor -S match -x -j N for each N of this list")
    a = ap.parse_args()

    scratch = tempfile.mkdtemp(prefix="trovix-bench-")
    tree = None
    generated = False
    try:
        class T:
            pass
        t = T()
        t.trovix = a.trovix or os.path.join(a.build, "cli", "trovix-find")
        if not os.access(t.trovix, os.X_OK):
            raise SystemExit("%s is not built (ninja -C %s trovix-find)" % (t.trovix, a.build))
        tools = ensure_tools(not a.no_install)
        t.fd, t.bfs, t.timer = tools["fd"], tools["bfs"], tools["time"]
        if not t.timer:
            raise SystemExit("GNU time is needed for the peak memory: apt-get install time")
        t.walkfloor = a.walkfloor
        numbers = lambda text: [int(n) for n in text.split(",") if n.strip()]
        t.trovix_threads, t.fd_threads, t.floor_threads = (numbers(a.trovix_threads), numbers(a.fd_threads),
                                                           numbers(a.floor_threads))
        a.cold_done = False
        if a.cold:
            a.cold_done = drop_caches()
            if not a.cold_done:
                log("cannot drop the caches (writing /proc/sys/vm/drop_caches needs root): the runs stay warm")
        if not t.walkfloor and a.walkfloor_src:
            t.walkfloor = compile_walkfloor(a.walkfloor_src, scratch)
        if not t.walkfloor:
            log("no floor walker given (--walkfloor or --walkfloor-src): floor rows left out")

        if a.tree:
            tree = os.path.abspath(a.tree).rstrip("/") or "/"
        else:
            tree = generate_tree(a, a.workdir)
            generated = True
        queries = make_queries(a)
        plan = [(q, commands(q, tree, t)) for q in queries]
        tree_bytes = os.fsencode(tree)

        load_before = os.getloadavg()
        started = time.strftime("%Y-%m-%d %H:%M:%S")
        results = {}  # (query, label) -> list of runs
        checks = {}   # (query, label) -> (count, reasons, unexplained)

        # The checking round: warms the cache, keeps every output.
        log("checking round")
        for q, cmds in plan:
            sets = {}
            for label, argv, env in cmds:
                out = os.path.join(scratch, "out")
                r = run_once(argv, env, out, t.timer)
                sets[label] = set(read_paths(out))
                if r["status"] not in (0, 1):
                    with open(out + ".err", "rb") as f:
                        log("%s %s: exit %d: %s" % (q["key"], label, r["status"], f.read(300).decode(errors="replace")))
            ref = sets["trovix-find"]
            for label, _, _ in cmds:
                reasons, unexplained = compare(ref, sets[label], tree_bytes, q, label)
                checks[(q["key"], label)] = (len(sets[label]), reasons, unexplained)
            del sets

        for rnd in range(a.rounds):
            log("round %d of %d (load %.2f)" % (rnd + 1, a.rounds, os.getloadavg()[0]))
            for q, cmds in plan:
                k = rnd % len(cmds)
                for label, argv, env in cmds[k:] + cmds[:k]:
                    if a.cold_done:
                        drop_caches()
                    r = run_once(argv, env, os.path.join(scratch, "out"), t.timer)
                    results.setdefault((q["key"], label), []).append(r)
        load_after = os.getloadavg()

        report(a, tree, plan, results, checks, started, load_before, load_after)
        if a.json:
            with open(a.json, "w") as f:
                json.dump({"tree": tree, "started": started, "load_before": load_before, "load_after": load_after,
                           "runs": {"%s|%s" % k: v for k, v in results.items()},
                           "checks": {"%s|%s" % k: {"count": c, "explained": r, "unexplained": [(s, p.decode(errors="replace")) for s, p in u]}
                                      for k, (c, r, u) in checks.items()}}, f, indent=1)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
        if generated and tree and not a.keep_tree:
            log("removing %s" % tree)
            shutil.rmtree(tree, ignore_errors=True)


def report(a, tree, plan, results, checks, started, load_before, load_after):
    p = print
    p("## trovix-find against find, fd and bfs")
    p()
    cache = ("cold cache (caches dropped before every run)" if a.cold_done
             else "warm cache (--cold given, but the caches could not be dropped)" if a.cold else "warm cache")
    p("Tree: `%s`; %d timed rounds after a checking round, %s; started %s." % (tree, a.rounds, cache, started))
    p("Load average (1, 5, 15 min) before: %.2f %.2f %.2f, after: %.2f %.2f %.2f; %d cores."
      % (load_before + load_after + (os.cpu_count() or 0,)))
    p()
    summary = {}
    for q, cmds in plan:
        p("### %s: %s" % (q["key"], q["title"]))
        p()
        p("| tool | threads | median s | min s | CPU s | ratio | peak RSS MiB | paths | same paths |")
        p("|---|---:|---:|---:|---:|---:|---:|---:|---|")
        ref = statistics.median(r["wall"] for r in results[(q["key"], "trovix-find")])
        notes = []
        for label, argv, _ in cmds:
            runs = results[(q["key"], label)]
            walls = [r["wall"] for r in runs]
            med, low = statistics.median(walls), min(walls)
            cpu = statistics.median(r["cpu"] for r in runs)
            rss = max(r["rss_kib"] for r in runs) / 1024
            count, reasons, unexplained = checks[(q["key"], label)]
            if not reasons and not unexplained:
                same = "yes"
            elif not unexplained:
                same = "yes, but %d explained" % sum(reasons.values())
            else:
                same = "**NO: %d unexplained**" % len(unexplained)
            for why, n in sorted(reasons.items()):
                notes.append("%s: %d %s" % (label, n, why))
            for side, path in unexplained[:5]:
                notes.append("%s: %s, unexplained: `%s`" % (label, side, path.decode(errors="replace")))
            p("| %s | %d | %.3f | %.3f | %.3f | %.2f | %.1f | %d | %s |"
              % (label, threads_of(label, argv), med, low, cpu, med / ref, rss, count, same))
            summary[(q["key"], label)] = {"median": med, "min": low, "rss": rss}
        p()
        for n in notes:
            p("- " + n)
        if notes:
            p()
        p("Commands (TREE: the tree):")
        p()
        for label, argv, env in cmds:
            line = " ".join("%s=%s" % kv for kv in env.items()) + " " if env else ""
            p("- %s: `%s`" % (label, (line + shlex.join(argv)).replace(tree, "TREE")))
        p()
    goals(summary, plan)


def goals(s, plan):
    p = print
    p("### Goals")
    p()

    def check(text, ok):
        p("- %s %s" % ("PASS" if ok else "FAIL", text))

    def med(qk, label):
        v = s.get((qk, label))
        return v["median"] if v else None

    for q, cmds in plan:
        tv = med(q["key"], "trovix-find")
        peers = [label for label, _, _ in cmds if label in ("GNU find", "bfs") or label.startswith("fd ")]
        for label in peers:
            other = med(q["key"], label)
            check("%s: trovix-find %.3f s faster than %s %.3f s" % (q["key"], tv, label, other), tv < other)
        floors = [label for label, _, _ in cmds if label.startswith("walkfloor -S match -x -j")]
        for label in floors:
            f = med(q["key"], label)
            check("%s: trovix-find %.3f s within 1.15x of %s %.3f s (%.2fx)" % (q["key"], tv, label, f, tv / f),
                  tv <= 1.15 * f)
    for qk in ("rare", "common"):
        stat_v, floor_m = med(qk, "trovix-find +stat"), med(qk, "walkfloor -S match -x")
        if stat_v is not None and floor_m is not None:
            check("%s: trovix-find +stat %.3f s within 1.15x of walkfloor -S match -x %.3f s (%.2fx)"
                  % (qk, stat_v, floor_m, stat_v / floor_m), stat_v <= 1.15 * floor_m)
        tv, floor_n = med(qk, "trovix-find"), med(qk, "walkfloor -S none")
        if tv is not None and floor_n is not None:
            check("%s: trovix-find %.3f s within 1.15x of walkfloor -S none %.3f s (%.2fx)"
                  % (qk, tv, floor_n, tv / floor_n), tv <= 1.15 * floor_n)
    rss = max(v["rss"] for (qk, label), v in s.items() if label.startswith("trovix-find"))
    check("trovix-find peak RSS %.1f MiB under 48 MiB, whatever its readers" % rss, rss < 48)


if __name__ == "__main__":
    main()
