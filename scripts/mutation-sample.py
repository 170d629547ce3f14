#!/usr/bin/env python3
"""Mutation sampler: how many small faults do the tests catch?

Applies one small fault at a time to the source files of the chosen folders (a comparison
flipped, `<` and `<=` swapped, a `+ 1` dropped, a condition negated, a void function returning
at once, a constant replaced by 0 or 1), rebuilds only what changed, runs the test programs that
cover the folder and records whether a test failed (the mutant is killed) or all passed (it
survived). The mutants are a random sample drawn from a seed, so the same seed over the same
sources gives the same mutants: run it before and after changing the tests and compare.

Mutants that do not compile are counted apart, and so are mutants whose built programs are
byte for byte the programs built from the unchanged sources (the compiler proved the fault
changes nothing: an equivalent mutant). The kill rate is killed / (killed + survived).

    scripts/mutation-sample.py --folder library/src --count 100 --seed 1
    scripts/mutation-sample.py --folder collections --folder shapefile/src --count 50 --json before.json
    scripts/mutation-sample.py --folder library/src --list          # the sample, without running it
    scripts/mutation-sample.py --folder library/src --only before.json --outcome killed
    scripts/mutation-sample.py --only before.json --from-commit e98bb98     # on moved sources

--only runs just the mutants of the sample that a file names: the --json file of an earlier run
(its mutants of the outcomes --outcome gives, all when none is given), or any text with one
mutant per line as the progress lines and --list print them. With the same seed and count over
the same sources, that re-runs the earlier run's mutants, for example only those it killed.

With --from-commit, the mutants are those the --json file names, drawn on that commit's
sources: each one's line is carried through `git diff COMMIT -- path` to today's line, and it
runs there when its original text is still at its column. A mutant whose line was changed, or
whose file is gone, is reported as "source changed" and not counted in the kill rate.

The sources are changed in place, one mutant at a time, and always restored, also on Ctrl+C.
The build goes to its own folder (build/mutation unless --build-dir says otherwise).
"""

import argparse
import dataclasses
import hashlib
import json
import os
import random
import re
import signal
import subprocess
import sys
import time
from dataclasses import asdict, dataclass

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# The test programs that cover each folder, run with GoogleTest's fail-fast option.
TESTS_OF_FOLDER = {
    "collections": ["collections_tests"],
    "library/src": ["library_tests", "library_geos_tests"],
    "shapefile/src": ["shapefile_tests"],
    "formats/src": ["formats_tests"],
    "regression/src": ["regression_tests"],
    "app/core": ["orvista_core_tests"],
    "cli/src": ["cli_tests"],
}

SOURCE_SUFFIXES = (".cpp", ".h")


@dataclass(frozen=True)
class Mutant:
    path: str  # relative to the repository's root
    line: int  # 1-based
    column: int  # 0-based start of the replaced text
    original: str
    replacement: str
    kind: str

    def describe(self):
        return "%s:%d: %s: '%s' -> '%s'" % (
            self.path, self.line, self.kind, self.original.strip(), self.replacement.strip())


# ---------------------------------------------------------------------------------------------
# Finding the places to mutate


def mask_literals_and_comments(line, in_block_comment):
    """The line with string and character literals and comments blanked out (same length), so
    that operators inside them are never mutated; and whether a block comment is still open."""
    out = []
    i = 0
    n = len(line)
    while i < n:
        if in_block_comment:
            end = line.find("*/", i)
            if end < 0:
                out.append(" " * (n - i))
                return "".join(out), True
            out.append(" " * (end + 2 - i))
            i = end + 2
            in_block_comment = False
            continue
        c = line[i]
        if line.startswith("//", i):
            out.append(" " * (n - i))
            break
        if line.startswith("/*", i):
            in_block_comment = True
            continue
        if c in "\"'":
            j = i + 1
            while j < n and line[j] != c:
                j += 2 if line[j] == "\\" else 1
            j = min(j + 1, n)
            out.append(c + " " * (j - i - 2) + (c if j - i >= 2 else ""))
            i = j
            continue
        out.append(c)
        i += 1
    return "".join(out), in_block_comment


