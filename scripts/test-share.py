#!/usr/bin/env python3
"""Counts the lines of code of the tests (tests/ and fuzz/) against all code.

A line counts when it is not blank and not only a comment; the files are the .cpp, .h and .py
files that git tracks. Prints both counts and the tests' share of all code lines.
"""

import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TEST_FOLDERS = ("tests/", "fuzz/")


def code_lines(path):
    count = 0
    in_block = False
    python = path.endswith(".py")
    with open(os.path.join(ROOT, path), encoding="utf-8", errors="replace") as source:
        for raw in source:
            line = raw.strip()
            if python:
                if line and not line.startswith("#"):
                    count += 1
                continue
            if in_block:
                if "*/" in line:
                    in_block = False
                    line = line.split("*/", 1)[1].strip()
                else:
                    continue
            if line.startswith("/*"):
                if "*/" not in line:
                    in_block = True
                    continue
                line = line.split("*/", 1)[1].strip()
            if line and not line.startswith("//"):
                count += 1
    return count


def main():
    files = subprocess.run(["git", "ls-files", "*.cpp", "*.h", "*.py"], cwd=ROOT,
                           capture_output=True, text=True, check=True).stdout.split()
    tests = sum(code_lines(p) for p in files if p.startswith(TEST_FOLDERS))
    total = sum(code_lines(p) for p in files)
    if total == 0:
        sys.exit("test-share: no code found")
    print("tests %d lines, all code %d lines, share %.1f %%" % (tests, total, 100.0 * tests / total))


if __name__ == "__main__":
    main()
