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
        self.assertEqual(check_layers.stale_names(ROOT), [])

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


    def test_a_pair_reaches_no_layer_above_its_own_and_no_two_pairs_include_each_other(self):
        found = self.breaches({
            "platform/geometry.h": "",
            "platform/window.h": '#include "platform/geometry.h"\n',
            "platform/window.cpp": '#include "platform/window.h"\n#include "platform/runtime.h"\n',
            "platform/runtime.h": "",
            "platform/runtime.cpp": '#include "platform/runtime.h"\n#include "platform/window.h"\n',
            # The settings build on the platform's interfaces, not on the window runtime.
            "settings/s.cpp": '#include "platform/geometry.h"\n#include "platform/window.h"\n',
            # A backend's entry point may assemble the program; its other files may not.
            "app/program.h": "",
            "platform/fltk/fltk_main.cpp": '#include "app/program.h"\n',
            "platform/fltk/fltk_window.cpp": '#include "app/program.h"\n',
            # Two pairs of one backend are no more allowed to need each other.
            "platform/fltk/a.h": '#include "platform/fltk/b.h"\n',
            "platform/fltk/b.h": "",
            "platform/fltk/b.cpp": '#include "platform/fltk/a.h"\n',
            # A new file of the platform's own gets its layer by name.
            "platform/newcomer.h": "",
        })
        self.assertEqual(sorted(found), ["platform/fltk/a.h:1", "platform/fltk/fltk_window.cpp:1",
                                         "platform/newcomer.h", "platform/runtime.cpp:2",
                                         "settings/s.cpp:2"])


if __name__ == "__main__":
    unittest.main()
