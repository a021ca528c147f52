#!/usr/bin/python3
"""The exit status the Windows tests see is the one Windows reports, and a killed test program
does not outlive its test (wine_process.py, velmora-test-launch.exe).

- A program whose Linux side takes a second to end after its Windows side has ended, as a
  program with the ODBC driver loaded can on a loaded machine: a library preloaded into Wine's
  processes sleeps in its destructor. Started directly, Wine's server kills it and the Linux
  side sees -9; started as the tests start programs, its own status 3 is seen (64-bit build).
- A program that holds a file to itself, its start killed: the file can be held again.

    test_wine_process.py --holder velmora-test-holder.exe --width win32|win64
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

import wine_process
import wine_support as ws

SLOW_EXIT = r"""
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
__attribute__((destructor)) static void slow_exit(void) {
    FILE* trace = fopen(getenv("SLOW_EXIT_TRACE"), "a");
    if (trace) { fputs("slow\n", trace); fclose(trace); }
    sleep(1);
}
"""
# The 64-bit loader itself: the wine script starts the 32-bit one, which hands a 64-bit program
# over in a way that leaves the preloaded library out.
WINE64 = "/usr/lib/wine/wine64"


def slow_exit_library(folder):
    source = os.path.join(folder, "slow_exit.c")
    library = os.path.join(folder, "slow_exit.so")
    with open(source, "w") as f:
        f.write(SLOW_EXIT)
    subprocess.run(["cc", "-shared", "-fPIC", "-o", library, source], check=True)
    return library


def check_slow_exit(folder):
    # Wine's 64-bit loader runs cmd in either build's prefix, and the library is 64-bit. A 32-bit
    # loader leaves it out, and so does a 64-bit program started by a 32-bit one: the case is
    # shown by the 64-bit build's launcher only (the same source).
    trace = os.path.join(folder, "trace")
    env = ws.wine_env({"LD_PRELOAD": slow_exit_library(folder), "SLOW_EXIT_TRACE": trace})
    argv = ["cmd", "/c", "exit 3"]
    direct = subprocess.run([WINE64] + argv, env=env, capture_output=True, timeout=120)
    os.unlink(trace)
    code, _, _ = wine_process.run(argv, env=env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL, timeout=120)
    print(f"slow exit: started directly {direct.returncode}, through the launcher {code}")
    failures = []
    if not os.path.exists(trace):
        failures.append("slow exit: the program started through the launcher ended quickly")
    if direct.returncode != -9:
        failures.append(f"slow exit: the direct start gave {direct.returncode}, not -9: the "
                        "case no longer shows what the launcher is for")
    if code != 3:
        failures.append(f"slow exit: the launcher gave {code}, not the program's 3")
    return failures


def start_holder(holder, path):
    process = wine_process.WineProcess([holder, "hold", ws.windows_path(path), "none", "0"],
                                       env=ws.wine_env(), stdin=subprocess.PIPE,
                                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return process, process.stdout.readline().decode(errors="replace").strip()


def check_kill(holder, folder):
    path = os.path.join(folder, "held.txt")
    with open(path, "w") as f:
        f.write("held")
    first, said = start_holder(holder, path)
    if said != "held":
        first.kill()
        return [f"kill: the first holder said {said!r}"]
    first.kill()
    first.wait(timeout=30)
    # Wine's server ends the job's program once it sees the launcher gone: a moment.
    deadline = time.monotonic() + 30
    while True:
        second, said = start_holder(holder, path)
        second.stdin.write(b"\n")
        second.stdin.close()
        second.wait(timeout=30)
        if said == "held" or time.monotonic() > deadline:
            break
        time.sleep(0.5)
    print(f"kill: the second holder said {said!r}")
    return [] if said == "held" else ["kill: the killed start's program still holds the file"]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--holder", required=True)
    parser.add_argument("--width", choices=("win32", "win64"), required=True)
    args = parser.parse_args()
    if not os.environ.get("VELMORA_TEST_LAUNCH"):
        print("VELMORA_TEST_LAUNCH is not set: run through ctest")
        return 1
    with tempfile.TemporaryDirectory(prefix="velmora-wine-process-") as folder:
        failures = check_kill(args.holder, folder)
        if args.width == "win64":
            failures += check_slow_exit(folder)
        else:
            print("slow exit: not shown by a 32-bit launcher (see check_slow_exit)")
    for f in failures:
        print(f)
    print("test_wine_process: " + ("FAILED" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
