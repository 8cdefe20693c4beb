"""Checks the release zip that `make dist` (tools/dist.sh) packs.

    python3 test_dist.py --root REPOSITORY --dist DIST_DIR [unittest options]

The zip must be DIST_DIR/quillon-<VERSION>-win32.zip, VERSION being the version in the repository's
VERSION file, and hold exactly quillon.exe (the 32-bit program), x64/quillon.exe (the 64-bit one),
README.txt and LICENSE.txt. The programs in it must be the ones in DIST_DIR, of the right machine
type, and carry VERSION in their version resource; the texts must be readable in Notepad. Packing
again must give the same bytes.
"""

import argparse
import os
import re
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

ROOT = DIST = VERSION = ZIP = None

ENTRIES = ["quillon.exe", "x64/quillon.exe", "README.txt", "LICENSE.txt"]
# name in the zip -> (COFF machine, optional header magic)
PROGRAMS = {
    "quillon.exe": (0x014C, 0x010B),      # i386, PE32
    "x64/quillon.exe": (0x8664, 0x020B),  # x86-64, PE32+
}
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2


def pe_header(data):
    """(machine, optional header magic, subsystem) of a PE image, or an AssertionError."""
    if data[:2] != b"MZ":
        raise AssertionError("no MZ header")
    (pe,) = struct.unpack_from("<I", data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise AssertionError("no PE signature at 0x%x" % pe)
    (machine,) = struct.unpack_from("<H", data, pe + 4)
    optional = pe + 24
    (magic,) = struct.unpack_from("<H", data, optional)
    (subsystem,) = struct.unpack_from("<H", data, optional + 68)  # same offset in PE32 and PE32+
    return machine, magic, subsystem


def section(data, name):
    """The file range of the named section of a PE image."""
    (pe,) = struct.unpack_from("<I", data, 0x3C)
    count, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    table = pe + 24 + optional_size
    for i in range(count):
        entry = table + 40 * i
        if data[entry:entry + 8].rstrip(b"\0") == name:
            size, offset = struct.unpack_from("<II", data, entry + 16)
            return range(offset, offset + size)
    raise AssertionError("no %s section" % name.decode())


def imported_dlls(data):
    """The names, in lower case, of the DLLs a PE image imports at load time."""
    (pe,) = struct.unpack_from("<I", data, 0x3C)
    count, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    (magic,) = struct.unpack_from("<H", data, optional)
    directories = optional + (96 if magic == 0x010B else 112)
    (imports_rva,) = struct.unpack_from("<I", data, directories + 8)  # the import directory's entry

    def offset(rva):
        for i in range(count):
            entry = pe + 24 + optional_size + 40 * i
            size, address, raw_size, raw = struct.unpack_from("<IIII", data, entry + 8)
            if address <= rva < address + max(size, raw_size):
                return rva - address + raw
        raise AssertionError("RVA 0x%x lies in no section" % rva)

    names, at = [], offset(imports_rva)
    while True:
        name_rva = struct.unpack_from("<I", data, at + 12)[0]
        if name_rva == 0:
            return names
        start = offset(name_rva)
        names.append(data[start:data.index(b"\0", start)].decode("ascii").lower())
        at += 20


def version_string(data, key):
    """The value of one StringFileInfo entry (key and value in UTF-16LE) in the image; the key
    must stand there once."""
    needle = key.encode("utf-16-le") + b"\0\0"
    at = [m.start() for m in re.finditer(re.escape(needle), data) if m.start() % 2 == 0]
    if len(at) != 1:
        raise AssertionError("%r stands %d times in the image" % (key, len(at)))
    i = at[0] + len(needle)
    while data[i:i + 2] == b"\0\0":  # padding up to the next 32-bit boundary
        i += 2
    end = i
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[i:end].decode("utf-16-le")


def fixed_file_info(data):
    """(file version, product version) from VS_FIXEDFILEINFO, each as (major, minor, patch, build)."""
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        raise AssertionError("no VS_FIXEDFILEINFO")
    fms, fls, pms, pls = struct.unpack_from("<4I", data, at + 8)
    split = lambda ms, ls: (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    return split(fms, fls), split(pms, pls)


def run_dist(out, env=None):
    subprocess.run(["bash", os.path.join(ROOT, "tools", "dist.sh"), "--dist", DIST, "--out", out],
                   check=True, stdout=subprocess.DEVNULL, env=env)


class ReleaseZip(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.path.isfile(ZIP):
            raise AssertionError("%s is missing: run make dist" % ZIP)
        cls.zip = zipfile.ZipFile(ZIP)
        cls.addClassCleanup(cls.zip.close)

    def test_holds_the_four_files_in_order_at_their_places(self):
        infos = self.zip.infolist()
        self.assertEqual([i.filename for i in infos], ENTRIES)
        self.assertIsNone(self.zip.testzip())
        for info in infos:
            with self.subTest(info.filename):
                self.assertFalse(info.is_dir())
                # No build path: no absolute names, no Windows separators, nothing leading out.
                self.assertNotIn("\\", info.filename)
                self.assertFalse(info.filename.startswith("/"))
                self.assertNotIn("..", info.filename.split("/"))
                self.assertEqual(info.compress_type, zipfile.ZIP_DEFLATED)
        self.assertEqual(len({i.date_time for i in infos}), 1, "entries stamped with different times")

    def test_programs_are_the_built_ones_for_their_machines(self):
        for name, (machine, magic) in PROGRAMS.items():
            with self.subTest(name):
                data = self.zip.read(name)
                self.assertEqual(pe_header(data), (machine, magic, IMAGE_SUBSYSTEM_WINDOWS_GUI))
                with open(os.path.join(DIST, *name.split("/")), "rb") as f:
                    self.assertTrue(f.read() == data,
                                    "%s differs from the one in %s: run make dist" % (name, DIST))

    def test_programs_load_no_com_library_at_start_up(self):
        # What reaches Word's and Excel's documents is loaded only when one is first saved.
        for name in PROGRAMS:
            with self.subTest(name):
                dlls = imported_dlls(self.zip.read(name))
                self.assertIn("user32.dll", dlls)
                self.assertFalse({"ole32.dll", "oleaut32.dll", "oleacc.dll", "combase.dll"} & set(dlls), dlls)

    def test_programs_carry_the_version(self):
        numbers = tuple(int(n) for n in VERSION.split(".")) + (0,)
        for name in PROGRAMS:
            with self.subTest(name):
                data = self.zip.read(name)
                self.assertEqual(version_string(data, "FileVersion"), VERSION)
                self.assertEqual(version_string(data, "ProductVersion"), VERSION)
                self.assertEqual(fixed_file_info(data), (numbers, numbers))
                # The About message shows the version main.cpp hands to the form: a wide string
                # outside the resources.
                rsrc = section(data, b".rsrc")
                outside = data[:rsrc.start] + b"\1\1" + data[rsrc.stop:]
                self.assertIn((VERSION + "\0").encode("utf-16-le"), outside)

    def assert_notepad_text(self, raw):
        """CRLF at the end of every line, never a lone LF or CR; returns the lines."""
        self.assertTrue(raw.endswith(b"\r\n"))
        self.assertEqual(raw.count(b"\n"), raw.count(b"\r\n"), "a line ends in a lone LF")
        self.assertEqual(raw.count(b"\r"), raw.count(b"\r\n"), "a lone CR")
        return raw.decode("utf-8").split("\r\n")

    def test_readme_is_chinese_then_english_for_notepad(self):
        raw = self.zip.read("README.txt")
        self.assertTrue(raw.startswith(b"\xef\xbb\xbf"), "no UTF-8 byte order mark")
        text = "\r\n".join(self.assert_notepad_text(raw[3:]))
        self.assertNotIn("@VERSION@", text)
        self.assertIn(VERSION, text)
        chinese = [m.start() for m in re.finditer(r"[\u4e00-\u9fff]", text)]
        english = [m.start() for m in re.finditer(r"\b(?:the|and|it|to|Quillon saves)\b", text)]
        self.assertGreater(len(chinese), 300, "too little Chinese")
        self.assertGreater(len(english), 30, "too little English")
        self.assertLess(text.index("用法"), text.index("Quillon saves"), "Chinese must come first")
        for fact in ["F2", "F3", "quillon.log", "保存日志文件", "清空日志", "自动保存弹出对话框窗口",
                     r"HKEY_LOCAL_MACHINE\Software\Brellon Studios\Quillon", "WOW6432Node",
                     r"x64\quillon.exe", "MIT", "Brellon Studios", "1.5", "Alt+F, S", "Alt+F, A"]:
            with self.subTest(fact):
                self.assertIn(fact, text)

    def test_licence_is_the_repositorys_for_notepad(self):
        raw = self.zip.read("LICENSE.txt")
        lines = self.assert_notepad_text(raw)
        with open(os.path.join(ROOT, "LICENSE"), encoding="utf-8") as f:
            self.assertEqual("\n".join(lines), f.read())
        self.assertEqual(lines[0], "MIT License")
        self.assertIn("Copyright (c) 2026 Brellon Studios", lines)

    def test_packing_again_gives_the_same_bytes(self):
        # Two runs at least two seconds apart (the zip's time resolution), in different time
        # zones and umasks: anything taken from the clock, the zone or the file modes shows.
        with tempfile.TemporaryDirectory() as tmp:
            first, second = os.path.join(tmp, "a.zip"), os.path.join(tmp, "b.zip")
            run_dist(first)
            time.sleep(2.1)
            env = dict(os.environ, TZ="Pacific/Kiritimati")
            old = os.umask(0o077)
            try:
                run_dist(second, env)
            finally:
                os.umask(old)
            with open(first, "rb") as a, open(second, "rb") as b:
                self.assertTrue(a.read() == b.read(), "two packings differ")
            # And the zip under test holds what packing now gives (only the time may differ).
            with zipfile.ZipFile(first) as fresh:
                for name in ENTRIES:
                    with self.subTest(name):
                        self.assertTrue(fresh.read(name) == self.zip.read(name),
                                        "%s is stale: run make dist" % name)


def main():
    global ROOT, DIST, VERSION, ZIP
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--dist", required=True)
    args, rest = parser.parse_known_args()
    ROOT, DIST = os.path.abspath(args.root), os.path.abspath(args.dist)
    with open(os.path.join(ROOT, "VERSION"), encoding="ascii") as f:
        VERSION = f.readline().strip()
    ZIP = os.path.join(DIST, "quillon-%s-win32.zip" % VERSION)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
