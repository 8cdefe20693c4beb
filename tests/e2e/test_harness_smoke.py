"""Smoke test of the end-to-end harness and the probe on Wine's own notepad (no Quillon).

Opens a document in notepad, finds the window and its edit control through the probe, types
with real X key events, reads the text back with WM_GETTEXT, saves, checks the file on disk and
closes notepad - once with separate X windows and once in a Wine virtual desktop.
"""

import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from harness import WineSession, wait_for  # noqa: E402

DOC = r"C:\e2e\smoke.txt"


class HarnessSmokeTest(unittest.TestCase):
    def test_notepad_round_trip(self):
        for desktop in (False, True):
            mode = "desktop" if desktop else "windows"
            with self.subTest(mode=mode), WineSession(desktop=desktop) as wine:
                self.round_trip(wine, mode)

    def round_trip(self, wine: WineSession, mode: str) -> None:
        wine.write_file(DOC, "first line\r\n")
        started = time.monotonic()
        app = wine.launch("notepad", DOC)

        hwnd = int(wine.probe("wait", "Notepad", 30000).split()[0])
        print(f"\n[{mode}] notepad window up after {time.monotonic() - started:.1f} s", file=sys.stderr)

        window = wine.dump("Notepad")
        self.assertEqual(window["hwnd"], hwnd)
        self.assertTrue(window["visible"])
        self.assertEqual(window["exe"].lower(), "notepad.exe")
        self.assertIn("smoke.txt", window["caption"])
        edits = [c for c in window.controls if c["class"].lower() == "edit"]
        self.assertEqual(len(edits), 1, window.controls)
        self.assertEqual(edits[0]["text"], "first line\r\n")
        self.assertTrue(edits[0]["multiline"])

        listed = [w for w in wine.windows() if w["hwnd"] == hwnd]
        self.assertEqual(len(listed), 1)
        self.assertEqual(listed[0]["class"], "Notepad")

        def edit_text() -> str:
            return next(c["text"] for c in wine.dump(hwnd).controls if c["class"].lower() == "edit")

        wine.activate(hwnd)
        wine.key("ctrl+End")
        wine.type_text("typed 123")
        wait_for(lambda: edit_text() == "first line\r\ntyped 123", 10,
                 message="the typed text in notepad's edit control")

        wine.key("ctrl+s")
        wait_for(lambda: wine.read_file(DOC) == b"first line\r\ntyped 123", 10,
                 message="notepad to save the document")
        wine.screenshot(f"smoke-notepad-{mode}")

        wine.close(hwnd=hwnd)
        wine.wait_gone("Notepad", 10)
        self.assertEqual(app.wait(10), 0)
        self.assertFalse(any(w["class"] == "Notepad" for w in wine.windows()))


if __name__ == "__main__":
    unittest.main()
