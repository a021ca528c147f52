#!/usr/bin/python3
"""velmora-upgrade.exe keeps answering while its online phase waits on a server gone silent.

The scenario of e2e_window_upgrade.py, twice: with an FTP test server that answers the login and
then no command at all, and with one that stops sending the cabinet after its first 100 bytes.
After "&Dobro" the program waits for the server up to its time-outs; meanwhile another Windows
process (velmora-test-holder.exe probe) asks the window every tenth of a second whether it
answers, as Windows does before it marks a window "(Not Responding)" and offers to close the
program, which would kill it in the middle of its work.

    e2e_window_answers.py --exe velmora-upgrade.exe --holder velmora-test-holder.exe
                          --pe-fixtures DIR --support DIR
Exit status 77 (skipped) without a display or the X tools.
"""
import argparse
import subprocess
import sys
import tempfile

import e2e_full_upgrade as scenario
import e2e_window_upgrade as window_ui
import wine_process
import wine_support as ws

PROBE_SECONDS = 8


def after_login(commands):
    """The command after the login that the server will never answer, if it came."""
    if any(c.startswith("PASS") for c in commands) and not commands[-1].startswith("PASS"):
        return commands[-1]
    return None


def in_download(commands):
    """The download the server stops feeding, once it has begun."""
    return next((c for c in commands if c.startswith("RETR")), None)


# Each fault of the server: ftp_server.py's option, and what shows that the program waits on it.
FAULTS = (("silent after its login", ["--silent-after-login"], after_login),
          ("stalled in the download", ["--stall-after", "100"], in_download))


def check_fault(args, root, name, options, reached):
    """One run against a server with the fault; the failures seen."""
    with window_ui.started_window(args, root, options) as (process, _, ftp_log, _):
        window = window_ui.find_window(window_ui.TITLE, sync=True)
        if window is None:
            return [f"{name}: the window did not appear"]
        window_ui.xdotool("windowfocus", "--sync", window, "key", "alt+d")
        waiting_on = ws.wait_for(lambda: process.poll() is None and
                                 reached(ws.read_text(ftp_log).splitlines()))
        if waiting_on is None:
            return [f"{name}: the program never came to wait on the server"]
        print(f"{name}: the program waits on the server after {waiting_on}")
        code, out, _ = wine_process.run(
            [args.holder, "probe", window_ui.TITLE, str(PROBE_SECONDS)],
            env=ws.wine_env(), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
            timeout=PROBE_SECONDS + 120)
        said = out.decode(errors="replace").strip()
        print(f"{name}: probe: {said}")
        failures = []
        if code != 0:
            failures.append(f"{name}: the window stopped answering: {said}")
        if process.poll() is not None:
            failures.append(f"{name}: the program ended while it waited ({process.returncode})")
        return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--holder", required=True)
    parser.add_argument("--pe-fixtures", required=True)
    parser.add_argument("--support", required=True)
    args = parser.parse_args()
    display = window_ui.take_display()
    if display is None:
        return 77

    failures = []
    for name, options, reached in FAULTS:
        with tempfile.TemporaryDirectory(prefix="velmora-win-answers-") as root:
            failures += check_fault(args, root, name, options, reached)
    return ws.verdict("e2e_window_answers", failures)


if __name__ == "__main__":
    sys.exit(main())
