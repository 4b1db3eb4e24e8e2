#!/usr/bin/env python3
"""Fails when a source file includes a header of a library above its own.

The order of the libraries is the KV_SOURCE_FOLDERS list of the top CMakeLists.txt (lowest first),
the one list CMake builds from. Every platform/ stand-in counts as the lowest layer; a folder such as
"render" is one library with its topic folders below it. tests/<folder> counts as <folder>;
tests/support/<file> counts as the highest library it includes (directly or through other support
files), so a test that includes a support file is held to what that file needs. The README's Layout
paragraph must name the libraries in the same order.

Usage: check_layering.py [--root DIR]     exit 0 when clean, 1 on a violation, 2 on a broken setup
"""

import argparse
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)
SOURCE_SUFFIXES = (".h", ".cpp")


def read_layers(root):
    """Maps each folder of KV_SOURCE_FOLDERS to its level (0 = platform, then list order)."""
    with open(os.path.join(root, "CMakeLists.txt"), encoding="utf-8") as f:
        text = f.read()
    match = re.search(r"set\(\s*KV_SOURCE_FOLDERS\s+([^)]*)\)", text)
    if not match:
        raise OSError("no set(KV_SOURCE_FOLDERS ...) in CMakeLists.txt")
    folders = [line.split("#")[0].strip() for line in match.group(1).splitlines()]
    folders = [f for f in folders if f]
    levels = {}
    level = 0
    for folder in folders:
        if folder.startswith("platform/"):
            levels[folder] = 0
        else:
            level += 1
            levels[folder] = level
    return levels


def folder_of(path, levels):
    """The KV_SOURCE_FOLDERS entry a root-relative path lies in (longest match), or None."""
    best = None
    for folder in levels:
        if path.startswith(folder + "/") and (best is None or len(folder) > len(best)):
            best = folder
    return best


def includes_of(root, rel):
    try:
        with open(os.path.join(root, rel), encoding="utf-8", errors="replace") as f:
            return INCLUDE.findall(f.read())
    except OSError:
        return []


def source_files(root, top):
    found = []
    for directory, subdirs, files in os.walk(os.path.join(root, top)):
        subdirs.sort()
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                found.append(os.path.relpath(os.path.join(directory, name), root).replace(os.sep, "/"))
    return found


class Layering:
    def __init__(self, root, levels):
        self.root = root
        self.levels = levels
        self.support_levels = {}

    def level_of_include(self, path):
        """(level, library folder) of an included path; None for paths outside our libraries."""
        if path.startswith("tests/support/"):
            return self.support_level(path, set())
        folder = folder_of(path[len("tests/"):] if path.startswith("tests/") else path, self.levels)
        return None if folder is None else (self.levels[folder], folder)

    def support_level(self, path, visiting):
        if path in self.support_levels:
            return self.support_levels[path]
        if path in visiting:
            return None
        visiting.add(path)
        best = None
        stem = path[: -len(".h")] if path.endswith(".h") else path
        for rel in (stem + ".h", stem + ".cpp"):
            for inc in includes_of(self.root, rel):
                if inc == path:
                    continue
                if inc.startswith("tests/support/"):
                    found = self.support_level(inc, visiting)
                else:
                    folder = folder_of(inc, self.levels)
                    found = None if folder is None else (self.levels[folder], folder)
                if found is not None and (best is None or found[0] > best[0]):
                    best = found
        visiting.discard(path)
        self.support_levels[path] = best
        return best

    def check(self):
        problems = []
        for folder, level in self.levels.items():
            for top in (folder, "tests/" + folder):
                for rel in source_files(self.root, top):
                    # A file in tests/render/x counts as render even when render/x is listed too.
                    owner = folder_of(rel[len("tests/"):] if top.startswith("tests/") else rel, self.levels)
                    if owner != folder:
                        continue
                    for inc in includes_of(self.root, rel):
                        found = self.level_of_include(inc)
                        if found is not None and found[0] > level:
                            via = "" if not inc.startswith("tests/support/") else f" (which needs {found[1]})"
                            problems.append(f"{rel}: includes {inc}{via}, above {folder} in the layer order")
        return problems


def check_readme(root, levels):
    """The README's Layout paragraph names the libraries in the order of KV_SOURCE_FOLDERS."""
    path = os.path.join(root, "README.md")
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8") as f:
        text = f.read()
    section = re.search(r"^## Layout\n(.*?)(?=^## |\Z)", text, re.MULTILINE | re.DOTALL)
    if not section:
        return ["README.md: no '## Layout' section naming the layer order"]
    named = []
    for token in re.findall(r"`([^`]+)`", section.group(1)):
        token = token.rstrip("/")
        if token == "platform":
            named.append((0, "platform/"))
            continue
        folder = token if token in levels else folder_of(token, levels)
        if folder is not None and (token == folder or os.path.splitext(token)[1] == ""):
            named.append((levels[folder], folder))
    problems = []
    for (before, name_before), (after, name_after) in zip(named, named[1:]):
        if after < before:
            problems.append(f"README.md: Layout names {name_after} after {name_before}, against the layer order")
    missing = sorted({f for f, lv in levels.items() if lv > 0} - {f for _, f in named})
    for folder in missing:
        problems.append(f"README.md: Layout does not name {folder}")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
    args = parser.parse_args()
    root = os.path.abspath(args.root)
    try:
        levels = read_layers(root)
    except OSError as error:
        print(f"check_layering: {error}", file=sys.stderr)
        return 2
    problems = Layering(root, levels).check() + check_readme(root, levels)
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        print(f"check_layering: {len(problems)} problem(s) with the layer order", file=sys.stderr)
        return 1
    print(f"check_layering: {len(levels)} folders, every include keeps the layer order")
    return 0


if __name__ == "__main__":
    sys.exit(main())
