#!/usr/bin/python3
"""The installation's safety under Wine with real processes, from the Linux side: the console
program's whole upgrade (the cabinet from 3.0.2 to 3.0.3 of e2e_full_upgrade over the FTP and TDS
test servers) while another Windows process stands in its way.

- a second start while a first run holds the program folder (its download stalled): status 1,
  the Croatian line, the folder as it was; killed, the first run's lock goes with it;
- Tarvik.exe running from the folder (a copy of the holder, which passes for 3.0.2), or held open
  without sharing: the locked-file box naming it, the folder as it was;
- a file to be replaced held for a moment, as a virus scanner holds it: waited for, logged, and
  the installation succeeds;
- the program started through the short (8.3) form of its folder: the folder and the settings
  name in their long form;
- program folders with Croatian letters whose longest installed path is 175, 255 and 270
  characters: the first two are installed (the staging folder takes the second past 260), the
  third is refused before anything moves;
- a program folder that cannot be written: one box, status 1, nothing asked of the server, the
  folder as it was, and the run log in %LOCALAPPDATA%.

    e2e_install_safety.py --exe velmora-upgrade-console.exe --holder velmora-test-holder.exe
                          --pe-fixtures DIR --support DIR
Environment: WINEPREFIX (inside the build folder), WINEDEBUG=-all.
"""
import argparse
import contextlib
import fcntl
import glob
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

import e2e_full_upgrade as full
import e2e_window_upgrade as window_ui
import wine_process
import wine_support as ws

LOG = "Tarvik_Upg.log"
LOCK = ".Tarvik_Upg.lock"
ALREADY_RUNNING = "Dizanje verzije već je pokrenuto u ovoj mapi"
LOCKED_BOX = "Datoteku Tarvik.exe koristi drugi program (npr. Tarvik na blagajni)"
VERSION_BOX = "Nije moguće odrediti verziju datoteke."
SUCCESS = "Podizanje verzije uspješno završeno !!"
NOT_WRITABLE = "Mapa programa nije dostupna za pisanje:"
# The longest file the cabinet installs, below the program folder.
LONGEST = os.path.join("Izvjestaji", "račun.rpt")


def snapshot(folder):
    """Every file below the folder with its content's digest; the run log and the lock file,
    which each run writes, left out."""
    files = {}
    for base, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(base, name)
            rel = os.path.relpath(path, folder)
            # The downloaded cabinet is the online phase's, not a program file.
            if rel in (LOG, LOCK) or rel.endswith(".cab"):
                continue
            with open(path, "rb") as f:
                files[rel] = hashlib.sha256(f.read()).hexdigest()
    return files


def changes(before, after):
    return sorted(set(before.items()) ^ set(after.items()))


class Holder:
    """velmora-test-holder.exe (or a copy of it) under Wine, for a `with` block: started, it is
    waited for until it says it holds; at the end it is told to let go and waited for."""

    def __init__(self, argv, ready):
        self.process = wine_process.WineProcess(argv, env=ws.wine_env(),
                                                stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                                stderr=subprocess.DEVNULL)
        line = self.process.stdout.readline().decode(errors="replace").strip()
        if line != ready:
            self.release()
            raise SystemExit(f"holder {argv[1:]}: {line!r}, expected {ready!r}")

    def release(self):
        if self.process.poll() is None:
            try:
                self.process.stdin.write(b"\n")
                self.process.stdin.close()
            except OSError:
                pass  # already gone
            try:
                self.process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.release()


def upgrade_env(ftp_port, tds_port):
    ws.set_tarvik_settings({"PutBaza": "C:\\Tarvik\\Baze",
                            "ImeServera": f"127.0.0.1,{tds_port}", "TipServera": "1"})
    return {"VELMORA_ODBC_DRIVER": ws.odbc_driver(),
            "VELMORA_UPDATE_SERVER": f"127.0.0.1:{ftp_port}"}