# Binary operators are only taken with a space on both sides, which is how this code base
# writes them; a template's angle brackets never are.
OPERATOR_SWAPS = [
    (" < ", [" <= ", " >= "], "relational"),
    (" <= ", [" < ", " > "], "relational"),
    (" > ", [" >= ", " <= "], "relational"),
    (" >= ", [" > ", " < "], "relational"),
    (" == ", [" != "], "equality"),
    (" != ", [" == "], "equality"),
    (" && ", [" || "], "logical"),
    (" || ", [" && "], "logical"),
]
PLUS_MINUS_ONE = re.compile(r" [+-] 1(?![\w.])")
CONDITION = re.compile(r"\b(if|while) \(")
NUMBER = re.compile(r"(?<![\w.])(\d+(?:\.\d+)?(?:[eE][+-]?\d+)?)(?:[uUlLfF]*)(?![\w.])")
VOID_FUNCTION = re.compile(r"^(?:[\w:<>,\s]*\s)?void\s+[\w:~]+\([^;]*\)\s*(?:const)?\s*(?:noexcept)?\s*$")


def matching_paren(text, open_index):
    depth = 0
    for i in range(open_index, len(text)):
        if text[i] == "(":
            depth += 1
        elif text[i] == ")":
            depth -= 1
            if depth == 0:
                return i
    return -1


def mutants_of_line(path, number, line, code, previous_code):
    """Every mutation of one source line; `code` is the line with literals and comments masked."""
    stripped = code.strip()
    if not stripped or stripped.startswith("#") or "static_assert" in code or "template" in code:
        return []
    found = []
    for operator, replacements, kind in OPERATOR_SWAPS:
        start = code.find(operator)
        while start >= 0:
            for replacement in replacements:
                found.append(Mutant(path, number, start, operator, replacement, kind))
            start = code.find(operator, start + 1)
    for match in PLUS_MINUS_ONE.finditer(code):
        found.append(Mutant(path, number, match.start(), match.group(0), "", "drop +-1"))
    for match in CONDITION.finditer(code):
        open_index = match.end() - 1
        close = matching_paren(code, open_index)
        if close > open_index:
            condition = line[open_index:close + 1]
            found.append(Mutant(path, number, open_index, condition, "(!" + condition + ")",
                                "negate condition"))
    if "case " not in code and "[" not in code and "enum" not in code:
        for match in NUMBER.finditer(code):
            text = match.group(0)
            value = float(match.group(1))
            targets = ["1"] if value == 0 else ["0"] if value == 1 else ["0", "1"]
            for target in targets:
                found.append(Mutant(path, number, match.start(), text, target, "constant"))
    if stripped == "{" and previous_code is not None and VOID_FUNCTION.match(previous_code.strip()):
        brace = code.index("{")
        found.append(Mutant(path, number, brace, "{", "{ return;", "return early"))
    return found


def mutants_of_file(path):
    with open(os.path.join(ROOT, path), encoding="utf-8") as source:
        lines = source.read().split("\n")
    found = []
    in_block_comment = False
    previous_code = None
    for index, line in enumerate(lines):
        code, in_block_comment = mask_literals_and_comments(line, in_block_comment)
        found.extend(mutants_of_line(path, index + 1, line, code, previous_code))
        if code.strip():
            previous_code = code
    return found


def source_files(folder):
    listed = subprocess.run(["git", "ls-files", folder], cwd=ROOT, capture_output=True,
                            text=True, check=True).stdout.split()
    return sorted(p for p in listed if p.endswith(SOURCE_SUFFIXES))


def draw_sample(folders, count, seed):
    """`count` mutants of each folder, drawn from `seed`; the same for the same sources."""
    sample = []
    for folder in folders:
        candidates = [m for path in source_files(folder) for m in mutants_of_file(path)]
        rng = random.Random("%s/%s" % (seed, folder))
        chosen = rng.sample(candidates, min(count, len(candidates)))
        sample.extend((folder, m) for m in sorted(chosen, key=lambda m: (m.path, m.line, m.column)))
    return sample


