"""Smoke test of the end-to-end harness and the probe (no Quillon).

On Wine's own notepad: opens a document, finds the window and its edit control through the
probe, types with real X key events, reads the text back with WM_GETTEXT, saves, checks the file
on disk and closes notepad - once with separate X windows and once in a Wine virtual desktop.

On the probe's stand-ins for Word, Excel, PowerPoint, WPS and LibreOffice: a caller of each bitness
reaches the document of a stand-in of each bitness the way its maker documents, sees typing make it
unsaved, saves it, and is rejected while the stand-in plays busy; and the foreground watch sees
short visits of the front. On the probe's document window as editors: Notepad++'s save message
from the other bitness, Ctrl+S, its own menu, the Save As dialog of an untitled document and a
close that lingers.
"""

import json
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from harness import (NPPM_SAVECURRENTFILE, OFFICE_BUSY, RPC_E_CALL_REJECTED, WineSession,  # noqa: E402
                     runs_32bit_programs, wait_for)

EDIT_ID = 1  # the edit control in the stand-ins' document window

DOC = r"C:\e2e\smoke.txt"
EXTENSIONS = {"word": "docx", "excel": "xlsx", "powerpoint": "pptx", "wps": "wps", "soffice": "odt"}
ALERTS = {"word": -1, "excel": True, "powerpoint": 2, "wps": -1, "soffice": None}  # DisplayAlerts at start


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

    def test_powerpoint_wps_and_libreoffice_stand_ins_answer_callers_as_their_makers_document(self):
        """WPS's document window does not answer; WPS and LibreOffice list a second, saved document
        first, and the caller finds the shown one by the caption (and WPS's Hwnd unless no-hwnd)."""
        bitness = (32, 64) if runs_32bit_programs() else (64,)
        with WineSession() as wine:
            for client in bitness:
                for server in bitness:
                    wps = ("no-native", "second=a.docx", "integrated" if client != server else "no-hwnd")
                    for kind, options in (("powerpoint", ()), ("wps", wps), ("soffice", ("second=a.odt",))):
                        with self.subTest(client=client, server=server, kind=kind):
                            self.office_round_trip(wine, kind, client, server, *options)

    def office_round_trip(self, wine: WineSession, kind: str, client: int, server: int, *options: str) -> None:
        started = time.monotonic()
        path = rf"C:\e2e\office {kind} {client}-{server}.{EXTENSIONS[kind]}"
        app, hwnd = wine.open_office(kind, path, "first", *options, bits=server)
        fresh = {"type": "Window", "saved": True, "path": "C:\\e2e", "read_only": False, "auto_save_on": False}
        changed = {"saved": False}
        if kind == "powerpoint":  # MsoTriState numbers
            fresh, changed = {**fresh, "type": "DocumentWindow", "saved": -1, "read_only": 0}, {"saved": 0}
        elif kind == "wps":  # no Window object on the way
            fresh["type"] = None
        elif kind == "soffice":
            url = "file:///" + path.replace("\\", "/").replace(" ", "%20")
            fresh = {"type": None, "modified": False, "url": url, "read_only": False, "has_location": True}
            changed = {"modified": True}
        fresh.update(exception=None, hresult=None)
        self.assertEqual(wine.office_doc("read", hwnd, bits=client), fresh)
        self.assertEqual(wine.office_state(path)["alerts"], ALERTS[kind])

        wine.activate(hwnd)
        wine.type_text(" typed")
        wait_for(lambda: wine.gettext(EDIT_ID, hwnd=hwnd) == "first typed", 10,
                 message="the typing in the stand-in")
        self.assertGreaterEqual(wine.office_state(path)["keys"], len(" typed"))
        self.assertEqual(wine.office_doc("read", hwnd, bits=client), {**fresh, **changed})

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

    def test_target_plays_the_editors(self):
        with WineSession() as wine:
            for bits in (32, 64) if runs_32bit_programs() else (64,):
                with self.subTest(bits=bits):
                    self.editors(wine, bits)

    def editors(self, wine: WineSession, bits: int) -> None:
        path = rf"C:\e2e\npp-{bits}.txt"
        app, hwnd = wine.open_target(path, "first", "npp", bits=bits)
        wine.activate(hwnd)
        wine.type_text("!")
        wait_for(lambda: wine.target_state(path)["caption"] == f"*{path} - Notepad++", 10, message="the mark")
        self.assertEqual(wine.probe("--hwnd", hwnd, "send", NPPM_SAVECURRENTFILE, bits=96 - bits).strip(), "1")
        self.assertEqual(wine.read_file(path), b"first!")
        state = wine.target_state(path)
        self.assertEqual((state["saves"], state["messages"], state["caption"]), (1, 1, f"{path} - Notepad++"))
        wine.close(hwnd=hwnd)
        self.assertEqual(app.wait(10), 0)

        path = rf"C:\e2e\new-{bits}.txt"
        app, hwnd = wine.open_target(path, "", "untitled", "ctrl-s", "marks=after", "own-menu", "linger=4000",
                                     bits=bits)
        wine.activate(hwnd)
        wine.type_text("x")
        wait_for(lambda: wine.target_state(path)["caption"] == "Untitled-1 \u2022 - Target", 10, message="the mark")
        wine.key("alt+f")
        wait_for(lambda: wine.foreground()["class"] == "QuillonOwnMenu", 10, message="the own menu in front")
        wine.key("Escape")
        wait_for(lambda: wine.foreground()["hwnd"] == hwnd, 10, message="the window back in front")
        wine.key("ctrl+s")
        wait_for(lambda: wine.target_state(path)["dialog_open"] and not wine.dump(hwnd)["enabled"], 10,
                 message="the Save As dialog, the window disabled")
        wine.key("Escape")
        wait_for(lambda: not wine.target_state(path)["dialog_open"] and wine.dump(hwnd)["enabled"], 10,
                 message="the dialog cancelled")
        state = wine.target_state(path)
        self.assertEqual((state["keys"], state["saves"], state["menus"], state["dialogs"]),
                         ([88, 18, 70, 27, 17, 83, 27], 0, 1, 1))
        wine.close(hwnd=hwnd, post=True)  # hidden and retitled, then gone 4 s later
        wait_for(lambda: {"caption": "Untitled - Target", "visible": False}.items() <=
                 next((w for w in wine.windows(all=True) if w["hwnd"] == hwnd), {}).items(), 3, message="the retitle")
        self.assertEqual(app.wait(15), 0)
        self.assertEqual(wine.read_file(path), b"")


if __name__ == "__main__":
    unittest.main()
