"""A Windows program under Wine whose exit status is the one Windows reports.

Wine ends a program's Linux process with SIGKILL when, half a second after the program's last
Windows thread ended, it is still finishing on the Linux side (the destructors of the ODBC
driver's, TLS's and X11's libraries). The Linux side then sees -9, though the program ended
with a status of its own. So the program is started through velmora-test-launch.exe (named by
VELMORA_TEST_LAUNCH, which ctest sets), which waits for it inside Wine and writes its status
to a file; that status is the one given here. Without VELMORA_TEST_LAUNCH (a script run by
hand) the program is started directly and the Linux status is all there is.
"""
import os
import subprocess
import tempfile


def windows_path(unix_path):
    """A Linux path as a Windows program under Wine sees it (drive Z: is the root)."""
    return "Z:" + unix_path.replace("/", "\\")


class WineProcess:
    """subprocess.Popen's poll, wait, communicate and kill for `wine PROGRAM ARGS...`; killing
    it ends the program too (the launcher's job goes with it)."""

    def __init__(self, argv, **popen_args):
        launcher = os.environ.get("VELMORA_TEST_LAUNCH")
        self._status_file = None
        if launcher:
            folder = tempfile.mkdtemp(prefix="velmora-status-")
            self._status_file = os.path.join(folder, "status")
            argv = [launcher, windows_path(self._status_file)] + list(argv)
        self._process = subprocess.Popen(["wine"] + list(argv), **popen_args)
        self.stdin = self._process.stdin
        self.stdout = self._process.stdout
        self.stderr = self._process.stderr
        self.pid = self._process.pid
        self.returncode = None

    def poll(self):
        if self._process.poll() is None:
            return None
        return self._ended()

    def wait(self, timeout=None):
        self._process.wait(timeout=timeout)
        return self._ended()

    def communicate(self, input=None, timeout=None):
        out, err = self._process.communicate(input=input, timeout=timeout)
        self._ended()
        return out, err

    def kill(self):
        self._process.kill()

    def _ended(self):
        if self.returncode is None:
            self.returncode = self._windows_status()
            if self.returncode is None:
                self.returncode = self._process.returncode
        return self.returncode

    def _windows_status(self):
        """The status the launcher wrote, or None: started directly, or the launcher itself
        was ended before the program (killed by the test)."""
        if self._status_file is None:
            return None
        try:
            with open(self._status_file) as f:
                return int(f.read())
        except (FileNotFoundError, ValueError):
            return None
        finally:
            for path in (self._status_file, self._status_file + ".partial"):
                try:
                    os.unlink(path)
                except FileNotFoundError:
                    pass  # never written
            os.rmdir(os.path.dirname(self._status_file))


def run(argv, timeout=None, input=None, **popen_args):
    """subprocess.run for a Windows program under Wine: returns (status, stdout, stderr)."""
    process = WineProcess(argv, stdin=subprocess.PIPE if input is not None else None,
                          **popen_args)
    try:
        out, err = process.communicate(input=input, timeout=timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        process.communicate()
        raise
    return process.returncode, out, err