# ---------------------------------------------------------------------------------------------
# Applying a mutant, building and testing


class SourceGuard:
    """Holds a file's original text while a mutant is in it; restores it whatever happens."""

    def __init__(self):
        self.saved = None

    def apply(self, mutant):
        full = os.path.join(ROOT, mutant.path)
        with open(full, encoding="utf-8") as source:
            text = source.read()
        self.saved = (full, text)
        lines = text.split("\n")
        line = lines[mutant.line - 1]
        if line[mutant.column:mutant.column + len(mutant.original)] != mutant.original:
            raise RuntimeError("the source changed since the sample was drawn: " + mutant.describe())
        lines[mutant.line - 1] = (line[:mutant.column] + mutant.replacement
                                  + line[mutant.column + len(mutant.original):])
        with open(full, "w", encoding="utf-8") as source:
            source.write("\n".join(lines))

    def restore(self):
        if self.saved:
            full, text = self.saved
            with open(full, "w", encoding="utf-8") as source:
                source.write(text)
            self.saved = None


def configure(build_dir, build_type):
    if os.path.exists(os.path.join(build_dir, "build.ninja")):
        return
    subprocess.run(["cmake", "-S", ROOT, "-B", build_dir, "-G", "Ninja",
                    "-DCMAKE_BUILD_TYPE=" + build_type, "-DAREALIS_BUILD_BENCH=OFF"],
                   check=True, stdout=subprocess.DEVNULL)


def build(build_dir, targets, jobs):
    environment = dict(os.environ, CCACHE_DISABLE="1")
    result = subprocess.run(["cmake", "--build", build_dir, "-j", str(jobs), "--target"] + targets,
                            capture_output=True, text=True, env=environment)
    return result.returncode == 0


def fingerprint(build_dir, targets):
    """A hash of the built test programs and the libraries they load."""
    digest = hashlib.sha256()
    for name in targets:
        with open(os.path.join(build_dir, "bin", name), "rb") as program:
            digest.update(program.read())
    lib = os.path.join(build_dir, "lib")
    for name in sorted(os.listdir(lib)) if os.path.isdir(lib) else []:
        if name.endswith(".so") or ".so." in name:
            with open(os.path.join(lib, name), "rb") as library:
                digest.update(library.read())
    return digest.hexdigest()


def run_tests(build_dir, targets, timeout):
    """True when every test program passed within the time allowed."""
    environment = dict(os.environ, AREALIS_SOURCE_DIR=ROOT, QT_QPA_PLATFORM="offscreen")
    for name in targets:
        try:
            result = subprocess.run([os.path.join(build_dir, "bin", name), "--gtest_fail_fast",
                                     "--gtest_brief=1"], cwd=ROOT, env=environment,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                    timeout=timeout)
        except subprocess.TimeoutExpired:
            return False
        if result.returncode != 0:
            return False
    return True


def existing_targets(build_dir, folder):
    names = TESTS_OF_FOLDER.get(folder.rstrip("/"))
    if not names:
        sys.exit("mutation-sample: no test programs are known for %s (known: %s)"
                 % (folder, ", ".join(sorted(TESTS_OF_FOLDER))))
    listed = subprocess.run(["cmake", "--build", build_dir, "--target", "help"],
                            capture_output=True, text=True).stdout
    return [n for n in names if re.search(r"^%s:" % re.escape(n), listed, re.M)]


