"""The layering rules hold for the source tree, and the checker notices each kind of breach."""

import os
import pathlib
import tempfile
import unittest

import check_layers

ROOT = pathlib.Path(os.environ.get("QV_SOURCE_DIR", pathlib.Path(__file__).parents[2]))


class LayeringTest(unittest.TestCase):
    def test_the_tree_keeps_its_layers(self):
        self.assertEqual(check_layers.check(ROOT), [])

    def breaches(self, files):
        with tempfile.TemporaryDirectory() as d:
            root = pathlib.Path(d)
            for name, text in files.items():
                (root / name).parent.mkdir(parents=True, exist_ok=True)
                (root / name).write_text(text, encoding="utf-8")
            return [p.split(": ", 1)[0] for p in check_layers.check(root)]

    def test_each_kind_of_breach_is_named(self):
        found = self.breaches({
            "engine/a.h": "#include <windows.h>\n#include <string>\n",
            "engine/b.cpp": '#include "platform/window.h"\n',
            "platform/window.h": "",
            "platform/win32/w.h": "",
            "platform/fltk/f.cpp": '#include "platform/win32/w.h"\n#include <FL/Fl.H>\n',
            "settings/s.cpp": "#include <unistd.h>\n",
            "about_window/a.cpp": '#include "main_window/main_window.h"\n',
            "main_window/main_window.h": "",
            "app/p.cpp": '#include "platform/win32/w.h"\n',
        })
        self.assertEqual(sorted(found), ["about_window/a.cpp:1", "app/p.cpp:1", "engine/a.h:1",
                                         "engine/b.cpp:1", "platform/fltk/f.cpp:1",
                                         "settings/s.cpp:1"])


if __name__ == "__main__":
    unittest.main()
