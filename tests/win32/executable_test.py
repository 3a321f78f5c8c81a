"""Checks of qv-tickspan.exe as a file: a GUI program that imports only Windows' own DLLs, with
the icon, the version block and the manifest the project puts in it, and no debug information.

Usage: executable_test.py EXE OBJDUMP LICENSE"""

import re
import struct
import subprocess
import sys
import unittest

EXE = OBJDUMP = LICENSE = None

# Windows' own DLLs that a static MinGW or MSVC build may import.
WINDOWS_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "advapi32.dll",
                "msvcrt.dll", "shell32.dll", "ole32.dll", "ucrtbase.dll"}

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24


class PeResources:
    """The resource tree of a PE file: {(type, name): [data of each language]}."""

    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        assert data[pe:pe + 4] == b"PE\0\0"
        sections = struct.unpack_from("<H", data, pe + 6)[0]
        optional_size = struct.unpack_from("<H", data, pe + 20)[0]
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        directories = optional + (112 if magic == 0x20B else 96)
        rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            vsize, vaddr, rsize, raddr = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            self.sections.append((vaddr, max(vsize, rsize), raddr))
        self.base = self.offset(rva)
        self.items = {}
        self._walk(0, [])

    def offset(self, rva):
        for vaddr, size, raddr in self.sections:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + raddr
        raise ValueError("rva outside every section")

    def _walk(self, at, path):
        named, ids = struct.unpack_from("<HH", self.data, self.base + at + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", self.data, self.base + at + 16 + 8 * i)
            key = name if not name & 0x80000000 else ("named", name & 0x7FFFFFFF)
            if target & 0x80000000:
                self._walk(target & 0x7FFFFFFF, path + [key])
            else:
                rva, size = struct.unpack_from("<II", self.data, self.base + target)
                start = self.offset(rva)
                self.items.setdefault((path[0], path[1]), []).append(self.data[start:start + size])

    def get(self, kind, name):
        return self.items.get((kind, name), [None])[0]


def version_strings(block):
    """Name -> value of the StringFileInfo strings in a VS_VERSIONINFO block."""
    text = block.decode("utf-16-le", errors="replace")
    out = {}
    for name in ("FileVersion", "ProductVersion", "FileDescription", "ProductName",
                 "LegalCopyright"):
        m = re.search(name + "\0+([^\0]+)\0", text)
        if m:
            out[name] = m.group(1)
    return out


class Executable(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(EXE, "rb") as f:
            cls.pe = PeResources(f.read())
        cls.dump = subprocess.run([OBJDUMP, "-p", EXE], capture_output=True, text=True,
                                  check=True).stdout

    def test_is_a_gui_program_that_imports_only_windows_dlls(self):
        self.assertEqual(2, self.pe.subsystem)  # IMAGE_SUBSYSTEM_WINDOWS_GUI
        dlls = {d.lower() for d in re.findall(r"DLL Name: (\S+)", self.dump)}
        self.assertIn("user32.dll", dlls)
        self.assertLessEqual(dlls, WINDOWS_DLLS)
        # The C runtime is the one every Windows carries, as docs/building.md says.
        self.assertIn("msvcrt.dll", dlls)

    def test_has_no_debug_sections(self):
        headers = subprocess.run([OBJDUMP, "-h", EXE], capture_output=True, text=True,
                                 check=True).stdout
        names = re.findall(r"^\s*\d+\s+(\S+)", headers, re.M)
        self.assertIn(".text", names)
        self.assertEqual([], [n for n in names if n.startswith((".debug", ".zdebug"))])

    def test_starts_on_windows_7(self):
        # Functions that Windows 7 lacks are looked up at run time, never imported: an import
        # that Windows cannot resolve stops the program before it starts.
        newer = {"GetDpiForWindow", "GetDpiForSystem", "AdjustWindowRectExForDpi",
                 "GetDpiForMonitor", "SetThreadDpiAwarenessContext", "SystemParametersInfoForDpi",
                 "GetSystemMetricsForDpi", "GetSystemTimePreciseAsFileTime",
                 "SetThreadDescription"}
        imported = set(re.findall(r"^\s+[0-9a-f]+\s+\d+\s+(\w+)\s*$", self.dump, re.M))
        self.assertIn("CreateWindowExW", imported)
        self.assertEqual(set(), imported & newer)

    def test_version_block(self):
        block = self.pe.get(RT_VERSION, 1)
        self.assertIsNotNone(block)
        fixed = block.find(struct.pack("<I", 0xFEEF04BD))
        self.assertGreater(fixed, 0)
        fms, fls, pms, pls = struct.unpack_from("<IIII", block, fixed + 8)
        self.assertEqual((1, 1, 0, 0), (fms >> 16, fms & 0xFFFF, fls >> 16, fls & 0xFFFF))
        self.assertEqual((1, 1, 0, 0), (pms >> 16, pms & 0xFFFF, pls >> 16, pls & 0xFFFF))
        strings = version_strings(block)
        self.assertEqual("1.01", strings.get("FileVersion"))
        self.assertEqual("1.01", strings.get("ProductVersion"))
        self.assertTrue(strings.get("FileDescription"))
        # The MIT licence's notice, not a word that says otherwise.
        with open(LICENSE, encoding="utf-8") as f:
            notice = next(line.strip() for line in f if line.startswith("Copyright "))
        self.assertEqual("Copyright (c) 2026 the QV-TICKSPAN developers", notice)
        self.assertEqual(notice, strings.get("LegalCopyright"))

    def test_icon_has_16_and_24_pixel_images_in_256_colours(self):
        group = self.pe.get(RT_GROUP_ICON, 1)
        self.assertIsNotNone(group, "no icon group 1")
        count = struct.unpack_from("<H", group, 4)[0]
        images = []
        for i in range(count):
            w, h, colours, _, planes, bits, size, icon_id = struct.unpack_from(
                "<BBBBHHIH", group, 6 + 14 * i)
            image = self.pe.get(RT_ICON, icon_id)
            header_bits = struct.unpack_from("<H", image, 14)[0]  # BITMAPINFOHEADER.biBitCount
            images.append((w, h, header_bits))
        self.assertEqual([(16, 16, 8), (24, 24, 8)], sorted(images))

    def test_manifest(self):
        manifest = self.pe.get(RT_MANIFEST, 1)
        self.assertIsNotNone(manifest, "no manifest as resource 1")
        text = manifest.decode("utf-8")
        self.assertIn('level="asInvoker"', text)
        self.assertIn("Microsoft.Windows.Common-Controls", text)
        self.assertIn("PerMonitorV2", text)
        self.assertIn("true/pm", text)
        # Windows 7 and Windows 10/11.
        self.assertIn("{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", text)
        self.assertIn("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", text)


if __name__ == "__main__":
    EXE, OBJDUMP, LICENSE = sys.argv[1], sys.argv[2], sys.argv[3]
    unittest.main(argv=[sys.argv[0], "-v"])
