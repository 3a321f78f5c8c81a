"""The Linux program as a file: several copies under other names, one named in UTF-8 under the
C locale, and the installed program with its menu entry and icons."""

import configparser
import os
import shutil
import signal
import subprocess
import tempfile
import unittest

from desktop import RUNNING_TITLE, App, read_store, wait_for
from program_case import BINARY, SECTION, DesktopTest


class SeveralCopiesTest(DesktopTest):
    def test_two_copies_ended_together_both_save(self):
        names = ["qv-first", "qv-second.bin"]
        folder = tempfile.mkdtemp(prefix="qv-copies-", dir=self.config)
        apps = []
        for name in names:
            exe = os.path.join(folder, name)
            shutil.copy(BINARY, exe)
            apps.append(self.start(exe))
        for app in apps:
            app.signal(signal.SIGTERM)
        for app in apps:
            self.assertEqual(app.wait_exit(), 0, app.stderr())
        store = read_store(self.config)
        for section in ("qv-first", "qv-second"):
            self.assertEqual(sorted(store[section]), ["AUTOSTART_TICKBOX", "AlwaysOnTop_TICKBOX",
                                                      "MAIN_Left", "MAIN_Top"])


    def test_a_copy_under_a_non_ascii_name_in_the_c_locale(self):
        # The program relies on no locale of the user's: under C it keeps its UTF-8 name whole.
        exe = os.path.join(tempfile.mkdtemp(prefix="qv-copies-", dir=self.config), "Übersicht ⏱")
        shutil.copy(BINARY, exe)
        env = {k: v for k, v in self.desktop.env.items() if not k.startswith(("LC_", "LANG"))}
        app = App(self.desktop, self.config, exe, dict(env, LC_ALL="C"))
        self.apps.append(app)
        wait_for(lambda: RUNNING_TITLE.match(app.caption() or ""), what="the running title")
        self.close_main(app)
        self.assertEqual(app.stderr(), "")
        self.assertIn("MAIN_Left", read_store(self.config)["Übersicht ⏱"])


class InstallTest(DesktopTest):
    def test_installed_program_menu_entry_and_icons(self):
        build = os.environ.get("QV_BUILD_DIR", "")
        prefix = tempfile.mkdtemp(prefix="qv-prefix-", dir=self.config)
        subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True,
                       capture_output=True)
        entries = [f for f in os.listdir(os.path.join(prefix, "share", "applications"))]
        self.assertEqual(len(entries), 1)
        self.assertRegex(entries[0], r"^[a-z]+\.[a-z]+\.[A-Za-z]+\.desktop$")  # reverse DNS
        entry = configparser.ConfigParser(interpolation=None)
        entry.optionxform = str
        entry.read(os.path.join(prefix, "share", "applications", entries[0]))
        desktop = entry["Desktop Entry"]
        self.assertEqual(desktop["Type"], "Application")
        program = os.path.join(prefix, "bin", desktop["Exec"])
        for size in (16, 22, 24, 32, 48, 64, 128, 256):
            icon = os.path.join(prefix, "share", "icons", "hicolor", f"{size}x{size}", "apps",
                                desktop["Icon"] + ".png")
            self.assertTrue(os.path.isfile(icon), icon)

        # The binary stands alone: its icon is inside it.
        app = self.start(program)
        self.assertEqual(self.desktop.cardinals(app.main, "_NET_WM_ICON")[:2], [16, 16])
        self.close_main(app)
        self.assertIn(SECTION, read_store(self.config))


if __name__ == "__main__":
    unittest.main()
