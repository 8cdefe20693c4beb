"""Smoke test of the end-to-end harness and the probe (no Quillon).

On Wine's own notepad: opens a document, finds the window and its edit control through the
probe, types with real X key events, reads the text back with WM_GETTEXT, saves, checks the file
on disk and closes notepad - once with separate X windows and once in a Wine virtual desktop.

On the probe's stand-ins for Word and Excel: a caller of each bitness reaches the document of a
stand-in of each bitness through the object model, sees typing make it unsaved, saves it, and is
rejected while the stand-in plays busy; and the foreground watch sees short visits of the front.
"""

import json
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from harness import (OFFICE_BUSY, RPC_E_CALL_REJECTED, WineSession, runs_32bit_programs,  # noqa: E402
                     wait_for)

EDIT_ID = 1  # the edit control in the stand-ins' document window

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

    def test_office_stand_ins_answer_callers_of_either_bitness_and_fgwatch_sees_short_visits(self):
        bitness = (32, 64) if runs_32bit_programs() else (64,)
        with WineSession() as wine:
            for client in bitness:
                for server in bitness:
                    kind = "word" if client == server else "excel"
                    with self.subTest(client=client, server=server, kind=kind):
                        self.office_round_trip(wine, kind, client, server)
            with self.subTest("fgwatch"):
                self.short_visits_seen(wine)

    def office_round_trip(self, wine: WineSession, kind: str, client: int, server: int) -> None:
        started = time.monotonic()
        path = rf"C:\e2e\office-{client}-{server}.{'docx' if kind == 'word' else 'xlsx'}"
        app, hwnd = wine.open_office(kind, path, "first", bits=server)
        fresh = {"type": "Window", "saved": True, "path": "C:\\e2e", "read_only": False, "auto_save_on": False,
                 "exception": None, "hresult": None}
        self.assertEqual(wine.office_doc("read", hwnd, bits=client), fresh)

        wine.activate(hwnd)
        wine.type_text(" typed")
        wait_for(lambda: wine.gettext(EDIT_ID, hwnd=hwnd) == "first typed", 10,
                 message="the typing in the stand-in")
        self.assertGreaterEqual(wine.office_state(path)["keys"], len(" typed"))
        self.assertEqual(wine.office_doc("read", hwnd, bits=client)["saved"], False)

        self.assertEqual(wine.office_doc("save", hwnd, bits=client), fresh)
        self.assertEqual(wine.read_file(path), b"first typed")
        state = wine.office_state(path)
        self.assertEqual((state["saves"], state["saved"], state["rejected"]), (1, True, 0))

        wine.send(OFFICE_BUSY, 60000, hwnd=hwnd)  # sent: busy once the stand-in has answered
        self.assertEqual(wine.office_doc("read", hwnd, bits=client)["hresult"], RPC_E_CALL_REJECTED)
        self.assertGreaterEqual(wine.office_state(path)["rejected"], 1)
        wine.send(OFFICE_BUSY, 0, hwnd=hwnd)
        self.assertEqual(wine.office_doc("read", hwnd, bits=client), fresh)

        wine.close(hwnd=hwnd)
        self.assertEqual(app.wait(10), 0)
        self.assertEqual(wine.office_state(path)["saves"], 1)
        print(f"\n[{kind} {server}-bit, caller {client}-bit] {time.monotonic() - started:.1f} s", file=sys.stderr)

    def short_visits_seen(self, wine: WineSession) -> None:
        """Three 100 ms visits of the front elsewhere, each seen going and coming back."""
        home = wine.launch(wine.probe_path(64), "keylog", wait_class="QuillonKeyLog").hwnd
        _, visited = wine.open_office("excel", r"C:\e2e\visited.xlsx", bits=64)
        wine.activate(home)
        watch = wine.watch_foreground(12)
        for _ in range(3):
            visit = json.loads(wine.probe("visit", visited, 100))
            self.assertEqual(visit["back"], home)
        changes = wine.foreground_changes(watch)
        # Wine may leave no window in front for a moment while the front changes hands.
        fronts = [c["hwnd"] for c in changes if c["hwnd"]]
        fronts = [h for i, h in enumerate(fronts) if i == 0 or fronts[i - 1] != h]
        self.assertEqual(fronts, [home, visited] * 3 + [home], changes)
        self.assertEqual({c["class"] for c in changes if c["hwnd"] == visited}, {"XLMAIN"})
        durations = [after["t"] - c["t"] for c, after in zip(changes, changes[1:]) if c["hwnd"] == visited]
        print(f"\n[fgwatch] visits of 100 ms seen for {durations} ms", file=sys.stderr)


if __name__ == "__main__":
    unittest.main()
