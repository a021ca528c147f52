#!/usr/bin/python3
"""velmora-upgrade.exe, the window, doing a whole upgrade under Wine on the test display.

The scenario of e2e_full_upgrade.py (Tarvik 3.0.2 below a folder with Croatian letters, the
cabinet to 3.0.3 on the FTP test server, two Tarvik databases and one other on the TDS test
server, the settings in Wine's registry), driven as a user at the store drives it: the window
found by its exact title, "&Dobro" pressed with Alt+D, and every message box answered with
Enter until the program ends by itself. It must end with status 0 after the success box, with
the files unpacked, both Tarvik databases stamped and the run log written.

    e2e_window_upgrade.py --exe velmora-upgrade.exe --pe-fixtures DIR --support DIR
Exit status 77 (skipped) without a display or the X tools.
"""
import argparse
import contextlib
import fcntl
import os
import shutil
import subprocess
import sys
import tempfile
import time

import e2e_full_upgrade as scenario
import wine_process
import wine_support as ws

TITLE = "Velmora - Podizanje više verzije - v3.0"
# The titles the boxes of a run can carry: the database phase's, the application's (boxes
# without a title of their own) and the online phase's question.
BOX_TITLES = ("Velmora dizanje verzije.", "Tarvik_Upg", "IZBOR")
SUCCESS = "Podizanje verzije uspješno završeno !!"


def xdotool(*args, timeout=30):
    p = subprocess.run(["xdotool", *args], capture_output=True, timeout=timeout)
    return p.stdout.decode(errors="replace").split()


def find_window(title, sync=False):
    pattern = "^" + title.replace(".", "\\.") + "$"
    found = xdotool("search", *(["--sync"] if sync else []), "--onlyvisible", "--name", pattern,
                    timeout=120 if sync else 10)
    return found[0] if found else None


def wait_gone(box, title):
    """Waits until the answered box has left the screen, so that it is not answered twice."""
    until = time.monotonic() + 10
    while time.monotonic() < until and find_window(title) == box:
        time.sleep(0.1)


def drive(process, deadline):
    """Presses "&Dobro", then answers each box with Enter until the program ends. Returns the
    titles of the boxes answered, in order."""
    window = find_window(TITLE, sync=True)
    if window is None:
        raise SystemExit("the window did not appear")
    xdotool("windowfocus", "--sync", window, "key", "alt+d")
    return drive_boxes(process, deadline)


def drive_boxes(process, deadline):
    """Answers each box with Enter until the program ends. Returns the titles of the boxes
    answered, in order."""
    answered = []
    while process.poll() is None and time.monotonic() < deadline:
        for title in BOX_TITLES:
            box = find_window(title)
            if box is not None:
                xdotool("windowfocus", "--sync", box, "key", "Return")
                answered.append(title)
                wait_gone(box, title)
                break
        else:
            time.sleep(0.2)
    return answered


def take_display():
    """The display for this test alone, or None without a display or the X tools (skip).
    Keyboard focus is one per display: the window tests take the display in turn."""
    if not os.environ.get("DISPLAY") or shutil.which("xdotool") is None:
        print("SKIP: no display or no xdotool")
        return None
    lock = open(f"/tmp/velmora-display-{os.environ['DISPLAY']}.lock", "w")
    fcntl.flock(lock, fcntl.LOCK_EX)
    return lock


@contextlib.contextmanager
def started_window(args, root, ftp_options=()):
    """The window program in the scenario's program folder, started against the FTP test server
    (with ftp_server.py's `ftp_options`) and the TDS test server; killed if still running at the
    end. Yields the process, the program folder, the FTP server's command log and the TDS
    server."""
    folder = scenario.prepare_folder(os.path.join(root, "window"), args.exe, args.pe_fixtures)
    ftp_root = scenario.make_cabinet(os.path.join(root, "ftp"), args.pe_fixtures)
    ftp_log = os.path.join(root, "ftp.log")
    with ws.FtpServer(args.support, ftp_root, ftp_log, ftp_options) as ftp, \
            ws.TdsServer(args.support, scenario.CATALOG, os.path.join(root, "tds")) as tds:
        ws.set_tarvik_settings({"PutBaza": "C:\\Tarvik\\Baze",
                                "ImeServera": f"127.0.0.1,{tds.port}", "TipServera": "1"})
        env = ws.wine_env({"VELMORA_ODBC_DRIVER": ws.odbc_driver(),
                           "VELMORA_UPDATE_SERVER": f"127.0.0.1:{ftp.port}"})
        program = os.path.join(folder, os.path.basename(args.exe))
        process = wine_process.WineProcess([program], cwd=folder, env=env,
                                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL)
        try:
            yield process, folder, ftp_log, tds
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--pe-fixtures", required=True)
    parser.add_argument("--support", required=True)
    args = parser.parse_args()
    display = take_display()
    if display is None:
        return 77

    with tempfile.TemporaryDirectory(prefix="velmora-win-window-") as root:
        with started_window(args, root) as (process, folder, ftp_log, tds):
            answered = drive(process, time.monotonic() + 240)
            code = process.wait(timeout=30)
            failures = scenario.check_run("window", code, "", "", folder, tds.state(), ftp_log)
            if SUCCESS not in ws.read_text(os.path.join(folder, "Tarvik_Upg.log")):
                failures.append("window: the run log shows no success box")

    print(f"boxes answered: {answered}")
    if "Velmora dizanje verzije." not in answered:
        failures.append("window: the success box was not shown")
    return ws.verdict("e2e_window_upgrade", failures)


if __name__ == "__main__":
    sys.exit(main())
