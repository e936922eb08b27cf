#!/usr/bin/env python3
"""Compares the engine's walk with a reference floor walker on the same tree.

Builds a tree with a reference tree generator (or walks a given one), then runs,
alternately and several times, the engine benchmark (one name-contains query
that stats its matches) and the floor walker with the same needle, and prints
the medians, the engine's entries per second and the ratio of the two.

  compare_with_floor.py --bench build/bench/trovix_walk_bench \\
      --walkfloor-src PATH/walkfloor.c [--mktree PATH/mktree.py --entries 200000 | --tree DIR] \\
      [--needle invoice] [--runs 5]

Wall times on a shared machine move with its load; the CPU times (user +
system) are the steadier comparison. A generated tree is removed at the end.
"""
import argparse
import json
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def child_cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def run_engine(bench, tree, needle):
    env = dict(os.environ, TROVIX_BENCH_TREE=tree, TROVIX_BENCH_NEEDLE=needle)
    out = subprocess.run([bench, "--benchmark_filter=^BM_WalkRareNeedle/", "--benchmark_min_time=0.01",
                          "--benchmark_format=json"], env=env, check=True, capture_output=True, text=True).stdout
    b = json.loads(out)["benchmarks"][0]
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b["time_unit"]]
    return b["real_time"] * scale, b["cpu_time"] * scale, int(b["entries"]), int(b["matches"])


def run_floor(walkfloor, tree, needle):
    cpu0 = child_cpu()
    t0 = time.perf_counter()
    out = subprocess.run([walkfloor, "-S", "match", "-x", "-c", tree, needle], check=True, capture_output=True,
                         text=True).stdout
    return time.perf_counter() - t0, child_cpu() - cpu0, int(out.strip() or 0)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--bench", required=True)
    p.add_argument("--walkfloor-src", required=True)
    p.add_argument("--mktree")
    p.add_argument("--tree")
    p.add_argument("--entries", type=int, default=200000)
    p.add_argument("--seed", type=int, default=7)
    p.add_argument("--needle", default="invoice")
    p.add_argument("--runs", type=int, default=5)
    a = p.parse_args()

    work = tempfile.mkdtemp(prefix="trovix-compare-", dir="/tmp")
    try:
        walkfloor = os.path.join(work, "walkfloor")
        subprocess.run(["cc", "-O2", "-pthread", "-o", walkfloor, a.walkfloor_src], check=True)
        tree = a.tree
        if not tree:
            if not a.mktree:
                sys.exit("give --tree or --mktree")
            tree = os.path.join(work, "tree")
            subprocess.run([sys.executable, a.mktree, "--out", tree, "--entries", str(a.entries), "--seed",
                            str(a.seed)], check=True, stdout=subprocess.DEVNULL)
            subprocess.run(["sync"], check=True)
        engine, floor = [], []
        for _ in range(a.runs):
            engine.append(run_engine(a.bench, tree, a.needle))
            floor.append(run_floor(walkfloor, tree, a.needle))
        entries = engine[0][2]
        e_wall = statistics.median(r[0] for r in engine)
        e_cpu = statistics.median(r[1] for r in engine)
        f_wall = statistics.median(r[0] for r in floor)
        f_cpu = statistics.median(r[1] for r in floor)
        print(f"tree {tree}: {entries} entries; needle {a.needle!r}: engine {engine[0][3]} matches "
              f"(trash folders and .DS_Store skipped), floor {floor[0][2]}")
        print(f"engine  wall {e_wall * 1000:8.1f} ms  cpu {e_cpu * 1000:8.1f} ms  {entries / e_wall:,.0f} entries/s")
        print(f"floor   wall {f_wall * 1000:8.1f} ms  cpu {f_cpu * 1000:8.1f} ms  {entries / f_wall:,.0f} entries/s")
        print(f"ratio engine/floor: wall {e_wall / f_wall:.2f}  cpu {e_cpu / f_cpu:.2f}")
        print(f"load average {os.getloadavg()[0]:.2f}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
