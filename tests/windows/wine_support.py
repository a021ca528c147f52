"""Helpers of the end-to-end runs under Wine, driven from the Linux side: the test servers as
child processes, the main program's settings in Wine's registry, a program run under Wine, and
the comparison of two run logs."""
import json
import os
import re
import subprocess
import time

import wine_process
from wine_process import windows_path  # noqa: F401 (the scripts' one name for it)

SETTINGS_KEY = "HKCU\\Software\\VB and VBA Program Settings\\Tarvik"


def wine_env(extra=None):
    """The environment of a Wine process: the caller's WINEPREFIX (inside the build folder),
    Wine's own messages off."""
    env = dict(os.environ)
    if "WINEPREFIX" not in env:
        raise SystemExit("WINEPREFIX is not set: no test may use the user's own Wine prefix")
    env.setdefault("WINEDEBUG", "-all")
    # Wine decodes Linux file names in the charset of the Linux locale: under "C" a folder with
    # Croatian letters could not be reached at all.
    locale = env.get("LC_ALL") or env.get("LC_CTYPE") or env.get("LANG") or ""
    if "utf-8" not in locale.lower() and "utf8" not in locale.lower():
        env["LC_ALL"] = "C.UTF-8"
    env.update(extra or {})
    return env


def odbc_driver():
    """The unixODBC driver the Windows programs name in the tests (VELMORA_ODBC_DRIVER): odbc32
    hands over to the host's unixODBC of the program's width, and the 32-bit FreeTDS is
    registered under a name of its own (FreeTDS32, see scripts/setup)."""
    return os.environ.get("VELMORA_TEST_ODBC_DRIVER", "FreeTDS")


def run_wine(argv, cwd, extra_env=None, stdin_text="", timeout=180):
    """Runs a Windows program under Wine; returns (exit status, stdout, stderr) as text with the
    Windows line ends of the C runtime's text mode turned into "\\n"."""
    started = time.monotonic()
    code, out, err = wine_process.run(argv, cwd=cwd, env=wine_env(extra_env),
                                      input=stdin_text.encode(), stdout=subprocess.PIPE,
                                      stderr=subprocess.PIPE, timeout=timeout)
    print(f"{os.path.basename(argv[0])} under Wine: {time.monotonic() - started:.1f} s")

    def text(data):
        return data.decode("utf-8", errors="replace").replace("\r\n", "\n")
    return code, text(out), text(err)


def set_tarvik_settings(values):
    """Writes the main program's settings as string values, section and key of the same name,
    after removing what an earlier run left."""
    # Absent the first time: whether it was there is no failure.
    wine_process.run(["reg", "delete", SETTINGS_KEY, "/f"], env=wine_env(),
                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for name, value in values.items():
        code, _, err = wine_process.run(
            ["reg", "add", f"{SETTINGS_KEY}\\{name}", "/v", name, "/t", "REG_SZ", "/d", value,
             "/f"], env=wine_env(), stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        if code != 0:
            raise SystemExit(f"reg add {name}: status {code}: {err.decode(errors='replace')}")


def verdict(name, failures):
    """Prints each failure and the script's verdict; returns its exit status."""
    for f in failures:
        print(f)
    print(f"{name}: " + ("FAILED" if failures else "passed"))
    return 1 if failures else 0


def wait_for(condition, timeout=120):
    """Polls `condition` until it gives something true, which is returned; None at the
    time-out."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = condition()
        if found:
            return found
        time.sleep(0.1)
    return None


def read_text(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except FileNotFoundError:
        return ""


def run_log_events(text, folder):
    """The events of a run log without their times, (kind, details) per line, with the program
    folder written as <folder>."""
    events = []
    for line in text.splitlines():
        parts = line.split("\t", 2)
        if len(parts) == 3:
            # Some events write "\\" doubled (escaped), others as it is.
            details = parts[2].replace(folder.replace("\\", "\\\\"), "<folder>")
            details = details.replace(folder, "<folder>")
            # A file in the program folder: each platform's separator.
            details = details.replace("<folder>\\\\", "<folder>/")
            # Each run has a test server of its own, on a port of its own.
            details = re.sub(r"\(local\),\d+", "(local),<port>", details)
            details = re.sub(r"127\.0\.0\.1([:,])\d+", r"127.0.0.1\1<port>", details)
            # Paths inside the program folder (the installation's steps): each platform's
            # separator, "\\" being an escaped "\".
            details = details.replace("\\\\", "/")
            # The Linux program names FreeTDS; a 32-bit Windows program the 32-bit FreeTDS,
            # which is the same driver under a name of its own.
            details = details.replace(f"ODBC driver {odbc_driver()}", "ODBC driver FreeTDS")
            # How long a step took is the machine's business, not the story's.
            details = re.sub(r"took \d+ ms", "took <ms>", details)
            events.append((parts[1], details))
    return events


def compare_run_logs(linux_text, linux_folder, windows_text, windows_folder):
    """The two logs must list the same events in the same order, the program folders aside.
    Returns the differences."""
    linux = run_log_events(linux_text, linux_folder)
    windows = run_log_events(windows_text, windows_path(windows_folder))
    failures = []
    for i in range(max(len(linux), len(windows))):
        a = linux[i] if i < len(linux) else None
        b = windows[i] if i < len(windows) else None
        if a != b:
            failures.append(f"run logs differ at event {i + 1}: Linux {a}, Windows {b}")
    if not failures:
        print(f"run logs: the same {len(linux)} events on Linux and Windows")
    return failures


class TdsServer:
    """The TDS test server on a free loopback port, for the length of a `with` block."""

    def __init__(self, support_dir, catalog, folder):
        os.makedirs(folder, exist_ok=True)
        self.catalog_path = os.path.join(folder, "catalog.json")
        self.state_path = os.path.join(folder, "state.json")
        with open(self.catalog_path, "w", encoding="utf-8") as f:
            json.dump(catalog, f, ensure_ascii=False)
        self.log = open(os.path.join(folder, "server.log"), "wb")
        self.process = subprocess.Popen(
            [os.path.join(support_dir, "tds_server"), "--port", "0", "--catalog",
             self.catalog_path, "--journal", os.path.join(folder, "journal.jsonl"),
             "--state", self.state_path],
            stdout=subprocess.PIPE, stderr=self.log)
        line = self.process.stdout.readline().decode().strip()
        if not line.startswith("port "):
            self.close()
            raise SystemExit(f"tds_server did not start: {line}")
        self.port = int(line[5:])

    def state(self):
        with open(self.state_path, encoding="utf-8") as f:
            return json.load(f)

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=10)
        self.log.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class FtpServer:
    """The FTP test server serving `root` on a free loopback port, for a `with` block; `options`
    are ftp_server.py's own (--stall-after N, ...)."""

    def __init__(self, support_dir, root, log_path, options=()):
        self.log_path = log_path
        self.process = subprocess.Popen(
            ["/usr/bin/python3", os.path.join(support_dir, "ftp_server.py"), "--root", root,
             "--log", log_path, "--port", "0"] + list(options),
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        line = self.process.stdout.readline().decode().strip()
        if not line.startswith("port "):
            self.close()
            raise SystemExit(f"ftp_server.py did not start: {line}")
        self.port = int(line[5:])

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=10)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
