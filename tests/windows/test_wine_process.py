#!/usr/bin/python3
"""The exit status the Windows tests see is the one Windows reports, and a killed test program
does not outlive its test (wine_process.py, velmora-test-launch.exe).

- A program whose Linux side takes a second to end after its Windows side has ended, as a
  program with the ODBC driver loaded can on a loaded machine: a library preloaded into Wine's
  processes sleeps in its destructor. Started directly, Wine's server kills it and the Linux
  side sees -9; started as the tests start programs, its own status 1 is seen.
- A program that holds a file to itself, its start killed (a script's time-out) or ctest's
  runner told to end (a clean-up, ctest's time-out): the file can be held again.

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

# Without the C library's headers, which a 32-bit build of it would need: the 32-bit library is
# linked against the i386 C library Wine's 32-bit support brings.
SLOW_EXIT = r"""
typedef struct FILE FILE;
FILE* fopen(const char*, const char*);
int fputs(const char*, FILE*);
int fclose(FILE*);
char* getenv(const char*);
unsigned sleep(unsigned);
__attribute__((destructor)) static void slow_exit(void) {
    FILE* trace = fopen(getenv("SLOW_EXIT_TRACE"), "a");
    if (trace) { fputs("slow\n", trace); fclose(trace); }
    sleep(1);
}
"""


# The loader of each width: the wine script starts the 32-bit one, which hands a 64-bit program
# over to the 64-bit one in a way that leaves the preloaded library out.
LOADERS = {"win32": "/usr/lib/wine/wine", "win64": "/usr/lib/wine/wine64"}


def slow_exit_library(folder, width):
    source = os.path.join(folder, "slow_exit.c")
    library = os.path.join(folder, "slow_exit.so")
    with open(source, "w") as f:
        f.write(SLOW_EXIT)
    flags = ["-m32", "-nostdlib", "/lib/i386-linux-gnu/libc.so.6"] if width == "win32" else []
    subprocess.run(["cc", "-shared", "-fPIC", "-o", library, source] + flags, check=True)
    return library


def check_slow_exit(holder, width, folder):
    """The holder asked for the short form of a path that does not exist ends with status 1;
    the library, of the build's width, is left out by Wine's loader of the other width."""
    trace = os.path.join(folder, "trace")
    env = ws.wine_env({"LD_PRELOAD": slow_exit_library(folder, width),
                       "SLOW_EXIT_TRACE": trace})
    argv = [holder, "short", ws.windows_path(os.path.join(folder, "absent"))]
    direct = subprocess.run([LOADERS[width]] + argv, env=env, capture_output=True, timeout=120)
    slowed_directly = os.path.exists(trace)
    if slowed_directly:
        os.unlink(trace)
    code, _, _ = wine_process.run(argv, env=env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL, timeout=120)
    print(f"slow exit: started directly {direct.returncode}, through the launcher {code}")
    failures = []
    if not slowed_directly or not os.path.exists(trace):
        failures.append("slow exit: the program's Linux side did not take the second")
    if direct.returncode != -9:
        failures.append(f"slow exit: the direct start gave {direct.returncode}, not -9: the "
                        "case no longer shows what the launcher is for")
    if code != 1:
        failures.append(f"slow exit: the launcher gave {code}, not the program's 1")
    return failures


WINE_RUN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "wine-run")


def hold(holder, path, runner):
    """The holder holding `path` to itself until a line comes, started by `runner`
    (wine_process.WineProcess, or subprocess.Popen of ctest's wine-run); what it said first."""
    argv = [holder, "hold", ws.windows_path(path), "none", "0"]
    if runner is subprocess.Popen:
        argv = [WINE_RUN] + argv
    process = runner(argv, env=ws.wine_env(), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                     stderr=subprocess.DEVNULL)
    return process, process.stdout.readline().decode(errors="replace").strip()


def check_end(holder, folder, name, runner, end):
    """The first holder's start ended by `end`: a second holder can hold the file soon after."""
    path = os.path.join(folder, f"held-{name}.txt")
    with open(path, "w") as f:
        f.write("held")
    first, said = hold(holder, path, runner)
    if said != "held":
        first.kill()
        return [f"{name}: the first holder said {said!r}"]
    end(first)
    first.wait(timeout=30)
    # Wine's server ends the job's program once it sees the launcher gone: a moment.
    deadline = time.monotonic() + 30
    while True:
        second, said = hold(holder, path, wine_process.WineProcess)
        second.stdin.write(b"\n")
        second.stdin.close()
        second.wait(timeout=30)
        if said == "held" or time.monotonic() > deadline:
            break
        time.sleep(0.5)
    print(f"{name}: the second holder said {said!r}")
    return [] if said == "held" else [f"{name}: the ended start's program still holds the file"]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--holder", required=True)
    parser.add_argument("--width", choices=("win32", "win64"), required=True)
    args = parser.parse_args()
    if not os.environ.get("VELMORA_TEST_LAUNCH"):
        print("VELMORA_TEST_LAUNCH is not set: run through ctest")
        return 1
    with tempfile.TemporaryDirectory(prefix="velmora-wine-process-") as folder:
        failures = (check_slow_exit(args.holder, args.width, folder) +
                    check_end(args.holder, folder, "kill", wine_process.WineProcess,
                              lambda p: p.kill()) +
                    check_end(args.holder, folder, "wine-run terminated", subprocess.Popen,
                              lambda p: p.terminate()))
    return ws.verdict("test_wine_process", failures)


if __name__ == "__main__":
    sys.exit(main())
