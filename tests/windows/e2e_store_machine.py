#!/usr/bin/python3
"""What a store's Windows machine adds to the programs' runs, under Wine, from the Linux side:

- a real console (a terminal, not a pipe): the Croatian texts of the console program arrive
  intact ("Vraćanje", not "VraÄ\\u0087anje");
- velmora-cab given a relative cabinet name inside a folder with Croatian letters
  ("Škola Čakovec"), as support staff type it;
- a proxy in the system's settings: a connection that fails through it says so in the run log;
- the window program unable to make its window: the run log says why and the program ends with
  status 1, not with the runtime's abort (status 3).

    e2e_store_machine.py --bin DIR --fixtures DIR --root DIR
      DIR of --bin: the built velmora-upgrade.exe, velmora-upgrade-console.exe, velmora-cab.exe
Environment: WINEPREFIX (inside the build folder), WINEDEBUG=-all.
"""
import argparse
import os
import pty
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import time

import wine_process
import wine_support as ws


def closed_port():
    """A loopback port on which nothing listens (bound, then released)."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def run_on_terminal(argv, cwd, timeout=120):
    """Runs a Windows program with a terminal as its standard input, output and error, as a
    console window gives it; returns (exit status, what the terminal showed)."""
    main, child = pty.openpty()
    process = wine_process.WineProcess(argv, cwd=cwd, env=ws.wine_env(), stdin=child,
                                       stdout=child, stderr=child, close_fds=True)
    os.close(child)
    shown = b""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        ready, _, _ = select.select([main], [], [], 0.2)
        if ready:
            try:
                data = os.read(main, 65536)
            except OSError:  # the terminal's other side is gone: the program has ended
                break
            if not data:
                break
            shown += data
        elif process.poll() is not None:
            break
    process.wait(timeout=30)
    os.close(main)
    return process.returncode, shown.decode("utf-8", errors="replace")


def check_console(args, root):
    """The restore of a folder without a backup fails with a box whose text starts
    "Vraćanje": printed on a terminal, every letter must arrive whole."""
    folder = os.path.join(root, "console", "Škola Čakovec", "Tarvik")
    os.makedirs(folder)
    shutil.copy(os.path.join(args.bin, "velmora-upgrade-console.exe"), folder)
    code, shown = run_on_terminal(
        [os.path.join(folder, "velmora-upgrade-console.exe"), "--restore"], folder)
    failures = []
    if code != 1:
        failures.append(f"console: --restore without a backup ended with {code}, expected 1")
    if "Vraćanje datoteka programa nije uspjelo" not in shown:
        failures.append(f"console: the Croatian text did not arrive whole: {shown!r}")
    return failures


def check_cab_relative(args, root):
    """velmora-cab with a relative name in the working folder "Škola Čakovec"."""
    folder = os.path.join(root, "cab", "Škola Čakovec")
    os.makedirs(folder)
    shutil.copy(os.path.join(args.bin, "velmora-cab.exe"), folder)
    shutil.copy(os.path.join(args.fixtures, "mszip_three_files.cab"),
                os.path.join(folder, "Tn_302_303.cab"))
    exe = os.path.join(folder, "velmora-cab.exe")
    failures = []
    code, out, err = ws.run_wine([exe, "count", "Tn_302_303.cab"], cwd=folder)
    if code != 0 or out.strip() != "3":
        failures.append(f"cab: count of a relative name gave {code}, {out!r}, {err!r}")
    target = os.path.join(folder, "izlaz")
    os.makedirs(target)
    code, out, err = ws.run_wine([exe, "extract", "Tn_302_303.cab", "", "izlaz"], cwd=folder)
    unpacked = sorted(os.listdir(target))
    if code != 0 or len(unpacked) != 3:
        failures.append(f"cab: extract of a relative name into a relative folder gave {code}, "
                        f"files {unpacked}, {out!r}, {err!r}")
    return failures


def check_proxy(args, root):
    """The system's proxy (Wine takes http_proxy for it) in front of an update server that
    cannot be reached: the run log's failed connection names the proxy and why it cannot help."""
    folder = os.path.join(root, "proxy", "Tarvik")
    subprocess.run([os.path.join(args.root, "scripts", "prepare-demo-folder"), folder, args.bin],
                   check=True, capture_output=True)
    proxy = f"127.0.0.1:{closed_port()}"
    code, out, err = ws.run_wine(
        [os.path.join(folder, "velmora-upgrade-console.exe")], cwd=folder,
        extra_env={"VELMORA_UPDATE_SERVER": f"127.0.0.1:{closed_port()}",
                   "http_proxy": f"http://{proxy}"})
    log = ws.read_text(os.path.join(folder, "Tarvik_Upg.log"))
    failures = []
    if code != 2:
        failures.append(f"proxy: exit status {code}, expected 2 (nothing installed)")
    lines = [line for line in log.splitlines() if "connection failed" in line]
    if not lines or proxy not in lines[0] or "cannot carry FTP" not in lines[0]:
        failures.append(f"proxy: the failed connection does not name the proxy:\n{log}")
    return failures


def check_window_without_display(args, root):
    """The window program on a display that does not exist: no window can be made."""
    folder = os.path.join(root, "window", "Tarvik")
    subprocess.run([os.path.join(args.root, "scripts", "prepare-demo-folder"), folder, args.bin],
                   check=True, capture_output=True)
    code, out, err = ws.run_wine(
        [os.path.join(folder, "velmora-upgrade.exe")], cwd=folder,
        extra_env={"DISPLAY": ":31999", "VELMORA_UPDATE_SERVER": f"127.0.0.1:{closed_port()}"},
        timeout=120)
    log = ws.read_text(os.path.join(folder, "Tarvik_Upg.log"))
    failures = []
    if code != 1:
        failures.append(f"window: exit status {code} without a window, expected 1:\n{err}")
    if "\tfailure\tthe window program failed: " not in log or "\tend\texit status 1" not in log:
        failures.append(f"window: the run log does not say why the program ended:\n{log}")
    if "terminate called" in err:
        failures.append("window: ended through the runtime's abort")
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--root", required=True)
    args = parser.parse_args()
    failures = []
    with tempfile.TemporaryDirectory(prefix="velmora-win-store-") as root:
        for check in (check_console, check_cab_relative, check_proxy,
                      check_window_without_display):
            found = check(args, root)
            print(f"{check.__name__}: {'FAILED' if found else 'passed'}")
            failures += found
    return ws.verdict("e2e_store_machine", failures)


if __name__ == "__main__":
    sys.exit(main())
