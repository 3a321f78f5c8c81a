"""End-to-end tests of qv-tickspan.exe under Wine on a private Xvfb + openbox desktop, one for
the whole run: the main window (test_main_window), the About window (test_about_window) and what
both look like (test_appearance).

Usage: program_test.py EXE UPTIME_PROBE_EXE SESSION_PROBE_EXE [SCREENSHOT_FOLDER] [TEST...]"""

import os
import sys
import unittest

import program_case

MODULES = ["test_main_window", "test_about_window", "test_appearance"]


def main():
    case = program_case.paths
    case.exe, case.uptime_probe, case.session_probe = (os.path.abspath(a) for a in sys.argv[1:4])
    case.shots = sys.argv[4] if len(sys.argv) > 4 else None
    try:
        unittest.main(module=None, argv=[sys.argv[0], "-v"] + (sys.argv[5:] or MODULES))
    finally:
        program_case.close_desktop()


if __name__ == "__main__":
    main()