def run_sample(sample, args):
    build_dir = os.path.abspath(args.build_dir)
    configure(build_dir, args.build_type)
    guard = SourceGuard()

    def interrupted(signum, _frame):
        guard.restore()
        sys.exit("mutation-sample: stopped by signal %d; the sources are restored" % signum)

    signal.signal(signal.SIGINT, interrupted)
    signal.signal(signal.SIGTERM, interrupted)

    baselines = {}
    results = []
    started = time.monotonic()
    try:
        for index, (folder, mutant) in enumerate(sample):
            if folder not in baselines:
                targets = existing_targets(build_dir, folder)
                if not build(build_dir, targets, args.jobs):
                    sys.exit("mutation-sample: the unchanged sources do not build in " + build_dir)
                begin = time.monotonic()
                if not run_tests(build_dir, targets, None):
                    sys.exit("mutation-sample: the tests of %s fail without a mutant" % folder)
                timeout = 3 * (time.monotonic() - begin) + 10
                baselines[folder] = (targets, fingerprint(build_dir, targets), timeout)
            targets, original_print, timeout = baselines[folder]
            guard.apply(mutant)
            try:
                if not build(build_dir, targets, args.jobs):
                    outcome = "not compiled"
                elif fingerprint(build_dir, targets) == original_print:
                    outcome = "equivalent"
                elif run_tests(build_dir, targets, timeout):
                    outcome = "survived"
                else:
                    outcome = "killed"
            finally:
                guard.restore()
            results.append(dict(folder=folder, outcome=outcome, **asdict(mutant)))
            if not args.quiet:
                print("[%d/%d %.0f s] %-12s %s" % (index + 1, len(sample), time.monotonic() - started,
                                                  outcome, mutant.describe()), flush=True)
        # Leave the build matching the restored sources.
        for targets, _, _ in baselines.values():
            build(build_dir, targets, args.jobs)
    finally:
        guard.restore()
    return results, time.monotonic() - started


def report(results, seconds):
    lines = []
    folders = sorted({r["folder"] for r in results})
    lines.append("| folder | mutants | killed | survived | not compiled | equivalent | source changed "
                 "| kill rate |")
    lines.append("|---|---|---|---|---|---|---|---|")
    for folder in folders:
        mine = [r for r in results if r["folder"] == folder]
        count = {k: sum(1 for r in mine if r["outcome"] == k)
                 for k in ("killed", "survived", "not compiled", "equivalent", "source changed")}
        judged = count["killed"] + count["survived"]
        rate = "%.0f %%" % (100.0 * count["killed"] / judged) if judged else "-"
        lines.append("| %s | %d | %d | %d | %d | %d | %d | %s |" % (
            folder, len(mine), count["killed"], count["survived"], count["not compiled"],
            count["equivalent"], count["source changed"], rate))
    survivors = [r for r in results if r["outcome"] == "survived"]
    if survivors:
        lines.append("")
        lines.append("Survivors:")
        for r in survivors:
            lines.append("- %s:%d: %s: `%s` -> `%s`" % (r["path"], r["line"], r["kind"],
                                                        r["original"].strip(), r["replacement"].strip()))
    lines.append("")
    lines.append("%d mutants in %.0f s" % (len(results), seconds))
    return "\n".join(lines)


def restrict_sample(sample, path, outcomes):
    """The mutants of the sample that the file at path names (see --only)."""
    with open(path, encoding="utf-8") as named:
        text = named.read()
    try:
        results = json.loads(text)["results"]
    except (ValueError, KeyError, TypeError):
        wanted = [line for line in text.splitlines() if line.strip()]
        return [(f, m) for f, m in sample if any(m.describe() in line for line in wanted)]
    keys = {(r["path"], r["line"], r["column"], r["original"], r["replacement"])
            for r in results if not outcomes or r["outcome"] in outcomes}
    return [(f, m) for f, m in sample
            if (m.path, m.line, m.column, m.original, m.replacement) in keys]


HUNK = re.compile(r"^@@ -(\d+)(?:,(\d+))? \+\d+(?:,(\d+))? @@", re.M)


