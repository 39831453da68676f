#!/usr/bin/env python3
"""Runs the tests against one-fault changes to core/ and tells which went unnoticed.

Every change is made in a private copy of the tree inside the build folder,
so the working tree is never touched, even by a run that is killed.
See README.md beside this file.
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent.parent
ROOMS = ("history", "rename", "platform", "tags", "filelist")
# What the copy leaves out: git's data and every build folder.
SKIPPED = (".git",)


def Unescape(text):
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            nxt = text[i + 1]
            if nxt in "nt\\":
                out.append({"n": "\n", "t": "\t", "\\": "\\"}[nxt])
                i += 2
                continue
        out.append(c)
        i += 1
    return "".join(out)


class Entry:
    def __init__(self, fields, line):
        if len(fields) < 5:
            raise ValueError(f"line {line}: expected id, room, file, text, replacement")
        self.id, self.room, self.file = fields[0].strip(), fields[1].strip(), fields[2].strip()
        self.find, self.replace = Unescape(fields[3]), Unescape(fields[4])
        note = fields[5].strip() if len(fields) > 5 else ""
        self.equivalent = note.startswith("equivalent:")
        self.note = note
        if self.room not in ROOMS:
            raise ValueError(f"line {line}: room {self.room!r} is none of {', '.join(ROOMS)}")
        if not self.find or self.find == self.replace:
            raise ValueError(f"line {line}: {self.id} changes nothing")
        self.located = None  # the file (relative to the tree) that holds the text once
        self.why_lost = ""


def ReadTable(path):
    entries, seen = [], set()
    for number, raw in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        if not raw.strip() or raw.startswith("#"):
            continue
        entry = Entry(raw.split("\t"), number)
        if entry.id in seen:
            raise ValueError(f"line {number}: id {entry.id} used twice")
        seen.add(entry.id)
        entries.append(entry)
    return entries


def CoreFiles(tree):
    return sorted(p for p in (tree / "core").rglob("*") if p.suffix in (".cpp", ".h") and p.is_file())


def Locate(entry, tree):
    """The named file when it holds the text once; else the one file of core/ that does."""
    named = tree / entry.file
    if named.is_file():
        count = named.read_text(encoding="utf-8").count(entry.find)
        if count == 1:
            entry.located = entry.file
            return
        if count > 1:
            entry.why_lost = f"found {count} times in {entry.file}"
            return
    holders = []
    for path in CoreFiles(tree):
        count = path.read_text(encoding="utf-8").count(entry.find)
        holders += [path.relative_to(tree).as_posix()] * count
    if len(holders) == 1:
        entry.located = holders[0]
    else:
        entry.why_lost = "not found in core/" if not holders else f"found {len(holders)} times: {', '.join(sorted(set(holders)))}"


def SyncTree(source, copy):
    """Makes `copy` hold what `source` holds; unchanged files keep their time, so they are not rebuilt."""
    wanted = set()
    for folder, dirs, files in os.walk(source):
        rel = Path(folder).relative_to(source)
        dirs[:] = [d for d in dirs if d not in SKIPPED and not (rel == Path(".") and d.startswith("build"))]
        (copy / rel).mkdir(parents=True, exist_ok=True)
        for name in files:
            if name in SKIPPED:
                continue
            src, dst = Path(folder) / name, copy / rel / name
            wanted.add(dst)
            if src.is_symlink():
                continue
            # A changed file gets a fresh time: the working tree's may be older
            # than an object a mutant of the copy left behind.
            if not dst.exists() or dst.read_bytes() != src.read_bytes():
                shutil.copy(src, dst)
    for folder, _, files in os.walk(copy):
        for name in files:
            if Path(folder) / name not in wanted:
                (Path(folder) / name).unlink()


def Run(command, log, timeout=None, env=None):
    """Returns (exit code, timed out). The whole process group goes on a timeout."""
    with open(log, "ab") as out:
        out.write(("$ " + " ".join(map(str, command)) + "\n").encode())
        out.flush()
        process = subprocess.Popen(command, stdout=out, stderr=subprocess.STDOUT, env=env,
                                   start_new_session=True)
        try:
            return process.wait(timeout=timeout), False
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            return -1, True
        except BaseException:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            raise


def FirstFailure(log):
    for line in Path(log).read_text(errors="replace").splitlines():
        if line.startswith("[  FAILED  ]") and "." in line:
            return line[len("[  FAILED  ]"):].strip().split(" ")[0].rstrip(",")
    return ""


class Runner:
    def __init__(self, args):
        self.args = args
        self.build = Path(args.build).resolve()
        self.tree = self.build / "tree"
        self.cmake = self.build / "cmake"
        self.logs = self.build / "logs"
        self.targets = ["selvane_core_tests"] + (["selvane_app_tests"] if args.app else [])

    def Prepare(self):
        self.logs.mkdir(parents=True, exist_ok=True)
        SyncTree(ROOT, self.tree)
        if not (self.cmake / "CMakeCache.txt").exists():
            code, _ = Run(["cmake", "-S", self.tree, "-B", self.cmake, "-G", "Ninja",
                           "-DCMAKE_BUILD_TYPE=Debug", "-DSELVANE_BUILD_BENCH=OFF",
                           f"-DSELVANE_CORE_ONLY={'OFF' if self.args.app else 'ON'}"],
                          self.logs / "configure.log")
            if code != 0:
                sys.exit(f"configure failed; see {self.logs / 'configure.log'}")

    def Build(self, log):
        code, _ = Run(["cmake", "--build", self.cmake, "-j", str(self.args.jobs), "--target",
                       *self.targets], log)
        return code == 0

    def Tests(self, log, timeout):
        """'killed' (with the first failing test), or 'survived'."""
        runs = [(self.cmake / "tests" / "selvane_core_tests", None)]
        if self.args.app:
            env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
            runs.append((self.cmake / "tests" / "selvane_app_tests", env))
        for binary, env in runs:
            code, hung = Run([binary, "--gtest_fail_fast", "--gtest_brief=1"], log, timeout, env)
            if hung:
                return "killed", f"{binary.name}: hung past {timeout:.0f} s"
            if code != 0:
                return "killed", FirstFailure(log) or f"{binary.name}: exit {code}"
        return "survived", ""

    def Baseline(self):
        log = self.logs / "baseline.log"
        log.unlink(missing_ok=True)
        if not self.Build(log):
            sys.exit(f"the unchanged tree does not build; see {log}")
        began = time.monotonic()
        verdict, detail = self.Tests(log, None)
        spent = time.monotonic() - began
        if verdict != "survived":
            sys.exit(f"the unchanged tree fails its tests ({detail}); see {log}")
        return spent

    def Mutant(self, entry, timeout):
        path = self.tree / entry.located
        original = path.read_bytes()
        log = self.logs / f"{entry.id}.log"
        log.unlink(missing_ok=True)
        try:
            text = original.decode("utf-8")
            path.write_text(text.replace(entry.find, entry.replace, 1), encoding="utf-8")
            if not self.Build(log):
                return "build-failed", ""
            return self.Tests(log, timeout)
        finally:
            path.write_bytes(original)


def Summary(entries, results):
    print("\nroom       killed survived  lost equiv build-failed  score")
    totals = [0, 0, 0, 0, 0]
    for room in ROOMS + ("all",):
        counts = [0, 0, 0, 0, 0]
        for e in entries:
            if room != "all" and e.room != room:
                continue
            verdict = results[e.id][0]
            for k, name in enumerate(("killed", "survived", "lost", "equivalent", "build-failed")):
                counts[k] += verdict == name
        if room == "all":
            counts = totals
        else:
            totals = [a + b for a, b in zip(totals, counts)]
        if sum(counts) == 0:
            continue
        tried = counts[0] + counts[1]
        score = f"{100 * counts[0] / tried:5.1f} %" if tried else "    -"
        print(f"{room:<10} {counts[0]:6} {counts[1]:8} {counts[2]:5} {counts[3]:5} {counts[4]:12}  {score}")
    survivors = [e for e in entries if results[e.id][0] == "survived"]
    if survivors:
        print("\nsurvivors:")
        for e in survivors:
            print(f"  {e.id:<5} {e.room:<9} {e.located}: {e.note or e.find.splitlines()[0].strip()[:90]}")
    odd = [e for e in entries if e.equivalent and results[e.id][0] == "killed"]
    for e in odd:
        print(f"\nnote: {e.id} is marked equivalent, yet the tests caught it: the mark is wrong")


def Main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--table", default=str(HERE / "mutants.tsv"))
    parser.add_argument("--id", action="append", default=[], help="entry ids (repeat or comma-separate); run in the order given")
    parser.add_argument("--room", action="append", default=[], help="rooms (repeat or comma-separate)")
    parser.add_argument("--app", action="store_true", help="also run the window tests on a survivor")
    parser.add_argument("--build", help="build folder (default: build-mutate, or build-mutate-app with --app)")
    parser.add_argument("--timeout", type=float, help="seconds per test binary (default: 3x the unchanged run + 30)")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--check", action="store_true", help="only find every entry's text; build nothing")
    parser.add_argument("--run-equivalents", action="store_true", help="run the entries marked equivalent too")
    parser.add_argument("--summary", action="store_true",
                        help="only print the summary of the last run in the build folder (also of one cut short)")
    args = parser.parse_args()
    if args.build is None:
        args.build = str(ROOT / ("build-mutate-app" if args.app else "build-mutate"))

    entries = ReadTable(Path(args.table))
    order = [i for group in args.id for i in group.split(",") if i]
    ids = set(order)
    rooms = {r for group in args.room for r in group.split(",") if r}
    if unknown := rooms - set(ROOMS):
        sys.exit(f"no room {', '.join(sorted(unknown))}")
    if unknown := ids - {e.id for e in entries}:
        sys.exit(f"no entry {', '.join(sorted(unknown))}")
    entries = [e for e in entries if (not ids or e.id in ids) and (not rooms or e.room in rooms)]
    if order:  # in the order asked for, so that a run cut short has covered what mattered first
        entries.sort(key=lambda e: order.index(e.id))
    for e in entries:
        Locate(e, ROOT)

    results = {}
    if args.summary:
        done = Path(args.build) / "results.tsv"
        if not done.exists():
            sys.exit(f"no run in {args.build}")
        for line in done.read_text(encoding="utf-8").splitlines()[1:]:
            fields = line.split("\t")
            results[fields[0]] = (fields[3], fields[4] if len(fields) > 4 else "")
        ran = [e for e in entries if e.id in results]
        print(f"{len(ran)} of {len(entries)} entries in the last run")
        Summary(ran, results)
        return 0
    if args.check:
        for e in entries:
            where = e.located if e.located else f"LOST ({e.why_lost})"
            print(f"{e.id:<5} {e.room:<9} {where}{'  [equivalent]' if e.equivalent else ''}")
        return 1 if any(not e.located for e in entries) else 0

    runner = Runner(args)
    runner.Prepare()
    baseline = runner.Baseline()
    timeout = args.timeout or 3 * baseline + 30
    print(f"unchanged tree: tests pass in {baseline:.0f} s; timeout per test binary {timeout:.0f} s", flush=True)
    try:
        RunAll(runner, entries, results, timeout, args)
    except (KeyboardInterrupt, SystemExit):
        print(f"\ncut short after {len(results)} of {len(entries)} entries")
        Summary([e for e in entries if e.id in results], results)
        raise
    Summary(entries, results)
    print(f"\nper entry: {runner.build / 'results.tsv'}; logs: {runner.logs}")
    return 0


def RunAll(runner, entries, results, timeout, args):
    with open(runner.build / "results.tsv", "w", encoding="utf-8") as table:
        table.write("id\troom\tfile\tverdict\tdetail\n")
        for n, e in enumerate(entries, 1):
            if not e.located:
                results[e.id] = ("lost", e.why_lost)
            elif e.equivalent and not args.run_equivalents:
                results[e.id] = ("equivalent", e.note[len("equivalent:"):].strip())
            else:
                began = time.monotonic()
                results[e.id] = runner.Mutant(e, timeout)
                results[e.id] = (results[e.id][0], results[e.id][1] + f" ({time.monotonic() - began:.0f} s)")
            verdict, detail = results[e.id]
            print(f"[{n}/{len(entries)}] {e.id:<5} {e.room:<9} {verdict:<12} {detail}", flush=True)
            table.write(f"{e.id}\t{e.room}\t{e.located or e.file}\t{verdict}\t{detail}\n")
            table.flush()


if __name__ == "__main__":
    # A terminal's Ctrl-C or a kill: the finally clauses put the copy back.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(130))
    try:
        sys.exit(Main())
    except KeyboardInterrupt:
        sys.exit(130)
