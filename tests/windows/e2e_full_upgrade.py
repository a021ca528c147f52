#!/usr/bin/python3
"""velmora-upgrade-console.exe's whole upgrade under Wine, from the Linux side.

A program folder with Tarvik 3.0.2 below a folder with Croatian letters, the main program's
settings in Wine's registry, the FTP test server offering the cabinet from 3.0.2 to 3.0.3 (a new
Tarvik.exe, a new upgrade file with its script, files in sub-folders) and the TDS test server
with two Tarvik databases and one that is not Tarvik's. The program must download and unpack
the cabinet through WinINet and SetupAPI, upgrade and stamp both Tarvik databases and write the
run log. With the Linux console program given, the same scenario runs on Linux and the two run
logs must tell the same story, event by event (times, folders and ports aside).

    e2e_full_upgrade.py --exe velmora-upgrade-console.exe --pe-fixtures DIR --support DIR
                        [--linux-console PATH]
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

import wine_support as ws

CATALOG = {
    "password": "KolVanDuaMerTis",
    "databases": [
        {"name": "ALFA", "id": 5, "tables": ["BLAG_DNEV"], "verzija": ["3.0.2"]},
        {"name": "BETA", "id": 6, "tables": ["BLAG_DNEV"], "verzija": ["3.0.2"]},
        {"name": "OSTALO", "id": 7, "tables": ["Artikli"], "verzija": ["1.0.0"]},
    ],
}
NEW_UPGRADE_FILE = ("[Verzija]\r\n3.0.2 / 3.0.3\r\n*\r\n"
                    "[Akcija]\r\nCREATE TABLE Nova (a int)\r\n-GO-\r\n*\r\n")
SUB_FILES = {os.path.join("Izvjestaji", "račun.rpt"): b"report",
             os.path.join("Slike", "logo.bmp"): b"BM picture"}


def make_cabinet(root, pe_fixtures):
    """Tn_302_303.cab in a fresh FTP root, made with gcab."""
    sources = os.path.join(root, "cab-sources")
    ftp_root = os.path.join(root, "ftp")
    os.makedirs(ftp_root)
    files = {"Tarvik.exe": open(os.path.join(pe_fixtures, "Tarvik-3.0.0.3.exe"), "rb").read(),
             "Tarvik_Upg.Upg": NEW_UPGRADE_FILE.encode("cp1250")}
    files.update(SUB_FILES)
    for name, data in files.items():
        path = os.path.join(sources, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    subprocess.run(["gcab", "-c", "-z", os.path.join(ftp_root, "Tn_302_303.cab")] + list(files),
                   cwd=sources, check=True, capture_output=True)
    return ftp_root


def prepare_folder(root, program, pe_fixtures):
    folder = os.path.join(root, "Škola Čakovec", "Tarvik")
    os.makedirs(folder)
    shutil.copy(program, folder)
    shutil.copy(os.path.join(pe_fixtures, "Tarvik-3.0.0.2.exe"), os.path.join(folder, "Tarvik.exe"))
    with open(os.path.join(folder, "Tarvik_Upg.Upg"), "wb") as f:
        f.write(b"[Verzija]\r\n3.0.1 / 3.0.2\r\n*\r\n")
    return folder


def check_run(name, code, out, err, folder, state, ftp_log):
    failures = []
    if code != 0:
        failures.append(f"{name}: exit status {code}, expected 0")
    for rel, data in SUB_FILES.items():
        path = os.path.join(folder, rel)
        if not os.path.exists(path) or open(path, "rb").read() != data:
            failures.append(f"{name}: {rel} not unpacked")
    if "3.0.2 / 3.0.3" not in open(os.path.join(folder, "Tarvik_Upg.Upg"), "rb").read().decode("cp1250"):
        failures.append(f"{name}: the new upgrade file was not installed")
    versions = {d["name"]: d["verzija"] for d in state["databases"]}
    for db in ("ALFA", "BETA"):
        if "3.0.3" not in (versions.get(db) or []):
            failures.append(f"{name}: {db} not stamped 3.0.3: {versions.get(db)}")
    if versions.get("OSTALO") != ["1.0.0"]:
        failures.append(f"{name}: the database that is not Tarvik's was touched")
    log = ws.read_text(os.path.join(folder, "Tarvik_Upg.log"))
    if "chosen cabinet Tn_302_303.cab" not in log:
        failures.append(f"{name}: run log lacks the chosen cabinet")
    if "RETR Tn_302_303.cab" not in ws.read_text(ftp_log):
        failures.append(f"{name}: the FTP server saw no RETR of the cabinet")
    if failures:
        print(f"--- {name} standard output ---\n{out}\n--- standard error ---\n{err}\n"
              f"--- run log ---\n{log}")
    return failures


def run_scenario(name, root, program, args, runner):
    folder = prepare_folder(os.path.join(root, name), program, args.pe_fixtures)
    ftp_root = make_cabinet(os.path.join(root, name + "-ftp"), args.pe_fixtures)
    ftp_log = os.path.join(root, name + "-ftp.log")
    with ws.FtpServer(args.support, ftp_root, ftp_log) as ftp, \
            ws.TdsServer(args.support, CATALOG, os.path.join(root, name + "-tds")) as tds:
        code, out, err = runner(folder, ftp.port, tds.port)
        failures = check_run(name, code, out, err, folder, tds.state(), ftp_log)
    return folder, failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--pe-fixtures", required=True)
    parser.add_argument("--support", required=True)
    parser.add_argument("--linux-console")
    args = parser.parse_args()

    def windows(folder, ftp_port, tds_port):
        ws.set_tarvik_settings({"PutBaza": "C:\\Tarvik\\Baze",
                                "ImeServera": f"127.0.0.1,{tds_port}", "TipServera": "1"})
        return ws.run_wine([os.path.join(folder, os.path.basename(args.exe))], cwd=folder,
                           extra_env={"VELMORA_ODBC_DRIVER": ws.odbc_driver(),
                                      "VELMORA_UPDATE_SERVER": f"127.0.0.1:{ftp_port}"})

    def linux(folder, ftp_port, tds_port):
        config = os.path.join(os.path.dirname(os.path.dirname(folder)), "config")
        os.makedirs(os.path.join(config, "VB and VBA Program Settings"), exist_ok=True)
        with open(os.path.join(config, "VB and VBA Program Settings", "Tarvik.ini"), "w") as f:
            f.write(f"[PutBaza]\nPutBaza=C:\\Tarvik\\Baze\n[ImeServera]\n"
                    f"ImeServera=127.0.0.1,{tds_port}\n[TipServera]\nTipServera=1\n")
        env = dict(os.environ, XDG_CONFIG_HOME=config,
                   VELMORA_UPDATE_SERVER=f"127.0.0.1:{ftp_port}")
        env.pop("VELMORA_ODBC_DRIVER", None)
        p = subprocess.run([os.path.join(folder, "velmora-upgrade-console")], cwd=folder, env=env,
                           stdin=subprocess.DEVNULL, capture_output=True, timeout=180)
        return p.returncode, p.stdout.decode(errors="replace"), p.stderr.decode(errors="replace")

    with tempfile.TemporaryDirectory(prefix="velmora-win-full-") as root:
        win_folder, failures = run_scenario("windows", root, args.exe, args, windows)
        if args.linux_console and os.path.exists(args.linux_console):
            linux_folder, more = run_scenario("linux", root, args.linux_console, args, linux)
            failures += more
            failures += ws.compare_run_logs(
                ws.read_text(os.path.join(linux_folder, "Tarvik_Upg.log")), linux_folder,
                ws.read_text(os.path.join(win_folder, "Tarvik_Upg.log")), win_folder)
        else:
            print("no Linux console program given: the run logs are not compared")

    return ws.verdict("e2e_full_upgrade", failures)


if __name__ == "__main__":
    sys.exit(main())
