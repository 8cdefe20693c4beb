"""A save never takes the keyboard from the user: with two notepads open, the listed one saved
while the user works in the other, Quillon hidden in the tray. It waits for a pause in the
user's typing before it brings the listed window to the front, and gives the front back."""

import time
import unittest

from harness import wait_for
from quillon_app import QuillonTestCase


class FrontTest(QuillonTestCase):
    def edit_text(self, hwnd: int) -> str:
        return next(c["text"] for c in self.wine.dump(hwnd).controls if c["class"].lower() == "edit")

    def front(self) -> int:
        return self.wine.foreground()["hwnd"]

    def two_notepads(self) -> tuple[int, int]:
        """A (listed, "alpha" typed but not saved) and B, in which the user works."""
        listed = self.open_notepad("listed.txt")
        self.type_into(listed, "alpha")
        other = self.open_notepad("other.txt")
        self.start_quillon()
        self.switch_on("listed.txt - Notepad", interval="3")
        self.assertFalse(self.dump()["visible"], "saving on hides Quillon to the tray")
        self.type_into(other, "one")
        return listed, other

    def test_the_listed_document_is_saved_and_the_front_comes_back_to_the_users_window(self):
        listed, other = self.two_notepads()
        wait_for(lambda: self.document("listed.txt") == "alpha", 20, message="the listed document saved")
        wait_for(lambda: self.front() == other, 3, message="the front given back to the user's notepad")
        # What the user types right after the save lands in the document they work in.
        self.wine.type_text(" two")
        wait_for(lambda: self.edit_text(other) == "one two", 5, message="the typing to reach the user's notepad")
        self.assertEqual(self.edit_text(listed), "alpha", "nothing typed into the listed notepad")
        self.assertEqual(self.document("listed.txt"), "alpha")
        self.assertEqual(self.document("other.txt"), "", "the user's own document was not saved")
        self.assertEqual(len(self.log_lines()), 1)

    def test_no_save_while_the_user_keeps_typing_and_one_soon_after_they_stop(self):
        listed, other = self.two_notepads()
        # A key every 200 ms for ten seconds: three cycles come and go without a save.
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            self.wine.key("x", delay_ms=0)
            time.sleep(0.2)
        self.assertEqual(self.document("listed.txt"), "", "no save while the user types")
        self.assertEqual(self.log_lines(), [])
        self.assertEqual(self.front(), other, "the front never left the user's window")
        typed = self.edit_text(other)
        self.assertTrue(typed.startswith("one") and set(typed[3:]) == {"x"}, typed)
        # Typing stops: the save comes within the next cycle (3 s, plus the 1.5 s pause).
        wait_for(lambda: self.document("listed.txt") == "alpha", 8, message="the save after the typing stopped")
        wait_for(lambda: self.front() == other, 3, message="the front given back")


if __name__ == "__main__":
    unittest.main()