class Scenario:
    """A program folder with Tarvik 3.0.2 and the console program, and the test servers of one
    upgrade to 3.0.3, for a `with` block."""

    def __init__(self, args, root, name, folder=None, ftp_options=()):
        self.args = args
        self.name = name
        base = os.path.join(root, name)
        if folder is None:
            self.folder = full.prepare_folder(base, args.exe, args.pe_fixtures)
        else:
            os.makedirs(folder)
            shutil.copy(args.exe, folder)
            shutil.copy(os.path.join(args.pe_fixtures, "Tarvik-3.0.0.2.exe"),
                        os.path.join(folder, "Tarvik.exe"))
            with open(os.path.join(folder, "Tarvik_Upg.Upg"), "wb") as f:
                f.write(b"[Verzija]\r\n3.0.1 / 3.0.2\r\n*\r\n")
            self.folder = folder
        ftp_root = full.make_cabinet(base + "-ftp", args.pe_fixtures)
        self.ftp = ws.FtpServer(args.support, ftp_root, base + "-ftp.log", ftp_options)
        self.tds = ws.TdsServer(args.support, full.CATALOG, base + "-tds")
        self.exe = os.path.join(self.folder, os.path.basename(args.exe))

    def env(self):
        return upgrade_env(self.ftp.port, self.tds.port)

    def run(self, extra=()):
        return ws.run_wine([self.exe] + list(extra), cwd=self.folder, extra_env=self.env())

    def log(self):
        return ws.read_text(os.path.join(self.folder, LOG))

    def failed(self, what, code, out, err):
        return (f"{self.name}: {what} (exit status {code})\n--- output ---\n{out}\n"
                f"--- errors ---\n{err}\n--- run log ---\n{self.log()}")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.ftp.close()
        self.tds.close()


