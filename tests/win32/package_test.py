"""The ZIP that CPack makes for Windows users: the program and the README, nothing else.

Usage: package_test.py CPACK BUILD_FOLDER"""

import glob
import os
import subprocess
import sys
import tempfile
import unittest
import zipfile

CPACK = BUILD = None


class Package(unittest.TestCase):
    def test_zip_holds_the_exe_and_the_readme(self):
        with tempfile.TemporaryDirectory() as out:
            subprocess.run([CPACK, "-G", "ZIP", "-B", out, "--config",
                            os.path.join(BUILD, "CPackConfig.cmake")], check=True,
                           capture_output=True, cwd=BUILD)
            zips = glob.glob(os.path.join(out, "*.zip"))
            self.assertEqual(1, len(zips), zips)
            with zipfile.ZipFile(zips[0]) as z:
                self.assertEqual(["README.md", "qv-tickspan.exe"], sorted(z.namelist()))
                with open(os.path.join(BUILD, "qv-tickspan.exe"), "rb") as exe:
                    self.assertEqual(exe.read(), z.read("qv-tickspan.exe"))


if __name__ == "__main__":
    CPACK, BUILD = sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0], "-v"])
