#!/usr/bin/python3
"""Checks that every file a build used comes from a package tools/setup.sh installs.

    tools/check-packages.py BUILD_ROOT [--drop PACKAGE]...

After the builds under BUILD_ROOT, it collects what they used from the machine:
- every header and source that a compiler read (the compilers' dependency
  files, *.d);
- every object file and library that a link read (the linker's dependency
  files, which the build writes to <tree>/link-deps/);
- the compilers, the archiver and every tool and library that our CMake
  files found, as each tree's CMake cache names them;
- the files of every Python module the Python tests loaded (the *.used
  lists the test command writes);
- the commands that the scripts of tools/, tests/ and cmake/ run by name,
  and the Python modules that build the Python module.
Each is mapped to the Debian package that owns it. Every such package must be
in setup's list (tools/setup.sh --list) or be a dependency, direct or not, of
a package in it; packages that Debian marks essential are on every machine.
A machine that has a package by hand which setup does not install would
otherwise build and pass here and fail on a fresh one.

--drop PACKAGE leaves PACKAGE out of setup's list, to show that the check
fails without it. Exit status 0 when every file is accounted for, 1 when not,
2 for a usage error.
"""

import glob
import os
import re
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Commands the scripts run by name (the compilers and the tools CMake finds
# are read from the build trees).
COMMANDS = [
    "cmake", "ctest", "make", "clang-format", "clang++-14", "/usr/bin/python3",
    "wine", "wineserver", "msiinfo", "wixl",
    "/usr/lib/wine/wine", "/usr/lib/wine/wine64", "zip", "unzip", "sha256sum", "git",
    "wasm-ld-14", "wasm-opt", "node", "npm", "/usr/bin/chromium",
    "dpkg-buildpackage", "dh", "lintian", "pkg-config", "gcc", "sqlite3",
]

# Python modules that build the Python module (pip runs them).
BUILD_MODULES = ["pip", "setuptools"]


def setup_packages(dropped):
    out = subprocess.run([os.path.join(ROOT, "tools", "setup.sh"), "--list"],
                         check=True, capture_output=True, text=True).stdout
    names = {line.split(":")[0] for line in out.split()}
    return names - set(dropped)


def installed_packages():
    """Name -> (essential, dependency names); virtual name -> providers."""
    fmt = "${Package}\t${Essential}\t${Pre-Depends}, ${Depends}\t${Provides}\t${db:Status-Abbrev}\n"
    out = subprocess.run(["dpkg-query", "-W", "-f", fmt], check=True,
                         capture_output=True, text=True).stdout
    packages, providers = {}, {}
    for line in out.splitlines():
        name, essential, depends, provides, status = line.split("\t")
        if not status.startswith("ii"):
            continue
        deps = []
        for clause in depends.split(","):
            alternatives = [re.sub(r"\(.*?\)|\[.*?\]|<.*?>", "", a).strip().split(":")[0]
                            for a in clause.split("|")]
            deps.append([a for a in alternatives if a])
        old = packages.get(name, (False, []))
        packages[name] = (old[0] or essential == "yes", old[1] + [d for d in deps if d])
        for virtual in provides.split(","):
            virtual = re.sub(r"\(.*?\)", "", virtual).strip()
            if virtual:
                providers.setdefault(virtual, set()).add(name)
    return packages, providers


def closure(roots, packages, providers):
    """The roots and every installed package they depend on, at any depth. Of
    alternatives, the first one installed counts, as apt would choose it; a
    virtual package counts through each installed provider."""
    def installed(name):
        return ({name} if name in packages else set()) | providers.get(name, set())

    seen, todo = set(), list(roots)
    while todo:
        for real in installed(todo.pop()):
            if real not in seen:
                seen.add(real)
                for alternatives in packages[real][1]:
                    chosen = next((a for a in alternatives if installed(a)), None)
                    if chosen:
                        todo.append(chosen)
    return seen


def file_owners():
    """Path -> package, from dpkg's file lists."""
    owners = {}
    for listing in glob.glob("/var/lib/dpkg/info/*.list"):
        package = os.path.basename(listing)[:-len(".list")].split(":")[0]
        with open(listing, encoding="utf-8", errors="replace") as f:
            for path in f:
                owners.setdefault(path.rstrip("\n"), package)
    return owners


def owner_of(path, owners):
    """The package owning path, trying it as given and resolved, with and
    without the /usr prefix of a merged /usr."""
    for candidate in (path, os.path.normpath(path), os.path.realpath(path)):
        for variant in (candidate, re.sub(r"^/usr(/(?:s?bin|lib\w*)/)", r"\1", candidate),
                        re.sub(r"^/((?:s?bin|lib\w*)/)", r"/usr/\1", candidate)):
            if variant in owners:
                return owners[variant]
    return None


def dependency_file_paths(text):
    """The prerequisites of a make-style dependency file."""
    text = text.replace("\\\n", " ")
    paths = []
    for line in text.splitlines():
        _, sep, rest = line.partition(": ")
        if not sep:
            continue
        paths.extend(p.replace("\0", " ") for p in rest.replace("\\ ", "\0").split())
    return paths


def used_files(build_root):
    """Absolute path -> one place that used it, for files outside the tree."""
    used = {}
    for dirpath, dirnames, filenames in os.walk(build_root):
        # Wine prefixes and fuzz corpora hold nothing a build read.
        dirnames[:] = [d for d in dirnames if "wineprefix" not in d and d != "corpus"]
        for name in filenames:
            path = os.path.join(dirpath, name)
            if name.endswith(".used"):
                # Lists of files a step used, one a line (the Python tests'
                # modules).
                with open(path, encoding="utf-8", errors="replace") as f:
                    for line in f:
                        if line.strip():
                            used.setdefault(line.strip(), path)
            elif name.endswith(".d"):
                with open(path, encoding="utf-8", errors="replace") as f:
                    for dep in dependency_file_paths(f.read()):
                        used.setdefault(dep, path)
            elif name == "CMakeCache.txt" or re.fullmatch(r"CMake(C|CXX|RC)Compiler\.cmake", name):
                # The compilers, the archiver and what our own files found
                # (CMake also finds tools that no build step runs).
                with open(path, encoding="utf-8", errors="replace") as f:
                    for line in f:
                        m = re.match(r'^(?:(?:CMAKE_AR|CMAKE_RANLIB|CMAKE_MAKE_PROGRAM|PELMORA_\w+):FILEPATH=|'
                                     r'set\(CMAKE_(?:C|CXX|RC)_COMPILER ")(/[^"]+)', line.strip())
                        if m and os.path.isfile(m.group(1)):
                            used.setdefault(m.group(1), path)
    inside = (ROOT + "/", build_root + "/")
    return {p: where for p, where in used.items()
            if os.path.isabs(p) and not os.path.abspath(p).startswith(inside)}


def used_commands():
    """Full path (or the bare name, when not found) -> who runs it."""
    used = {}
    for command in COMMANDS:
        found = command if os.path.isabs(command) else shutil.which(command)
        used[found or command] = "the scripts of tools/, tests/ and cmake/"
    probe = "import importlib.util as u, sys\nfor m in sys.argv[1:]:\n s = u.find_spec(m)\n print(s.origin if s else m)"
    out = subprocess.run(["/usr/bin/python3", "-c", probe, *BUILD_MODULES],
                         capture_output=True, text=True).stdout
    for module, origin in zip(BUILD_MODULES, out.split()):
        used[origin] = f"the build of the Python module (Python's {module})"
    return used


def main(argv):
    args, dropped = [], []
    it = iter(argv)
    for arg in it:
        if arg == "--drop":
            dropped.append(next(it, ""))
        else:
            args.append(arg)
    if len(args) != 1 or args[0].startswith("-") or "" in dropped:
        print("usage: tools/check-packages.py BUILD_ROOT [--drop PACKAGE]...", file=sys.stderr)
        return 2
    build_root = os.path.abspath(args[0])

    listed = setup_packages(dropped)
    packages, providers = installed_packages()
    essential = {name for name, (is_essential, _) in packages.items() if is_essential}
    allowed = closure(listed | essential, packages, providers)
    owners = file_owners()

    faults = {}
    used = used_files(build_root) | used_commands()
    for path, where in sorted(used.items()):
        if not os.path.isabs(path):
            faults.setdefault(f"the command {path}, which is not on this machine", []).append(where)
            continue
        package = owner_of(path, owners)
        if package is None:
            faults.setdefault(f"{path}, which no Debian package owns", []).append(where)
        elif package not in allowed:
            faults.setdefault(f"{package}, which tools/setup.sh does not install (nor any package it installs "
                              "depends on it)", []).append(f"{path} (used by {where})")
    if faults:
        for what, places in faults.items():
            print(f"check-packages: the build used {what}:", file=sys.stderr)
            for place in places[:3]:
                print(f"  {place}", file=sys.stderr)
            if len(places) > 3:
                print(f"  and {len(places) - 3} more", file=sys.stderr)
        print("check-packages: add each package named above to the list in tools/setup.sh", file=sys.stderr)
        return 1
    found = {owner_of(p, owners) for p in used}
    print(f"check-packages: {len(used)} files and commands from {len(found)} packages, each installed by "
          "tools/setup.sh or a dependency of one")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
