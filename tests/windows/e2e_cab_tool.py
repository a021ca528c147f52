#!/usr/bin/python3
"""velmora-cab.exe under Wine against velmora-cab on Linux: for every fixture cabinet the two
must print the same count, listing and XML, and unpack the same files with the same outcome.
The Windows program reads cabinets through SetupAPI, the Linux one through libmspack, so this
checks that the cabinet object behaves alike over both iterators (names in Windows-1250,
traversal refusal, damaged and truncated cabinets).

    e2e_cab_tool.py --exe velmora-cab.exe --linux PATH --fixtures DIR
"""
import argparse
import concurrent.futures
import os
import shutil
import subprocess
import sys
import tempfile

import wine_support as ws


def tree(folder):
    """Every file below the folder with its bytes, by relative path with "/"."""
    files = {}
    for base, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(base, name)
            files[os.path.relpath(path, folder).replace(os.sep, "/")] = open(path, "rb").read()
    return files


def run_side(args, root, side, command, path, target):
    """(exit status, output, errors, files unpacked) of one side's run, paths in Linux form."""
    extra = [path, "", target] if command == "extract" else [path]
    if side == "linux":
        p = subprocess.run([args.linux, command] + extra, capture_output=True,
                           env=dict(os.environ, LC_ALL="C"), timeout=60)
        code, out, err = (p.returncode, p.stdout.decode(errors="replace"),
                          p.stderr.decode(errors="replace"))
    else:
        # The Windows program takes the fixed date formats whatever the locale (the C runtime
        # knows only "C"); Wine needs a UTF-8 one for the names.
        code, out, err = ws.run_wine([args.exe, command] + extra, cwd=root)
        # Extracted files are printed as the target folder given, "\\", the stored path: in
        # the Linux form. Names inside listings keep the cabinet's "\\".
        out = "\n".join(target + line[len(target):].replace("\\", "/")
                        if line.startswith(target) else line for line in out.split("\n"))
    out = out.replace(os.path.join(root, side), "<target>")
    return code, out, err.strip(), tree(target)


def compare_cabinet(args, root, cab):
    """The differences between the two programs on one fixture cabinet."""
    path = os.path.join(root, "kabineti", "Šifra " + cab)
    shutil.copy(os.path.join(args.fixtures, cab), path)
    failures = []
    for command in ("count", "list", "xml", "extract"):
        outputs = {}
        for side in ("linux", "windows"):
            target = os.path.join(root, side, cab)
            os.makedirs(target, exist_ok=True)
            outputs[side] = run_side(args, root, side, command, path, target)
        if outputs["linux"] != outputs["windows"]:
            failures.append(f"{cab} {command}: Linux {outputs['linux'][:3]}, "
                            f"Windows {outputs['windows'][:3]}, files "
                            f"{sorted(outputs['linux'][3])} / {sorted(outputs['windows'][3])}")
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--linux", required=True)
    parser.add_argument("--fixtures", required=True)
    args = parser.parse_args()
    if not os.path.exists(args.linux):
        print(f"SKIPPED: no Linux velmora-cab at {args.linux} to compare with")
        return 77

    fixtures = sorted(f for f in os.listdir(args.fixtures) if f.endswith(".cab"))
    # Croatian letters in every path the programs are given: the arguments must reach the
    # cabinet object as UTF-8 and the files as wide paths.
    with tempfile.TemporaryDirectory(prefix="velmora-win-cab-Čćžšđ-") as root:
        os.makedirs(os.path.join(root, "kabineti"))
        # A Wine start costs about a second and mostly waits: several cabinets at once.
        with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
            results = pool.map(lambda cab: compare_cabinet(args, root, cab), fixtures)
            failures = [f for result in results for f in result]
    return ws.verdict(f"e2e_cab_tool: {len(fixtures)} cabinets", failures)


if __name__ == "__main__":
    sys.exit(main())
