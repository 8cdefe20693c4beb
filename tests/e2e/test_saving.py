"""Automatic saving from end to end: a real document in Wine's notepad is saved on disk, cycle
after cycle, and only ever in the program that was chosen."""

import re
import time
import unittest

from harness import wait_for
from quillon_app import Id, QuillonTestCase

# The general date-and-time text, a space, the listed title (which ends with a space).
LOG_LINE = re.compile(r"^\d{1,4}[/.-]\d{1,2}[/.-]\d{1,4} \d{1,2}:\d{2}:\d{2}( [AP]M)? (?P<entry>.*)$")


class SavingTest(QuillonTestCase):
    def assert_log_names(self, lines: list[str], entry: str) -> None:
        for line in lines:
            match = LOG_LINE.match(line)
            self.assertIsNotNone(match, f"log line format: {line!r}")
            self.assertEqual(match["entry"], entry)

    def test_the_chosen_document_is_saved_cycle_after_cycle_with_a_log_line_per_save(self):
        notepad = self.open_notepad("first.txt")
        self.type_into(notepad, "alpha")
        self.start_quillon()
        self.switch_on("first.txt - Notepad")
        self.assertFalse(self.dump()["visible"], "switching on hides Quillon to the tray")

        first = self.wait_saved("first.txt", "alpha", 0)
        self.type_into(notepad, " beta")
        self.wait_saved("first.txt", "alpha beta", len(first))

        self.wine.tray_callback(0x203)  # double click on the tray icon: saving off, window back
        wait_for(lambda: self.control(Id.optOff)["check"] == 1, 5, message="saving to switch off")
        time.sleep(0.5)  # a save under way finishes within the tick
        lines = self.log_lines()
        self.assertGreaterEqual(len(lines), 2)
        self.assert_log_names(lines, "first.txt - Notepad ")
        self.assertEqual(self.settings()["SaveLog"], "1")
        time.sleep(4)
        self.assertEqual(len(self.log_lines()), len(lines), "no save while saving is off")

    def test_with_save_as_checked_the_save_as_dialog_opens(self):
        notepad = self.open_notepad("other.txt", "x")
        self.start_quillon()
        self.wine.click(Id.chkSaveAs)
        self.switch_on("other.txt - Notepad")
        dialog = wait_for(lambda: next((w for w in self.wine.windows() if w["class"] == "#32770"), None), 15,
                          message="notepad's Save As dialog")
        self.assertEqual(dialog["caption"], "Save As")
        self.assertEqual(dialog["owner"], notepad)
        # The dialog now has the focus, not the listed window: the following cycles type nothing.
        time.sleep(7)
        self.assertEqual(len([w for w in self.wine.windows() if w["class"] == "#32770"]), 1)
        self.assertEqual(len(self.log_lines()), 1)

    def test_a_closed_listed_window_gets_nothing_and_the_focused_program_is_left_alone(self):
        gone = self.open_notepad("gone.txt")
        bystander = self.open_notepad("bystander.txt", "kept")
        self.start_quillon()
        # Closed well before the first save, which comes four ticks after switching on.
        self.switch_on("gone.txt - Notepad", interval="3")
        self.wine.close(hwnd=gone)
        wait_for(lambda: all(w["hwnd"] != gone for w in self.wine.windows()), 3, message="notepad to close")
        self.type_into(bystander, " changed")
        time.sleep(9)  # two cycles of four ticks
        self.assertEqual(self.document("bystander.txt"), "kept", "the focused notepad was not saved")
        self.assertFalse(any(w["class"] == "#32770" for w in self.wine.windows()), "no dialog was opened")
        self.assertEqual(self.log_lines(), [])
        self.assertEqual(self.wine.foreground()["hwnd"], bystander)

    def test_nothing_is_typed_while_ctrl_is_held_and_the_next_cycle_saves(self):
        notepad = self.open_notepad("held.txt")
        self.type_into(notepad, "one")
        self.start_quillon()
        self.switch_on("held.txt - Notepad")
        saves = len(self.wait_saved("held.txt", "one", 0))

        self.type_into(notepad, "two")
        self.wine.keydown("ctrl")
        try:
            time.sleep(8)  # at least two cycles while Ctrl is down
            self.assertEqual(self.document("held.txt"), "one", "no save with Ctrl held")
            self.assertEqual(len(self.log_lines()), saves)
        finally:
            self.wine.keyup("ctrl")
        self.wait_saved("held.txt", "onetwo", saves, 10)

    def test_a_new_notepad_is_kept_in_the_history_and_left_as_it_is(self):
        self.wine.launch("notepad")
        pad = wait_for(lambda: next((w["hwnd"] for w in self.wine.windows() if w["caption"] == "Untitled - Notepad"),
                                    None), 20, message="a new notepad")
        self.wine.settext(0, "第一行：你好\r\n" + "x" * 100000, hwnd=pad)
        other = self.open_notepad("other.txt")
        self.start_quillon()
        self.switch_on("Untitled - Notepad")
        self.type_into(pad, "!")  # a change of the user's: the notepad asks to save it on close
        self.wine.activate(other)
        watch = self.watch_foreground(8)

        def copies() -> list[bytes]:
            return list(self.history("未保存的文档", "Untitled - Notepad").values())

        def text() -> str:
            return next(c["text"] for c in self.wine.dump(pad).controls if c["class"] == "Edit")

        wait_for(lambda: copies(), 8, message="a copy of the text")
        self.assertEqual(copies(), ["\ufeff".encode() + text().encode()], "the text as UTF-8")
        self.assertEqual({c["hwnd"] for c in self.foreground_changes(watch)}, {other}, "the front never moved")
        self.assertEqual(len(copies()), 1, "an unchanged text is kept once")
        self.assertEqual(self.log_lines(), [])
        self.type_into(pad, "?")
        self.wine.activate(other)
        wait_for(lambda: len(copies()) == 2, 8, message="a second copy after more typing")
        self.assertEqual(copies()[1], "\ufeff".encode() + text().encode())
        self.wine.close(hwnd=pad, post=True)
        wait_for(lambda: any(w["class"] == "#32770" and w["owner"] == pad for w in self.wine.windows()), 5,
                 message="the notepad, still unnamed and changed, to ask whether to save it")

    def test_with_the_current_window_option_the_program_in_front_is_saved(self):
        self.seed(Current="1")
        front = self.open_notepad("front.txt")
        self.start_quillon()
        self.switch_on("front.txt - Notepad")
        self.assertTrue(self.dump()["visible"], "switching on leaves the window alone")
        self.type_into(front, "typed")
        self.assert_log_names(self.wait_saved("front.txt", "typed", 0)[:1], "front.txt - Notepad ")


if __name__ == "__main__":
    unittest.main()