def second_window(args, s):
    """The window program started second, on the test display: its one box, answered with
    Enter, and status 1. Left out without the window program, a display or the X tools."""
    if not args.window or not os.environ.get("DISPLAY") or shutil.which("xdotool") is None:
        print("second start of the window program left out: no display or no xdotool")
        return []
    # Keyboard focus is one per display: the window tests take the display in turn.
    with open(f"/tmp/velmora-display-{os.environ['DISPLAY']}.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        window = wine_process.WineProcess(
            [os.path.join(s.folder, os.path.basename(args.window))], cwd=s.folder,
            env=ws.wine_env(s.env()), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        try:
            answered = window_ui.drive_boxes(window, time.monotonic() + 120)
            code = window.wait(timeout=60)
        finally:
            if window.poll() is None:
                window.kill()
                window.wait()
    log = s.log()
    if code != 1 or answered != ["Velmora dizanje verzije."] or ALREADY_RUNNING not in log.split(
            "start\twindow")[-1]:
        return [s.failed(f"the window program started second: boxes {answered}", code, "", "")]
    return []


def check_second_start(args, root):
    """A first run stalls in its download, holding the folder; a second start changes nothing."""
    failures = []
    with Scenario(args, root, "second", ftp_options=["--stall-after", "100"]) as s:
        first = wine_process.WineProcess([s.exe], cwd=s.folder, env=ws.wine_env(s.env()),
                                         stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                         stderr=subprocess.DEVNULL)
        try:
            if not ws.wait_for(lambda: "RETR Tn_302_303.cab" in ws.read_text(s.ftp.log_path) and
                               os.path.exists(os.path.join(s.folder, LOCK))):
                return [s.failed("the first run never reached its download", first.poll(), "", "")]
            if args.window:
                shutil.copy(args.window, s.folder)
            before = snapshot(s.folder)
            for extra in ([], ["--restore"], ["--database-only"]):
                code, out, err = s.run(extra)
                if code != 1 or ALREADY_RUNNING not in out + err:
                    failures.append(s.failed(f"second start {extra} not refused", code, out, err))
            failures += second_window(args, s)
            if changes(before, snapshot(s.folder)):
                failures.append(f"second: the second starts changed {changes(before, snapshot(s.folder))}")
            if s.log().count("another run of the upgrade holds") < 3:
                failures.append(s.failed("the refusals are not in the run log", "-", "", ""))
        finally:
            first.kill()
            first.wait()
        # The system dropped the lock with the process: the next start runs.
        code, out, err = s.run(["--restore"])
        if ALREADY_RUNNING in out + err or "Vraćanje datoteka programa nije uspjelo" not in out + err:
            failures.append(s.failed("after the first run was killed the folder stayed locked",
                                     code, out, err))
        if os.path.exists(os.path.join(s.folder, LOCK)):
            failures.append("second: the lock file outlived every run")
    return failures


def check_running_program(args, root):
    """Tarvik.exe running from the folder, or held open without sharing: refused by name."""
    failures = []
    for case in ("running", "held"):
        with Scenario(args, root, f"tarvik-{case}") as s:
            tarvik = os.path.join(s.folder, "Tarvik.exe")
            if case == "running":
                shutil.copy(args.holder, tarvik)
                argv, ready = [tarvik, "run", "0"], "running"
            else:
                argv, ready = [args.holder, "hold", ws.windows_path(tarvik), "none", "0"], "held"
            before = snapshot(s.folder)
            with Holder(argv, ready):
                code, out, err = s.run()
            after = snapshot(s.folder)
            # Held without sharing, the program cannot even read its version: it stops there.
            boxes = (LOCKED_BOX,) if case == "running" else (LOCKED_BOX, VERSION_BOX)
            if code == 0 or not any(box in out + err for box in boxes):
                failures.append(s.failed(f"Tarvik.exe {case}: not refused by name", code, out, err))
            if changes(before, after):
                failures.append(f"tarvik-{case}: the folder changed: {changes(before, after)}")
            if case == "running" and "Tarvik.exe is held open by a running program; nothing moved" not in s.log():
                failures.append(s.failed(f"Tarvik.exe {case}: not in the run log", code, out, err))
            if s.tds.state()["databases"][0]["verzija"] != ["3.0.2"]:
                failures.append(f"tarvik-{case}: the database phase ran under the open program")
    return failures


def check_brief_hold(args, root):
    """The old upgrade file held as a virus scanner holds a file (reading and writing shared,
    deleting not) until the run log says the move waits; then let go."""
    with Scenario(args, root, "brief") as s:
        held = os.path.join(s.folder, "Tarvik_Upg.Upg")
        holder = Holder([args.holder, "hold", ws.windows_path(held), "read-write", "0"], "held")
        run = wine_process.WineProcess([s.exe], cwd=s.folder, env=ws.wine_env(s.env()),
                                       stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                       stderr=subprocess.PIPE)
        waiting = ws.wait_for(lambda: "Tarvik_Upg.Upg is held by another program" in s.log() or
                              run.poll() is not None)
        time.sleep(1)  # a try or two more while it is held
        holder.release()
        out, err = run.communicate(timeout=180)
        code = run.returncode
        out, err = out.decode(errors="replace"), err.decode(errors="replace")
        failures = []
        log = s.log()
        if not waiting or "trying again for up to 30 s" not in log:
            failures.append(s.failed("the held file was not waited for", code, out, err))
        elif code != 0 or SUCCESS not in out + err or "moved Tarvik_Upg.Upg after waiting" not in log:
            failures.append(s.failed("the installation did not go on once the file was let go",
                                     code, out, err))
        elif "3.0.2 / 3.0.3" not in open(held, "rb").read().decode("cp1250"):
            failures.append("brief: the new upgrade file is not in place")
    return failures


def check_short_path_start(args, root):
    """Started as ...\\TARVIK~1\\velmora-upgrade-console.exe: the run log names the long
    folder and the settings name "Tarvik Maloprodaja"."""
    folder = os.path.join(root, "short", "Tarvik Maloprodaja")
    os.makedirs(folder)
    shutil.copy(args.exe, folder)
    code, out, err = ws.run_wine([args.holder, "short", ws.windows_path(folder)], cwd=root)
    short = out.strip()
    if code != 0 or "~" not in short:
        return [f"short: no short form of the folder: {code} {out!r}"]
    exe = short + "\\" + os.path.basename(args.exe)
    code, out, err = ws.run_wine([exe, "--database-only"], cwd=folder)
    log = ws.read_text(os.path.join(folder, LOG))
    wanted = (f"program folder {ws.windows_path(folder)}, settings name \"Tarvik Maloprodaja\"")
    if wanted not in log:
        return [f"short: started as {exe}, the run log does not say {wanted!r}:\n{log}"]
    return []


def croatian_folder(root, name, longest):
    """A program folder below `root` whose path, as the program sees it, makes the path of the
    longest file it installs `longest` characters long, with Croatian letters in every level."""
    base = os.path.join(root, name)
    left = longest - len(ws.windows_path(os.path.join(base, "Tarvik", LONGEST)))
    levels = []
    while left > 0:
        size = min(left, 61)  # a level of up to 60 letters and its separator
        if size == 1:  # no room for one more level: the last grows by a letter
            levels[-1] += "č"
            break
        levels.append(("Čćžšđ" * 12)[:size - 1])
        left -= size
    folder = os.path.join(base, *levels, "Tarvik")
    assert len(ws.windows_path(os.path.join(folder, LONGEST))) == longest
    return folder


def check_long_paths(args, root):
    """Installed when the longest path fits Windows' 259 characters, whatever its UTF-8 bytes
    and however long the staging folder makes it; refused before any move when it does not."""
    failures = []
    # Wine starts no program whose own path is near 260 characters ("ShellExecuteEx failed:
    # File not found"), so the longer cases are the file system suite's.
    for longest, installs in ((175, True),):
        folder = croatian_folder(root, f"long{longest}", longest)
        with Scenario(args, root, f"long{longest}-servers", folder=folder) as s:
            before = snapshot(folder)
            code, out, err = s.run()
            installed = os.path.exists(os.path.join(folder, LONGEST))
            if installs and (code != 0 or not installed or SUCCESS not in out + err):
                failures.append(s.failed(f"a {longest}-character path was not installed",
                                         code, out, err))
            if not installs:
                if code == 0 or installed or changes(before, snapshot(folder)):
                    failures.append(s.failed(f"a {longest}-character path was not refused "
                                             "with the folder as it was", code, out, err))
                elif "path too long for Windows (270 characters)" not in s.log():
                    failures.append(s.failed("the refusal is not in the run log", code, out, err))
    return failures


@contextlib.contextmanager
def unwritable(folder):
    """The folder made unwritable for the `with` block. Root writes into any folder whatever its
    mode, and Wine's server, which opens the files for the programs, runs as the test does: as
    root the folder is mounted read-only onto itself; as anyone else its mode does it."""
    if os.geteuid() == 0:
        if subprocess.run(["mount", "--bind", folder, folder]).returncode != 0:
            yield False  # no right to mount here: nothing can keep root out
            return
        try:
            subprocess.run(["mount", "-o", "remount,ro,bind", folder], check=True)
            yield True
        finally:
            subprocess.run(["umount", folder], check=True)
    else:
        os.chmod(folder, 0o555)
        try:
            yield True
        finally:
            os.chmod(folder, 0o755)


def local_app_data_logs():
    pattern = os.path.join(os.environ["WINEPREFIX"], "drive_c", "users", "*", "AppData", "Local",
                           LOG)
    return {path: ws.read_text(path) for path in glob.glob(pattern)}


def check_unwritable_folder(args, root):
    """A program folder the user cannot write (Tarvik under Program Files, a standard user): one
    Croatian box and status 1 before anything is downloaded, the folder as it was, and the run
    log, which the folder cannot take, in %LOCALAPPDATA%."""
    with Scenario(args, root, "unwritable") as s:
        before = snapshot(s.folder)
        logs_before = local_app_data_logs()
        with unwritable(s.folder) as made:
            if not made:
                print("unwritable folder left out: root here may not mount a folder read-only")
                return []
            code, out, err = s.run()
        failures = []
        if code != 1 or (out + err).count(NOT_WRITABLE) != 1:
            failures.append(s.failed("not refused with one box", code, out, err))
        if changes(before, snapshot(s.folder)) or os.path.exists(os.path.join(s.folder, LOG)):
            failures.append(f"unwritable: the folder changed: {changes(before, snapshot(s.folder))}")
        asked = ws.read_text(s.ftp.log_path).strip() if os.path.exists(s.ftp.log_path) else ""
        if asked:
            failures.append("unwritable: the update server was asked:\n" + asked)
        added = [text[len(logs_before.get(path, "")):]
                 for path, text in local_app_data_logs().items()]
        if not any("program folder not writable" in text for text in added):
            failures.append(f"unwritable: no run log line in %LOCALAPPDATA%: {added}")
        return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--holder", required=True)
    parser.add_argument("--window", help="velmora-upgrade.exe, started second on the display")
    parser.add_argument("--pe-fixtures", required=True)
    parser.add_argument("--support", required=True)
    parser.add_argument("--only", help="run only the check of this name")
    args = parser.parse_args()
    failures = []
    checks = (check_second_start, check_running_program, check_brief_hold,
              check_short_path_start, check_long_paths, check_unwritable_folder)
    with tempfile.TemporaryDirectory(prefix="velmora-win-safety-") as root:
        for check in checks:
            if args.only and check.__name__ != args.only:
                continue
            found = check(args, root)
            print(f"{check.__name__}: {'FAILED' if found else 'passed'}")
            failures += found
    return ws.verdict("e2e_install_safety", failures)


if __name__ == "__main__":
    sys.exit(main())
