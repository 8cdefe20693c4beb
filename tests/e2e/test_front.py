"""A save never takes the keyboard from the user, and never types a key that does not do what it
means: with the listed program saved from behind the window the user works in (a notepad),
Quillon hidden in the tray. It waits for a pause in the user's typing before it brings the listed
window to the front, types the letter only once the program's File menu is open, logs only the
saves the program took, and gives the front back."""

import time
import unittest

from harness import wait_for
from quillon_app import QuillonTestCase


class FrontTest(QuillonTestCase):
    def edit_text(self, hwnd: int) -> str:
        return next(c["text"] for c in self.wine.dump(hwnd).controls if c["class"].lower() in ("edit", "scintilla"))

    def front(self) -> int:
        return self.wine.foreground()["hwnd"]

    def two_notepads(self, interval: str = "3") -> tuple[int, int]:
        """A (listed, "alpha" typed but not saved) and B, in which the user works."""
        listed = self.open_notepad("listed.txt")
        self.type_into(listed, "alpha")
        other = self.open_notepad("other.txt")
        self.start_quillon()
        self.switch_on("listed.txt - Notepad", interval=interval)
        self.assertFalse(self.dump()["visible"], "saving on hides Quillon to the tray")
        self.type_into(other, "one")
        return listed, other

    def saving_from_behind(self, title: str) -> int:
        """Saving `title` every 2 seconds from behind the user's notepad; returns the notepad."""
        other = self.open_notepad("other.txt")
        self.start_quillon()
        self.switch_on(title, interval="2")
        self.type_into(other, "one")
        return other

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

    def test_over_many_cycles_the_listed_text_never_changes_and_the_user_keeps_the_front(self):
        listed, other = self.two_notepads(interval="2")
        expected = "alpha"
        for saves in range(1, 6):
            wait_for(lambda: self.document("listed.txt") == expected and len(self.log_lines()) >= saves, 12,
                     message=f"save {saves}")
            wait_for(lambda: self.front() == other, 3, message=f"the front back after save {saves}")
            self.assertEqual(self.edit_text(listed), expected, f"the listed text after save {saves}")
            # The user changes the listed document between the saves (an untouched one is left
            # alone) and goes back to their own.
            letter = "bcdef"[saves - 1]
            self.type_into(listed, letter)
            expected += letter
            self.wine.activate(other)
        self.assertEqual(self.edit_text(other), "one")
        self.assertEqual(self.document("other.txt"), "", "the user's own document was not saved")

    def assert_saved_with_text_unchanged(self, name: str, text: str, typed: str, *options: str) -> None:
        """The probe's window over `name`, `typed` added to its `text`, saved from behind."""
        target = self.open_target(name, text, *options)
        self.type_into(target, typed)
        other = self.saving_from_behind(f"{name} - Target")
        wait_for(lambda: self.document(name) == text + typed, 20, message=f"{name} saved")
        wait_for(lambda: self.front() == other, 3, message="the front given back")
        self.assertEqual(self.edit_text(target), text + typed, "no letter went into the text")
        self.assertGreaterEqual(len(self.log_lines()), 1)

    def test_a_program_whose_file_menu_opens_late_is_saved_with_its_text_unchanged(self):
        self.assert_saved_with_text_unchanged("late.txt", "beta", " gamma", "menu-delay=400")

    def test_a_window_without_a_menu_bar_gets_no_letter_and_no_log_line(self):
        target = self.open_target("bare.txt", "delta", "no-menu")
        other = self.saving_from_behind("bare.txt - Target")
        # The first cycle brings the window forward, finds that Alt+F opened nothing and gives the
        # front back; the next ones leave it alone.
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            self.assertEqual(self.edit_text(target), "delta")
            time.sleep(0.5)
        wait_for(lambda: self.front() == other, 3, message="the front given back")
        self.assertEqual(self.edit_text(target), "delta", "no letter went into the text")
        self.assertEqual(self.document("bare.txt"), "delta")
        self.assertEqual(self.log_lines(), [], "nothing is logged that the program did not take")

    def fronts_of(self, changes: list[dict], hwnd: int) -> int:
        """How often the foreground watch saw `hwnd` come to the front."""
        return sum(1 for c in changes if c["hwnd"] == hwnd)

    def test_an_untouched_document_is_not_brought_forward_until_the_user_works_in_it_again(self):
        listed, other = self.two_notepads(interval="2")
        self.wait_saved("listed.txt", "alpha", 0)
        wait_for(lambda: self.front() == other, 3, message="the front given back")
        # Three cycles with the listed document untouched: the front never moves.
        changes = self.foreground_changes(self.watch_foreground(8))
        self.assertEqual(self.fronts_of(changes, listed), 0, f"the untouched notepad stayed behind: {changes}")
        self.assertEqual(len(self.log_lines()), 1, "nothing to save writes no line")
        self.assertEqual(self.edit_text(listed), "alpha")
        # A brief visit, a word typed there, and back: the next cycles save it.
        self.type_into(listed, " beta")
        self.wine.activate(other)
        self.wait_saved("listed.txt", "alpha beta", 1)
        wait_for(lambda: self.front() == other, 3, message="the front given back")

    def test_a_window_the_keys_cannot_save_is_left_alone_until_the_user_works_in_it(self):
        target = self.open_target("menuless.txt", "eta", "no-menu")
        other = self.saving_from_behind("menuless.txt - Target")
        changes = self.foreground_changes(self.watch_foreground(7))
        self.assertLessEqual(self.fronts_of(changes, target), 1, f"one try at most: {changes}")
        changes = self.foreground_changes(self.watch_foreground(7))
        self.assertEqual(self.fronts_of(changes, target), 0, f"then left alone: {changes}")
        # The user works in it: the next cycle tries once more.
        self.type_into(target, "!")
        self.wine.activate(other)
        changes = self.foreground_changes(self.watch_foreground(6))
        self.assertEqual(self.fronts_of(changes, target), 1, f"tried again once: {changes}")
        self.assertEqual(self.edit_text(target), "eta!", "no letter went into the text")
        self.assertEqual(self.log_lines(), [])

    def test_editors_without_a_classic_menu_are_saved_only_where_their_titles_confirm_it(self):
        # options, whether it ends saved, the title it is chosen by; the last one's title shows no
        # mark: the keys' way, whose Alt+F opens a menu the program draws itself, once at most.
        cases = {"marked.md": (("no-menu", "marks=after", "ctrl-s"), True, "marked.md • - Target"),
                 "npp.txt": (("npp",), True, "*C:\\docs\\npp.txt - Notepad++"),
                 "new.md": (("no-menu", "marks", "ctrl-s", "untitled=new.md"), False, "*new.md - Target"),
                 "own.md": (("own-menu", "ctrl-s"), False, "own.md - Target")}
        for name, (options, saved, title) in cases.items():
            with self.subTest(name=name):
                self.wine.reset()
                target = self.open_target(name, "text", *options)
                self.type_into(target, "!")
                other = self.saving_from_behind(title)
                changes = self.foreground_changes(self.watch_foreground(9))
                state = self.target_state(name)
                self.assertEqual(self.edit_text(target), "text!", "no letter typed into the text")
                self.assertEqual(0x12 in state["keys"], name == "own.md", f"Alt+F only the keys' way: {state}")
                self.assertEqual(self.document(name), "text!" if saved else "text")
                if saved:  # the line follows the file by a moment, once Quillon has seen the file change
                    wait_for(lambda: self.log_lines(), 5, message=f"{name}'s save logged")
                else:
                    self.assertEqual(self.log_lines(), [])
                self.assertEqual((state["dialogs"], state["dialog_open"]), (int(name == "new.md"), False),
                                 "a Save As dialog that Ctrl+S opened is cancelled")
                self.assertLessEqual(state["menus"], 1, "one try at most of a menu it draws itself")
                # Its program taken to the front from another: Notepad++'s never, the others once at most.
                tries = sum(1 for was, c in zip(changes, changes[1:]) if c["hwnd"] == target and was["pid"] != c["pid"])
                self.assertLessEqual(tries, 0 if name == "npp.txt" else 1, changes)
                wait_for(lambda: self.front() == other, 3, message="the front given back")

    def test_a_program_whose_alt_f_opens_a_file_view_instead_of_a_menu_is_saved(self):
        self.assert_saved_with_text_unchanged("view.txt", "epsilon", " zeta", "file-view")


if __name__ == "__main__":
    unittest.main()
