#!/usr/bin/python3
"""A console program built with the maker's (test) key, from the Linux side: natively on Linux
(--native) or as a Windows program under Wine (WinINet and BCrypt).

The FTP test server offers Tn_302_303.cab (a Tarvik.exe of 3.0.3 and its upgrade file: two
files, so the run ends after the installation without a database phase). Its signature file is
made here with the openssl tool alone, after the documented format, so the program's reading of
the format is checked against an independent writer. A good signature installs (exit 0); a
cabinet changed after signing, no signature file, another key's signature and a signed older
cabinet served under the newer name are refused: exit status 2, the program folder byte for
byte as before, the downloaded cabinet deleted, the reason in the run log. With --unkeyed, a
program without keys installs the unsigned cabinet and says in its run log that it did not
check it.

    e2e_signed_upgrade.py [--native] --exe PROGRAM --key MAKER.pem --support DIR [--unkeyed P]
"""
import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

import wine_support as ws

SCRIPTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts")
OLD_UPGRADE_FILE = b"[Verzija]\r\n3.0.1 / 3.0.2\r\n*\r\n"
REFUSAL = "33333/Skinuta datoteka nije od Velmore !! | Ništa nije promijenjeno."


def openssl(*argv, data=None):
    return subprocess.run(["openssl"] + list(argv), input=data, capture_output=True,
                          check=True).stdout


def der_integers(der):
    """r and s of a DER ECDSA signature (SEQUENCE of two INTEGERs), 32 bytes each."""
    assert der[0] == 0x30
    at = 2 if der[1] < 0x80 else 3
    values = []
    for _ in range(2):
        assert der[at] == 0x02
        length = der[at + 1]
        values.append(der[at + 2:at + 2 + length].lstrip(b"\0").rjust(32, b"\0"))
        at += 2 + length
    return values


def sign(key_pem, cabinet, name=None):
    """The signature file of the cabinet, for `name` (its own name unless told)."""
    data = open(cabinet, "rb").read()
    public_der = openssl("pkey", "-in", key_pem, "-pubout", "-outform", "DER")
    statement = ("Velmora-Signature: 1\n"
                 f"Key: {hashlib.sha256(public_der).hexdigest()}\n"
                 f"Name: {name or os.path.basename(cabinet)}\n"
                 f"Size: {len(data)}\n"
                 f"SHA-256: {hashlib.sha256(data).hexdigest()}\n")
    with tempfile.NamedTemporaryFile() as f:
        f.write(statement.encode())
        f.flush()
        der = openssl("dgst", "-sha256", "-sign", key_pem, f.name)
    r, s = der_integers(der)
    return statement + f"Signature: {(r + s).hex()}\n"


def make_cabinet(sources, path, version, label):
    os.makedirs(sources, exist_ok=True)
    subprocess.run(["/usr/bin/python3", os.path.join(SCRIPTS, "make-pe-exe"),
                    os.path.join(sources, "Tarvik.exe"), "--version", version], check=True)
    with open(os.path.join(sources, "Tarvik_Upg.Upg"), "wb") as f:
        f.write(f"[Verzija]\r\n{label}\r\n*\r\n".encode())
    subprocess.run(["gcab", "-c", "-z", path, "Tarvik.exe", "Tarvik_Upg.Upg"], cwd=sources,
                   check=True, capture_output=True)


