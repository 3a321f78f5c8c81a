"""The package lists in scripts/lib.sh, as the scripts see them: what the run command installs on
a machine without a display, what the test command installs, and what only the desktop suite
adds. A list named twice, or a package that only a test needs reaching the run command, makes a
stranger's first run install what it does not need, or miss what it does."""

import os
import re
import subprocess
import unittest

ROOT = os.environ.get("QV_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
LIB = os.path.join(ROOT, "scripts", "lib.sh")
LISTS = ("QV_BUILD_PACKAGES", "QV_DESKTOP_PACKAGES", "QV_TEST_PACKAGES", "QV_PACKAGES",
         "QV_DESKTOP_SUITE_PACKAGES")


def lists():
    script = ". " + LIB + "\n" + "".join(f'echo {name}= ${name}\n' for name in LISTS)
    out = subprocess.run(["bash", "-c", script], capture_output=True, text=True, check=True)
    return {k: set(v.split()) for k, v in (line.split("=", 1) for line in out.stdout.splitlines())}


class PackageListsTest(unittest.TestCase):
    def test_each_list_is_assigned_once(self):
        with open(LIB) as f:
            names = re.findall(r"^\s*(QV_[A-Z_]+_PACKAGES|QV_PACKAGES)=", f.read(), re.M)
        self.assertEqual(sorted(names), sorted(set(names)))
        self.assertEqual(set(names), set(LISTS))

    def test_the_lists_the_scripts_install(self):
        p = lists()
        self.assertEqual(p["QV_PACKAGES"],
                         p["QV_BUILD_PACKAGES"] | p["QV_DESKTOP_PACKAGES"] | p["QV_TEST_PACKAGES"])
        # Without a display the run command installs the build's list and the private desktop's:
        # nothing of the large desktops, Wine or the test tools.
        run = p["QV_BUILD_PACKAGES"] | p["QV_DESKTOP_PACKAGES"]
        for name in ("mutter", "gnome-shell", "kwin-wayland", "weston", "wine", "lintian"):
            self.assertNotIn(name, run)
        for name in ("libxss-dev", "libxext-dev", "libsystemd-dev", "xvfb", "openbox"):
            self.assertIn(name, run)
        self.assertTrue({"mutter", "gnome-shell", "weston"} <= p["QV_DESKTOP_SUITE_PACKAGES"])
        self.assertFalse({"mutter", "gnome-shell", "weston"} & p["QV_PACKAGES"])


if __name__ == "__main__":
    unittest.main()
