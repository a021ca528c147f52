#!/usr/bin/env python3
"""scripts/check-includes over small planted trees: a clean one passes, and each way of breaking
the floors fails with the offending line printed.

    test_check_includes.py PATH/TO/check-includes
"""
import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest

CHECKER = pathlib.Path(sys.argv.pop(1) if len(sys.argv) > 1 else
                       pathlib.Path(__file__).resolve().parents[2] / "scripts/check-includes")

# A tree that keeps every rule: each file includes only its own floor or lower ones, the
# back-end sees the interfaces, the platform wiring sees everything.
CLEAN = {
    "src/common/Text.h": '#pragma once\n#include <string>\n',
    "src/platform/IView.h": '#pragma once\n#include "common/Text.h"\n',
    "src/platform/qt/QtView.h": '#pragma once\n#include <QWidget>\n#include "platform/IView.h"\n',
    "src/platform/curl/Net.h": '#pragma once\n#include <curl/curl.h>\n',
    "src/run/RunLog.h": '#pragma once\n#include "platform/IView.h"\n',
    "src/database/Phase.h": '#pragma once\n#include "run/RunLog.h"\n',
    "src/app/linux/Wiring.cpp": '#include "platform/qt/QtView.h"\n#include "database/Phase.h"\n',
    "src/run/CMakeLists.txt": "add_library(velmora_run STATIC RunLog.cpp)\n"
                              "target_link_libraries(velmora_run PUBLIC velmora_common)\n",
    "src/common/CMakeLists.txt": "add_library(velmora_common STATIC Text.cpp)\n",
    "src/database/CMakeLists.txt": "add_library(velmora_database STATIC Phase.cpp)\n"
                                   "target_link_libraries(velmora_database PUBLIC velmora_run)\n",
}


class CheckIncludes(unittest.TestCase):
    def run_on(self, planted):
        with tempfile.TemporaryDirectory() as root:
            root = pathlib.Path(root)
            for path, text in {**CLEAN, **planted}.items():
                (root / path).parent.mkdir(parents=True, exist_ok=True)
                (root / path).write_text(text, encoding="utf-8")
            (root / "scripts").mkdir()
            shutil.copy(CHECKER, root / "scripts/check-includes")
            return subprocess.run([sys.executable, str(root / "scripts/check-includes"), "--root",
                                   str(root)], capture_output=True, text=True)

    def test_clean_tree_passes(self):
        result = self.run_on({})
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_each_broken_rule_fails_naming_its_line(self):
        cases = {
            "include running upward": (
                {"src/run/Upward.h": '#pragma once\n#include "database/Phase.h"\n'},
                'src/run/Upward.h:2: #include "database/Phase.h"'),
            "back-end including another back-end": (
                {"src/platform/qt/Sideways.h": '#pragma once\n#include "platform/curl/Net.h"\n'},
                'src/platform/qt/Sideways.h:2: #include "platform/curl/Net.h"'),
            "operating-system header in a logic folder": (
                {"src/database/Native.cpp": '#include "database/Phase.h"\n#include <windows.h>\n'},
                "src/database/Native.cpp:2: #include <windows.h>"),
            "library linking a higher floor": (
                {"src/run/CMakeLists.txt": "add_library(velmora_run STATIC RunLog.cpp)\n"
                                           "target_link_libraries(velmora_run PUBLIC "
                                           "velmora_database)\n"},
                "src/run/CMakeLists.txt: velmora_run links velmora_database"),
            "include its folder's library does not link": (
                {"src/database/CMakeLists.txt": "add_library(velmora_database STATIC Phase.cpp)\n"},
                'src/database/Phase.h:2: #include "run/RunLog.h"  (database does not link run)'),
        }
        for name, (planted, offending) in cases.items():
            with self.subTest(name):
                result = self.run_on(planted)
                self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
                self.assertIn(offending, result.stdout)


if __name__ == "__main__":
    unittest.main()
