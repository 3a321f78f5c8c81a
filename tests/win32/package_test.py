"""The ZIP that CPack makes for Windows users: the program, a plain-text README and the licence,
nothing else.

Usage: package_test.py CPACK BUILD_FOLDER SOURCE_FOLDER"""

import glob
import os
import re
import subprocess
import sys
import tempfile
import unittest
import zipfile

CPACK = BUILD = SOURCE = None


class Package(unittest.TestCase):
    def test_zip_holds_the_exe_the_readme_and_the_licence(self):
        with tempfile.TemporaryDirectory() as out:
            subprocess.run([CPACK, "-G", "ZIP", "-B", out, "--config",
                            os.path.join(BUILD, "CPackConfig.cmake")], check=True,
                           capture_output=True, cwd=BUILD)
            zips = glob.glob(os.path.join(out, "*.zip"))
            self.assertEqual(1, len(zips), zips)
            with zipfile.ZipFile(zips[0]) as z:
                names = sorted(z.namelist())
                self.assertEqual(["LICENSE.txt", "README.txt", "qv-tickspan.exe"], names)
                with open(os.path.join(BUILD, "qv-tickspan.exe"), "rb") as exe:
                    self.assertEqual(exe.read(), z.read("qv-tickspan.exe"))
                licence = z.read("LICENSE.txt").decode("ascii")
                readme = z.read("README.txt").decode("ascii")
        with open(os.path.join(SOURCE, "LICENSE"), encoding="ascii") as f:
            self.assertEqual(f.read().replace("\n", "\r\n"), licence)
        self.assertIn("Copyright (c) 2026 the QV-TICKSPAN developers", licence)

        # Plain text with Windows line ends, that names only files the ZIP holds.
        self.assertNotIn("\n", readme.replace("\r\n", ""))
        self.assertNotRegex(readme, r"\]\(|!\[|```|<img|https?://")
        for name in re.findall(r"[\w.-]+\.(?:txt|md|png|exe|html|ico)\b", readme):
            if name != "uptime.exe":  # the example of a renamed copy
                self.assertIn(name, names)
        self.assertIn("LICENSE.txt", readme)


if __name__ == "__main__":
    CPACK, BUILD, SOURCE = sys.argv[1], sys.argv[2], sys.argv[3]
    unittest.main(argv=[sys.argv[0], "-v"])
