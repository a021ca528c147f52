#!/usr/bin/python3
"""velmora-upgrade-console.exe --database-only under Wine, from the Linux side.

A program folder with Croatian letters in its name, the main program's settings in Wine's
registry (written with `wine reg add`, as an administrator would with reg.exe), odbc32 handing
over to the host's unixODBC and FreeTDS, and the TDS test server holding three Tarvik databases
and one that is not Tarvik's. Every Tarvik database must be upgraded and stamped, the other left
alone, and the run log written. When the Linux console program is given too, the same scenario
is run on Linux and the two run logs must tell the same story, event by event (times aside).

    e2e_database_only.py --exe velmora-upgrade-console.exe --pe-fixtures DIR --support DIR
                         [--linux-console PATH]
Environment: WINEPREFIX (inside the build folder), WINEDEBUG=-all.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

import wine_support as ws

UPGRADE_FILE = ("[Verzija]\r\n3.0.12 / 3.0.13\r\n*\r\n"
                "[Akcija]\r\nCREATE TABLE Nova (a int)\r\n-GO-\r\n*\r\n")
CATALOG = {
    "password": "KolVanDuaMerTis",
    "databases": [
        {"name": "ALFA", "id": 5, "tables": ["BLAG_DNEV"], "verzija": ["3.0.12"]},
        {"name": "Beta", "id": 6, "tables": ["BLAG_DNEV"], "verzija": ["3.0.12"]},
        {"name": "GAMA", "id": 7, "tables": ["BLAG_DNEV"], "verzija": ["3.0.12"]},
        {"name": "Tuđa", "id": 8, "tables": ["Kupci"]},
    ],
}
TARVIK = ["ALFA", "Beta", "GAMA"]


def prepare_folder(root, program, tarvik_exe):
    # The settings name is the folder's own name; the folder above carries Croatian letters.
    folder = os.path.join(root, "Škola Čakovec", "Tarvik")
    os.makedirs(folder)
    shutil.copy(program, folder)
    shutil.copy(tarvik_exe, os.path.join(folder, "Tarvik.exe"))
    with open(os.path.join(folder, "Tarvik_Upg.Upg"), "w", newline="", encoding="cp1250") as f:
        f.write(UPGRADE_FILE)
    return folder


def check_run(name, code, out, err, folder, state):
    failures = []
    if code != 0:
        failures.append(f"{name}: exit status {code}, expected 0")
    if "Podizanje verzije uspješno završeno !!" not in err:
        failures.append(f"{name}: no success box in standard error")
    versions = {d["name"]: d["verzija"] for d in state["databases"]}
    for db in TARVIK:
        if "3.0.13" not in (versions.get(db) or []):
            failures.append(f"{name}: {db} not stamped 3.0.13: {versions.get(db)}")
    if versions.get("Tuđa") is not None:
        failures.append(f"{name}: the database that is not Tarvik's was touched")
    log = ws.read_text(os.path.join(folder, "Tarvik_Upg.log"))
    for db in TARVIK:
        if f"stamped {db} with 3.0.13" not in log:
            failures.append(f"{name}: run log lacks the stamp of {db}")
    if failures:
        print(f"--- {name} standard output ---\n{out}\n--- standard error ---\n{err}\n"
              f"--- run log ---\n{log}")
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--pe-fixtures", required=True)
    parser.add_argument("--support", required=True)
    parser.add_argument("--linux-console")
    args = parser.parse_args()

    failures = []
    with tempfile.TemporaryDirectory(prefix="velmora-win-db-") as root:
        tarvik_exe = os.path.join(args.pe_fixtures, "Tarvik-3.0.0.13.exe")
        win_folder = prepare_folder(os.path.join(root, "win"), args.exe, tarvik_exe)
        with ws.TdsServer(args.support, CATALOG, os.path.join(root, "tds-win")) as server:
            ws.set_tarvik_settings({"PutBaza": "C:\\Tarvik\\Baze",
                                    "ImeServera": f"(local),{server.port}",
                                    "TipServera": "1"})
            code, out, err = ws.run_wine(
                [os.path.join(win_folder, os.path.basename(args.exe)), "--database-only"],
                cwd=win_folder, extra_env={"VELMORA_ODBC_DRIVER": ws.odbc_driver()})
            failures += check_run("Windows", code, out, err, win_folder, server.state())
        win_log = ws.read_text(os.path.join(win_folder, "Tarvik_Upg.log"))

        if args.linux_console and os.path.exists(args.linux_console):
            linux_folder = prepare_folder(os.path.join(root, "linux"), args.linux_console,
                                          tarvik_exe)
            config = os.path.join(root, "config", "VB and VBA Program Settings")
            with ws.TdsServer(args.support, CATALOG, os.path.join(root, "tds-linux")) as server:
                os.makedirs(config)
                with open(os.path.join(config, "Tarvik.ini"), "w", encoding="utf-8") as f:
                    f.write(f"[PutBaza]\nPutBaza=C:\\Tarvik\\Baze\n[ImeServera]\n"
                            f"ImeServera=(local),{server.port}\n[TipServera]\nTipServera=1\n")
                env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(root, "config"))
                env.pop("VELMORA_ODBC_DRIVER", None)
                p = subprocess.run([os.path.join(linux_folder, "velmora-upgrade-console"),
                                    "--database-only"], cwd=linux_folder, env=env,
                                   stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
                failures += check_run("Linux", p.returncode, p.stdout.decode(errors="replace"),
                                      p.stderr.decode(errors="replace"), linux_folder,
                                      server.state())
            linux_log = ws.read_text(os.path.join(linux_folder, "Tarvik_Upg.log"))
            failures += ws.compare_run_logs(linux_log, linux_folder, win_log, win_folder)
        else:
            print("no Linux console program given: the run logs are not compared")

    return ws.verdict("e2e_database_only", failures)


if __name__ == "__main__":
    sys.exit(main())
