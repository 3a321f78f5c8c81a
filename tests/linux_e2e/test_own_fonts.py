"""End-to-end test of the faces the Linux program draws its own texts in (the About window's
check boxes and OK button, the strip's tooltip), with fontconfig limited to the fonts that the
Debian package's Depends bring: a system with nothing more has them all, and a development
machine's other fonts (DejaVu, say) cannot make the test pass. fontconfig reports every match it
makes (FC_DEBUG); each face the program draws in must be proportional. The faces are written to
own-text-fonts.txt in the build folder."""

import os
import re
import subprocess
import tempfile
import unittest

from desktop import App, wait_for
from program_case import BINARY, DesktopTest

BUILD = os.environ.get("QV_BUILD_DIR", "")
# fontconfig's debug output marks each value with its binding: the family a program asks for by
# name is strong ("Arial"(s)), while a generic one (sans-serif) gives way to weak families that
# the rules put before it. The program asks for generic sans-serif only to learn things: the
# desktop's bold title font, whose width the window makes room for, and a first choice for its
# own face. Those draw nothing here.
GENERIC = None


def package_fonts():
    """{package: font folders} of the packages the Debian package names in its Depends beyond
    what shlibdeps finds; the libraries carry no fonts, and fontconfig's one font is any of
    several, these among them."""
    with open(os.path.join(BUILD, "CPackConfig.cmake"), encoding="utf-8") as f:
        depends = re.search(r'set\(CPACK_DEBIAN_PACKAGE_DEPENDS "([^"]*)"\)', f.read()).group(1)
    out = {}
    for package in (d.strip().split(" ")[0] for d in depends.split(",") if d.strip()):
        files = subprocess.run(["dpkg-query", "-L", package], capture_output=True, text=True)
        if files.returncode != 0:
            raise AssertionError(f"{package}, which the package depends on, is not installed "
                                 "(scripts/test installs it)")
        out[package] = sorted({os.path.dirname(p) for p in files.stdout.split()
                               if re.search(r"\.(ttf|otf|pfb|ttc)$", p)})
    return out


def fontconfig_limited_to(folders, where):
    """A FONTCONFIG_FILE with the system's rules but only the fonts in `folders`."""
    accept = "".join(f"<glob>{d}/*</glob>" for d in folders)
    text = ('<?xml version="1.0"?>\n<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">\n'
            "<fontconfig>\n" + "".join(f"  <dir>{d}</dir>\n" for d in folders) +
            f"  <cachedir>{where}/cache</cachedir>\n"
            '  <include ignore_missing="yes">/etc/fonts/conf.d</include>\n'
            # Fonts that the rules would add from other folders stay out.
            f"  <selectfont><acceptfont>{accept}</acceptfont>\n"
            "    <rejectfont><glob>*</glob></rejectfont></selectfont>\n"
            "</fontconfig>\n")
    path = os.path.join(where, "fonts.conf")
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    return path


def matches(log):
    """(family asked for by name or GENERIC, weight asked for, file given, spacing given) of
    every match in an FC_DEBUG=1 log; spacing None for a proportional face."""
    out = []
    for block in re.split(r"(?m)^Match ", log)[1:]:
        asked, _, given = block.partition("\nBest score")
        family = re.search(r'^\tfamily: "([^"]*)"\((\w)\)', asked, re.M)
        weight = re.search(r"^\tweight: (\d+)", asked, re.M)
        file = re.search(r'^\tfile: "([^"]*)"', given, re.M)
        spacing = re.search(r"^\tspacing: (\d+)", given, re.M)
        if family and file:
            out.append((family.group(1) if family.group(2) == "s" else GENERIC,
                        int(weight.group(1)) if weight else None, file.group(1),
                        int(spacing.group(1)) if spacing else None))
    return out


class OwnTextFontsTest(DesktopTest):
    def test_own_texts_are_drawn_in_a_proportional_face(self):
        fonts = package_fonts()
        folders = [d for ds in fonts.values() for d in ds]
        self.assertTrue(folders, f"the package's Depends bring no fonts: {fonts}")
        where = tempfile.mkdtemp(prefix="qv-fonts-", dir=self.config)
        env = dict(self.desktop.env, FONTCONFIG_FILE=fontconfig_limited_to(folders, where),
                   FC_DEBUG="1")

        log_path = os.path.join(where, "fc-debug.log")
        with open(log_path, "w") as log:
            app = App(self.desktop, self.config, BINARY, env=env, stdout=log)
            self.apps.append(app)
        x, y = app.strip_point()
        # The tooltip is measured in its face before it shows: the pointer enters the strip,
        # then rests on it.
        self.desktop.x("xdotool", "mousemove", str(x - 1), str(y), check=True)
        self.desktop.x("xdotool", "mousemove", str(x), str(y), check=True)
        wait_for(lambda: self.tooltip_shown(app), what="the tooltip")
        about = app.open_about()
        # The window is drawn whole into its buffer, then shown: once its green titles are on
        # the screen, every text in it has been drawn.
        _, _, w, h = self.desktop.client_rect(about)
        self.drawn(about, (0, 0, w, h), lambda c: (0, 255, 0) in c, "the About window drawn")
        self.desktop.close_window(about)
        wait_for(lambda: not app.about(), what="the About window closed")
        # Its output is complete once it has ended.
        self.close_main(app)
        with open(log_path, encoding="utf-8", errors="replace") as f:
            every = matches(f.read())
        strays = {m[2] for m in every if os.path.dirname(m[2]) not in folders}
        self.assertEqual(set(), strays, "fonts from beyond the package's Depends were used")
        found = [m for m in every if m[0] is not GENERIC]

        record = sorted({f"{family}: {file}" + ("" if spacing is None else f", spacing {spacing}")
                         for family, _, file, spacing in found})
        with open(os.path.join(BUILD, "own-text-fonts.txt"), "w", encoding="utf-8") as f:
            f.write("".join(line + "\n" for line in record))
        print("\n".join(["faces of the program's own texts, with fonts from "
                         f"{', '.join(fonts)} only:"] + record))
        # The check boxes, the button and the tooltip ask in regular weight, the labels (Arial)
        # in bold.
        self.assertTrue(any(m[0] == "Arial" for m in found), record)
        self.assertTrue(any(m[0] != "Arial" and m[1] is not None and m[1] < 200 for m in found),
                        record)
        monospace = [line for line in record if "spacing" in line]
        self.assertEqual([], monospace, "texts drawn in a face that is not proportional")

    def tooltip_shown(self, app):
        out = self.desktop.x("xdotool", "search", "--onlyvisible", "--pid", str(app.proc.pid))
        return any(int(w) != app.main for w in out.split())


if __name__ == "__main__":
    unittest.main()
