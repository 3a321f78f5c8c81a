"""What the Windows program's windows look like under Wine: the About window's labels, the main
window's separator line, and both at 144 DPI. Run through program_test.py."""

from desktop import wait_for
from program_case import ABOUT, EndToEnd


class Appearance(EndToEnd):
    def test_about_labels_are_green_on_black_and_the_creator_answers_a_double_click(self):
        p = self.start()
        about = p.open_about()
        # QV_TITLE_1 at (120, 120) twips, 2295 x 375: (8, 8) pixels, 153 x 25.
        label = wait_for(lambda: (lambda px: "#00FF00" in px.values() and px)(
            self.desktop.pixels(about, 8, 8, 153, 25)), what="the About window drawn")
        self.assertEqual(153 * 25, len(label))
        colours = set(label.values())
        self.assertEqual({"#000000", "#00FF00"}, colours & {"#000000", "#00FF00"})
        for corner in ((8, 8), (160, 8), (8, 32), (160, 32)):
            self.assertEqual("#000000", label[corner], corner)
        # Between the labels of the top row: the face colour.
        gap = self.desktop.pixels(about, 162, 12, 5, 5)
        self.assertNotIn("#000000", set(gap.values()))
        self.shot("about_window")
        # CREATOR_TEXTBOX, (120, 600) twips, 5175 x 375: a double-click shows another text.
        creator = lambda: sorted(pos for pos, c in self.desktop.pixels(about, 8, 40, 345, 25).items()
                                 if c == "#00FF00")
        before = creator()
        self.desktop.double_click(about, 180, 52)
        wait_for(lambda: creator() != before, 2, what="the creator label's new text")
        self.desktop.close_window(about)
        wait_for(lambda: not self.desktop.find_windows(ABOUT), 5, what="the About window to close")
        p.close()

    def test_enlarged_main_window_shows_only_the_separator_line(self):
        # The designed client area, 12060 x 5730 twips, with the frame around it.
        self.registry.set("MAIN_Width", str(12060 + 90))
        self.registry.set("MAIN_Height", str(5730 + 375))
        p = self.start()
        x, y, width, height = self.desktop.geometry(p.main)
        self.assertGreaterEqual(width, 780)
        self.assertGreaterEqual(height, 360)
        client = wait_for(lambda: (lambda px: len(set(px.values())) > 1 and px)(
            self.desktop.pixels(p.main, 0, 0, 800, 380)), what="the main window drawn")
        # Line1 from (5160, 1320) to (5160, 5400) twips: x = 344, y = 88 to 360 pixels.
        line = {pos: c for pos, c in client.items() if pos[0] == 344 and 88 <= pos[1] <= 360}
        self.assertEqual({"#000000"}, set(line.values()))
        rest = {c for pos, c in client.items() if pos not in line}
        self.assertEqual(1, len(rest), "something besides the line is drawn: " + str(rest))
        self.shot("main_window_enlarged")
        p.close()


class HighDpi(EndToEnd):
    def setUp(self):
        super().setUp()
        self.desktop.run(["wine", "reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels",
                          "/t", "REG_DWORD", "/d", "144", "/f"], check=True)

    def tearDown(self):
        super().tearDown()
        self.desktop.run(["wine", "reg", "delete", "HKCU\\Control Panel\\Desktop", "/v",
                          "LogPixels", "/f"])

    def test_sizes_fonts_and_the_strip_scale_with_the_dpi(self):
        p = self.start()
        x, y, width, height = self.desktop.geometry(p.main)
        # 4410 twips at 144 DPI: 441 pixels with the frame; the strip is 5 pixels at 96 DPI.
        self.assertTrue(425 <= width <= 441, width)
        self.assertGreaterEqual(height, 8)
        about = p.open_about()
        # QV_TITLE_1 at (120, 120) twips, 2295 x 375: (12, 12) pixels, 230 x 38.
        label = wait_for(lambda: (lambda px: "#00FF00" in px.values() and px)(
            self.desktop.pixels(about, 10, 10, 235, 42)), what="the About window drawn")
        self.shot("about_window_144dpi")
        for corner in ((12, 12), (241, 12), (12, 49), (241, 49)):
            self.assertEqual("#000000", label[corner], corner)
        for outside in ((11, 11), (243, 30), (100, 51)):
            self.assertNotEqual("#000000", label[outside], outside)
        # Arial 12 point bold is 24 pixels high at 144 DPI: its capitals span more than 14 rows.
        rows = {pos[1] for pos, c in label.items() if c == "#00FF00"}
        self.assertGreater(max(rows) - min(rows), 14)
        self.desktop.close_window(about)
        wait_for(lambda: not self.desktop.find_windows(ABOUT), 5, what="the About window to close")
        p.close()
