"""Quillon keeps working beside programs that misbehave and over long runs: a target that stops
answering does not freeze it, and a soak of many short cycles with the tray menu opened and closed
all along leaves one log line per confirmed save and holds no more menus or GDI objects at its end."""

import os
import time
import unittest

from harness import wait_for
from quillon_app import Id, QuillonTestCase

SOAK_SECONDS = float(os.environ.get("QUILLON_SOAK_SECONDS", "60"))


class ReliabilityTest(QuillonTestCase):
    def test_a_target_that_stops_answering_freezes_nothing_and_gets_no_save(self):
        # The target answers for its first 12 seconds, then minimises itself and hangs.
        self.wine.launch(self.wine.probe_path(64), "hang", 12)
        hung = wait_for(lambda: next((w["hwnd"] for w in self.wine.windows() if w["class"] == "QuillonHangTarget"),
                                     None), 10, message="the target program")
        started = time.monotonic()
        self.start_quillon()
        self.switch_on("hang target", interval="2")
        wait_for(lambda: self.wine.dump(hung)["iconic"], 20, message="the target to minimise and hang")
        time.sleep(max(0.0, 13 - (time.monotonic() - started)))
        saves_before = len(self.log_lines())

        # Three cycles with the target hung: the countdown goes on, nothing is typed or logged.
        shown = set()
        deadline = time.monotonic() + 9
        while time.monotonic() < deadline:
            shown.add(self.control(Id.txtRemaining)["text"])
            time.sleep(0.25)
        self.assertGreaterEqual(len(shown), 3, f"the countdown kept running: {shown}")
        self.assertEqual(len(self.log_lines()), saves_before, "no save into a program that does not answer")

        # F3 from another program, and the tray icon, still work.
        self.wine.launch(self.wine.probe_path(64), "keylog")
        other = wait_for(lambda: next((w["hwnd"] for w in self.wine.windows() if w["class"] == "QuillonKeyLog"),
                                      None), 10, message="another program")
        self.wine.activate(other)
        self.wine.key("F3")
        wait_for(lambda: self.control(Id.optOff)["check"] == 1, 5, message="F3 to switch saving off")
        self.wine.tray_callback(0x203)
        wait_for(lambda: self.dump()["visible"], 5, message="the double click to bring the window back")

    def test_a_soak_of_short_cycles_with_the_tray_menu_opened_hundreds_of_times(self):
        notepad = self.open_notepad("soak.txt", "soak")
        app = self.start_quillon(traced=True)
        self.switch_on("soak.txt - Notepad", interval="1")
        # The first menu builds what every later one reuses (fonts, bitmaps): count after it.
        self.wine.probe("menuloop", "frmMain", 1, bits=64)
        objects_at_start = self.wine.probe_json("--class", "frmMain", "objects", bits=64)

        # Bursts of the tray menu opened and closed again and again, with quiet spells between them
        # in which the user changes the document (an untouched one is left alone) and the saves
        # have the desktop to themselves.
        menus = quiet_spells = 0
        deadline = time.monotonic() + SOAK_SECONDS
        while time.monotonic() < deadline:
            menus += int(self.wine.probe("menuloop", "frmMain", 25, bits=64, timeout=120).strip())
            self.type_into(notepad, ".")
            time.sleep(3)
            quiet_spells += 1
        self.assertEqual(self.control(Id.optOn)["check"], 1, "saving is still on")

        # Saving goes on: the marks are counted at a moment between two cycles, once every cycle
        # begun has ended (a save keeps the file's version first, and counts once the file shows it).
        def counts() -> tuple[int, ...]:
            return tuple(self.marks(app, m)
                         for m in ("save-cycle", "save-confirmed", "save-skipped", "save-carried-over"))

        def between_cycles() -> tuple[int, ...] | None:
            now = counts()
            return now if now[0] == sum(now[1:]) and len(self.log_lines()) == now[1] else None

        try:
            cycles, saved, skipped, carried = wait_for(between_cycles, 10, interval=0.2,
                                                       message="a moment between two cycles")
        except AssertionError:  # the assertions below tell which count is off
            cycles, saved, skipped, carried = counts()
        self.assertGreaterEqual(cycles, SOAK_SECONDS / 2 * 0.8, "a cycle every two seconds")
        # A save that waits while a menu is open goes on as the next cycle's.
        self.assertEqual(cycles, saved + skipped + carried, "every cycle saved, was skipped on purpose or went on")
        self.assertGreaterEqual(saved, quiet_spells // 2, "saves went in between the menus")
        self.assertEqual(len(self.log_lines()), saved, "exactly one log line per confirmed save")
        self.assertGreaterEqual(menus, 25 * quiet_spells)

        objects_at_end = self.wine.probe_json("--class", "frmMain", "objects", bits=64)
        self.assertEqual(objects_at_end["menus"], objects_at_start["menus"], f"menus after {menus} tray menus")
        self.assertLessEqual(objects_at_end["gdi"], objects_at_start["gdi"] + 5,
                             f"GDI objects after {menus} tray menus and {saved} saves")
        self.assertTrue(any(w["hwnd"] == notepad for w in self.wine.windows()))


if __name__ == "__main__":
    unittest.main()