def line_map(commit, path):
    """Maps a line of path at commit to its line in today's file; None when the line changed."""
    if not os.path.exists(os.path.join(ROOT, path)):
        return lambda line: None
    diff = subprocess.run(["git", "diff", "-U0", commit, "--", path], cwd=ROOT,
                          capture_output=True, text=True, check=True).stdout
    # A count left out in a hunk header is 1; an old count of 0 inserts after the start line.
    hunks = [(int(start), int(old or 1), int(new or 1)) for start, old, new in HUNK.findall(diff)]

    def mapped(line):
        shift = 0
        for start, old, new in hunks:
            if old == 0:
                shift += new if start < line else 0
            elif line >= start + old:
                shift += new - old
            elif line >= start:
                return None
        return line + shift
    return mapped


def sample_from_commit(path, outcomes, folders, commit):
    """The mutants of an earlier --json run drawn on commit's sources, carried to today's lines:
    those still applicable as (folder, mutant, line at commit), and those whose source changed."""
    with open(path, encoding="utf-8") as named:
        results = json.load(named)["results"]
    maps = {}
    sample, changed = [], []
    for r in results:
        if (outcomes and r["outcome"] not in outcomes) or (folders and r["folder"] not in folders):
            continue
        old = Mutant(r["path"], r["line"], r["column"], r["original"], r["replacement"], r["kind"])
        if old.path not in maps:
            maps[old.path] = line_map(commit, old.path)
        line = maps[old.path](old.line)
        text = None
        if line is not None:
            with open(os.path.join(ROOT, old.path), encoding="utf-8") as source:
                lines = source.read().split("\n")
            text = lines[line - 1] if line <= len(lines) else None
        if text is not None and text[old.column:old.column + len(old.original)] == old.original:
            sample.append((r["folder"], dataclasses.replace(old, line=line), old.line))
        else:
            changed.append(dict(r, outcome="source changed"))
    return sample, changed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--folder", action="append", default=[],
                        help="a source folder to mutate (repeatable): " + ", ".join(sorted(TESTS_OF_FOLDER)))
    parser.add_argument("--count", type=int, default=100, help="mutants per folder (default 100)")
    parser.add_argument("--seed", default="1", help="the sample's seed (default 1)")
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build", "mutation"))
    parser.add_argument("--build-type", default="Release")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--json", help="also write the outcome of every mutant to this file")
    parser.add_argument("--list", action="store_true", help="print the sample and stop")
    parser.add_argument("--quiet", action="store_true", help="print only the report")
    parser.add_argument("--only", help="run only the sample's mutants that this file names")
    parser.add_argument("--outcome", action="append", default=[],
                        choices=["killed", "survived", "not compiled", "equivalent"],
                        help="with a --json file for --only: the outcomes to run again")
    parser.add_argument("--from-commit", help="with a --json file for --only: the commit its "
                        "mutants were drawn on; they are carried to today's lines")
    args = parser.parse_args()

    folders = [f.rstrip("/") for f in args.folder]
    for folder in folders:
        if not os.path.isdir(os.path.join(ROOT, folder)):
            sys.exit("mutation-sample: no folder %s in %s" % (folder, ROOT))
    changed = []
    if args.from_commit:
        if not args.only:
            sys.exit("mutation-sample: --from-commit needs --only with an earlier run's --json")
        moved, changed = sample_from_commit(args.only, set(args.outcome), folders, args.from_commit)
        sample = [(folder, mutant) for folder, mutant, _ in moved]
    elif not folders:
        sys.exit("mutation-sample: give at least one --folder")
    else:
        sample = draw_sample(folders, args.count, args.seed)
        if args.only:
            sample = restrict_sample(sample, args.only, set(args.outcome))
    if args.list:
        for folder, mutant in sample:
            print(mutant.describe())
        for r in changed:
            print("source changed: %s:%d" % (r["path"], r["line"]))
        return
    results, seconds = run_sample(sample, args)
    if args.from_commit:
        for result, (_, _, line_before) in zip(results, moved):
            result["line_at_" + args.from_commit] = line_before
    results += changed
    if args.json:
        with open(args.json, "w", encoding="utf-8") as out:
            json.dump(dict(seed=args.seed, count=args.count, results=results), out, indent=1)
    print(report(results, seconds))


if __name__ == "__main__":
    main()
