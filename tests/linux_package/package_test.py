"""The Debian package that CPack makes: clean under lintian, its files where it says, its menu
entry and metadata valid, its program stripped and hardened.

Usage: package_test.py CPACK BUILD_FOLDER"""

import glob
import gzip
import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest

CPACK = BUILD = None
DESKTOP_ID = "org.qvtks.QvTickspan"
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def run(*args):
    return subprocess.run(args, capture_output=True, text=True, env=dict(os.environ, LC_ALL="C.UTF-8"))


class DebianPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        out = os.path.join(cls.tmp.name, "out")
        subprocess.run([CPACK, "-G", "DEB", "-B", out, "-D", "CPACK_OUTPUT_FILE_PREFIX=" + out,
                        "--config",
                        os.path.join(BUILD, "CPackConfig.cmake")], check=True,
                       capture_output=True, cwd=BUILD)
        debs = glob.glob(os.path.join(out, "*.deb"))
        assert len(debs) == 1, debs
        cls.deb = debs[0]
        cls.root = os.path.join(cls.tmp.name, "root")
        subprocess.run(["dpkg-deb", "-x", cls.deb, cls.root], check=True)
        cls.control = run("dpkg-deb", "-f", cls.deb).stdout

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def path(self, *parts):
        return os.path.join(self.root, "usr", *parts)

    def field(self, name):
        m = re.search(rf"^{name}: (.*(?:\n .*)*)", self.control, re.M)
        return m.group(1) if m else None

    def test_lintian_reports_no_error_and_no_warning(self):
        # Not even an informational tag: the documentation would have to explain it.
        result = run("lintian", "--display-info", "--fail-on", "error,warning,info", self.deb)
        tags = [line for line in result.stdout.splitlines() if re.match(r"[EWI]: ", line)]
        self.assertEqual([], tags)
        self.assertEqual(0, result.returncode, result.stdout + result.stderr)

    def test_control_fields(self):
        depends = [d.strip().split(" ")[0] for d in self.field("Depends").split(",")]
        # The font is named by hand; the libraries come from shlibdeps.
        for package in ("fonts-liberation", "libfltk1.3", "libfltk-images1.3", "libxrandr2",
                        "libx11-6", "libc6"):
            self.assertIn(package, depends)
        description = self.field("Description").split("\n")
        self.assertTrue(description[0])
        self.assertGreaterEqual(len(description), 3, "an extended description")
        changelog = gzip.decompress(self.read("share", "doc", "qv-tickspan", "changelog.gz"))
        version = re.match(rb"qv-tickspan \(([^)]+)\)", changelog).group(1).decode()
        self.assertEqual(self.field("Version"), version)
        metainfo = self.read("share", "metainfo", DESKTOP_ID + ".metainfo.xml").decode()
        newest = re.search(r'<release version="([^"]+)"', metainfo).group(1)
        self.assertEqual(self.field("Version"), newest)
        manual = gzip.decompress(self.read("share", "man", "man1", "qv-tickspan.1.gz")).decode()
        self.assertIn(f'"qv-tickspan {version}"', manual.splitlines()[0])

    def read(self, *parts):
        with open(self.path(*parts), "rb") as f:
            return f.read()

    def test_files_where_the_package_says(self):
        self.assertTrue(os.access(self.path("bin", "qv-tickspan"), os.X_OK))
        copyright = self.read("share", "doc", "qv-tickspan", "copyright").decode()
        self.assertIn("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/",
                      copyright)
        self.assertIn("Copyright: 2026 the QV-TICKSPAN developers", copyright)
        manual = gzip.decompress(self.read("share", "man", "man1", "qv-tickspan.1.gz")).decode()
        self.assertRegex(manual, r"^\.TH QV-TICKSPAN 1 ")
        for section in ("OPTIONS", "SIGNALS", "EXIT STATUS", "FILES"):
            self.assertIn(".SH " + section, manual)
        entry = self.read("share", "applications", DESKTOP_ID + ".desktop").decode()
        icon = re.search(r"^Icon=(.*)$", entry, re.M).group(1)
        self.assertRegex(entry, r"(?m)^Keywords=\S")
        main = {"AudioVideo", "Audio", "Video", "Development", "Education", "Game", "Graphics",
                "Network", "Office", "Science", "Settings", "System", "Utility"}
        categories = re.search(r"^Categories=(.*)$", entry, re.M).group(1).split(";")
        self.assertEqual(1, len(main.intersection(categories)), categories)
        for size in ICON_SIZES:
            png = self.read("share", "icons", "hicolor", f"{size}x{size}", "apps", icon + ".png")
            self.assertEqual(b"\x89PNG", png[:4])
            self.assertEqual((size, size), struct.unpack(">II", png[16:24]))  # IHDR
        svg = self.read("share", "icons", "hicolor", "scalable", "apps", icon + ".svg")
        self.assertIn(b"<svg", svg)
        metainfo = self.read("share", "metainfo", DESKTOP_ID + ".metainfo.xml").decode()
        self.assertIn(f'<launchable type="desktop-id">{DESKTOP_ID}.desktop</launchable>',
                      metainfo)

    def test_menu_entry_and_metadata_validate(self):
        entry = self.path("share", "applications", DESKTOP_ID + ".desktop")
        result = run("desktop-file-validate", entry)
        self.assertEqual((0, ""), (result.returncode, result.stdout + result.stderr))
        # The metadata alone, then with the menu entry and icons it points to, as software
        # centres read the installed tree.
        for result in (run("appstreamcli", "validate", "--no-net",
                           self.path("share", "metainfo", DESKTOP_ID + ".metainfo.xml")),
                       run("appstreamcli", "validate-tree", "--no-net", self.root)):
            self.assertEqual(0, result.returncode, result.stdout + result.stderr)
            self.assertNotRegex(result.stdout, r"(?m)^\s*[EWI]: ", result.stdout)

    def test_program_is_stripped_and_hardened(self):
        program = self.path("bin", "qv-tickspan")
        sections = run("readelf", "-S", "-W", program).stdout
        for name in (".symtab", ".debug_info", ".comment"):
            self.assertNotIn(" " + name + " ", sections)
        dynamic = run("readelf", "-d", "-W", program).stdout
        self.assertRegex(dynamic, r"FLAGS_1\).*\bPIE\b")
        self.assertRegex(dynamic, r"\(FLAGS\).*\bBIND_NOW\b")
        self.assertIn("GNU_RELRO", run("readelf", "-l", "-W", program).stdout)
        symbols = run("readelf", "--dyn-syms", "-W", program).stdout
        self.assertIn("__stack_chk_fail", symbols)
        self.assertRegex(symbols, r"__\w+_chk@", "fortified functions")


if __name__ == "__main__":
    CPACK, BUILD = sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0], "-v"])
