"""End-to-end tests of the Linux program when its surroundings fail it: an error stream that no
one reads any more. Each class is one CTest test with a display of its own."""

import os
import unittest

from desktop import App, wait_for, write_store
from program_case import BINARY, SECTION, DesktopTest


class ErrorStreamTest(DesktopTest):
    def test_a_reader_that_has_gone_costs_only_the_messages(self):
        # Values that cannot be used: each read of them writes a message, the first at start-up.
        write_store(self.config, SECTION, {"MAIN_Left": "abc", "ABOUT_Top": "xyz"})
        read_end, write_end = os.pipe()
        os.close(read_end)  # the reader has gone before the first message
        try:
            app = App(self.desktop, self.config, BINARY, stderr=write_end)
        finally:
            os.close(write_end)
        self.apps.append(app)
        about = app.open_about()  # its load reads ABOUT_Top: one more message
        self.desktop.close_window(about)
        wait_for(lambda: app.about() is None, what="About closed")
        self.close_main(app)
        store = self.store()
        self.assertEqual(store["MAIN_Left"], "1000")
        self.assertRegex(store["ABOUT_Top"], r"^-?\d+$")


if __name__ == "__main__":
    unittest.main()