def snapshot(folder):
    entries = {}
    for base, dirs, files in os.walk(folder):
        for name in files:
            path = os.path.join(base, name)
            rel = os.path.relpath(path, folder)
            if rel != "Tarvik_Upg.log":
                entries[rel] = open(path, "rb").read()
    return entries


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--support", required=True)
    parser.add_argument("--unkeyed")
    parser.add_argument("--native", action="store_true")
    args = parser.parse_args()

    def run(program, folder, port):
        env = {"VELMORA_UPDATE_SERVER": f"127.0.0.1:{port}"}
        exe = os.path.join(folder, os.path.basename(program))
        if args.native:
            p = subprocess.run([exe], cwd=folder, env=dict(os.environ, **env),
                               stdin=subprocess.DEVNULL, capture_output=True, timeout=180)
            return p.returncode, p.stdout.decode(errors="replace"), p.stderr.decode(errors="replace")
        return ws.run_wine([exe], cwd=folder, extra_env=env)

    failures = []
    with tempfile.TemporaryDirectory(prefix="velmora-signed-") as root:
        other_key = os.path.join(root, "other.pem")
        openssl("ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", other_key)
        cab_new = os.path.join(root, "new.cab")
        make_cabinet(os.path.join(root, "src-new"), cab_new, "3.0.0.3", "3.0.2 / 3.0.3")
        cab_old = os.path.join(root, "old.cab")
        make_cabinet(os.path.join(root, "src-old"), cab_old, "3.0.0.2", "3.0.1 / 3.0.2")

        def serve(ftp, cabinet, signature):
            shutil.copy(cabinet, os.path.join(ftp, "Tn_302_303.cab"))
            if signature is not None:
                with open(os.path.join(ftp, "Tn_302_303.cab.sig"), "w") as f:
                    f.write(signature)

        def changed(ftp):
            signature = sign(args.key, cab_new, "Tn_302_303.cab")
            data = bytearray(open(cab_new, "rb").read())
            data[-1] ^= 0x01
            with open(os.path.join(ftp, "Tn_302_303.cab"), "wb") as f:
                f.write(data)
            with open(os.path.join(ftp, "Tn_302_303.cab.sig"), "w") as f:
                f.write(signature)

        cases = [
            ("signed", args.exe, lambda ftp: serve(ftp, cab_new, sign(args.key, cab_new, "Tn_302_303.cab")),
             0, "verified: signed by key"),
            ("changed", args.exe, changed, 2, "refused: the file was changed after it was signed"),
            ("unsigned", args.exe, lambda ftp: serve(ftp, cab_new, None), 2,
             "refused: no signature file Tn_302_303.cab.sig"),
            ("other key", args.exe,
             lambda ftp: serve(ftp, cab_new, sign(other_key, cab_new, "Tn_302_303.cab")), 2,
             "refused: signed with a key this program does not know"),
            ("older under a newer name", args.exe,
             lambda ftp: serve(ftp, cab_old, sign(args.key, cab_old, "Tn_301_302.cab")), 2,
             "refused: the signature is for Tn_301_302.cab, not for Tn_302_303.cab"),
        ]
        if args.unkeyed:
            cases.append(("no key built in", args.unkeyed, lambda ftp: serve(ftp, cab_new, None),
                          0, "not checked: no update key is built in"))

        for n, (name, program, prepare, status, line) in enumerate(cases):
            folder = os.path.join(root, f"case{n}", "Tarvik")
            ftp = os.path.join(root, f"case{n}", "ftp")
            os.makedirs(folder)
            os.makedirs(ftp)
            shutil.copy(program, folder)
            subprocess.run(["/usr/bin/python3", os.path.join(SCRIPTS, "make-pe-exe"),
                            os.path.join(folder, "Tarvik.exe"), "--version", "3.0.0.2"], check=True)
            with open(os.path.join(folder, "Tarvik_Upg.Upg"), "wb") as f:
                f.write(OLD_UPGRADE_FILE)
            prepare(ftp)
            before = snapshot(folder)
            with ws.FtpServer(args.support, ftp, os.path.join(root, f"ftp{n}.log")) as server:
                code, out, err = run(program, folder, server.port)
            log = ws.read_text(os.path.join(folder, "Tarvik_Upg.log"))
            problems = []
            if code != status:
                problems.append(f"exit status {code}, expected {status}")
            if line not in log:
                problems.append(f"run log lacks {line!r}")
            after = snapshot(folder)
            if status == 0:
                tarvik = open(os.path.join(folder, "Tarvik.exe"), "rb").read()
                if tarvik == before["Tarvik.exe"]:
                    problems.append("Tarvik.exe was not replaced")
            else:
                if after != before:
                    problems.append("the program folder changed: " +
                                    ", ".join(sorted(set(after) ^ set(before)) or
                                              [k for k in after if after[k] != before.get(k)]))
                if REFUSAL not in err:
                    problems.append("the refusal box was not shown")
            if problems:
                failures += [f"{name}: {p}" for p in problems]
                print(f"--- {name} standard output ---\n{out}\n--- standard error ---\n{err}\n"
                      f"--- run log ---\n{log}")
            else:
                print(f"{name}: exit status {code}, as expected")

    return ws.verdict("e2e_signed_upgrade", failures)


if __name__ == "__main__":
    sys.exit(main())
