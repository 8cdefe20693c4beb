"""Quillon keeps its program, hidden in the tray with saving on: a notepad closed and opened again on
the same file is saved again without being chosen, a Quillon closed and started again selects the
same program, and with start-with-Windows checked a start goes straight to the tray with saving on
and saves the remembered notepad, also one opened only after Quillon started."""

import time
import unittest

from harness import RUN_KEY, RUN_VALUE, USER_KEY, wait_for
from quillon_app import INSTALL_DIR, EXE, Id, QuillonTestCase

WM_RBUTTONUP = 0x205
START_WITH_WINDOWS = "开机时自动启动并继续保存"


class KeepTest(QuillonTestCase):
    def wait_hidden(self) -> None:
        wait_for(lambda: not self.dump()["visible"], 5, message="Quillon to hide in the tray")

    def quit_quillon(self, app) -> None:
        self.wine.post(0x0010)  # WM_CLOSE, as the close box does
        app.wait(15)
        wait_for(lambda: self.wine.tray_icon_count() == 0, 10, message="the tray icon to go")

    def selected_entry(self) -> str | None:
        lists = self.control(Id.List1)
        return lists["items"][lists["selected"]] if lists["selected"] >= 0 else None

    def test_a_notepad_closed_and_opened_again_is_saved_again_without_being_chosen(self):
        # Wine's notepad, and the probe's window that, closed, hides and shows "Untitled - Target"
        # for 4 s, as Wine's notepad does for a moment: cycles every 3 s fall in it.
        lingering = lambda name, text="": self.open_target(name, text, "linger=4000", "ctrl-s")  # noqa: E731
        for name, program, open_document in (("notes.txt", "Notepad", self.open_notepad),
                                             ("linger.txt", "Target", lingering)):
            with self.subTest(program=program):
                self.wine.reset()
                notes = open_document(name)
                other = self.open_notepad("other.txt")
                self.start_quillon()
                self.switch_on(f"{name} - {program}", interval="2")
                self.wait_hidden()
                self.type_into(notes, "first")
                self.wine.activate(other)
                self.wait_saved(name, "first", 0)

                self.wine.close(hwnd=notes)
                wait_for(lambda: all(w["hwnd"] != notes for w in self.wine.windows()), 10, message="it to close")
                time.sleep(3)  # a cycle with the document closed: nothing to save into
                self.assertEqual(self.wine.reg_value(USER_KEY, "ProgramTitle", view=64), f"{name} - {program}")
                reopened = open_document(name, "first")
                self.assertNotEqual(reopened, notes)
                self.wine.activate(reopened)
                self.wine.key("ctrl+End")  # notepad opens a file with the caret at its start
                self.wine.type_text(" second")
                self.wine.activate(other)
                lines = self.wait_saved(name, "first second", 1)
                self.assertTrue(lines[-1].endswith(f" {name} - {program} "), lines)
                self.assertFalse(self.dump()["visible"], "Quillon stayed in the tray")
                self.assertEqual(self.control(Id.optOn)["check"], 1)

    def test_quillon_started_again_selects_the_program_it_saved_and_keeps_it_per_user(self):
        self.open_notepad("kept.txt")
        app = self.start_quillon()
        self.switch_on("kept.txt - Notepad", interval="60", log=False)
        self.wait_hidden()
        stored = {name: v.data for name, v in (self.wine.reg_query(USER_KEY, view=64) or {}).items()}
        self.assertEqual(stored.get("ProgramTitle"), "kept.txt - Notepad")
        self.assertEqual(stored.get("ProgramClass"), "Notepad")
        self.assertTrue(stored.get("ProgramPath", "").lower().endswith("notepad.exe"), stored)
        self.assertNotIn("ProgramTitle", self.settings() or {}, "nothing of it under HKEY_LOCAL_MACHINE")
        self.quit_quillon(app)

        self.start_quillon()
        wait_for(lambda: self.selected_entry() == "kept.txt - Notepad ", 5, message="the program selected again")
        self.assertEqual(self.control(Id.optOn)["check"], 0, "saving starts off")
        self.assertTrue(self.dump()["visible"])

    def test_start_with_windows_resumes_saving_in_the_tray_for_a_notepad_opened_later(self):
        self.seed(TimerInterval="2", SaveLog="1")
        notes = self.open_notepad("later.txt")
        app = self.start_quillon()
        self.switch_on("later.txt - Notepad", interval="2", log=False)  # logging is on already
        self.wait_hidden()
        # The tray menu's entry, checked: Quillon is in the Run key and resumes.
        self.wine.tray_callback(WM_RBUTTONUP)
        menu = wait_for(lambda: self.wine.popups(), 5, message="the tray menu")
        entry = next(i for i in menu[0]["items"] if i["text"] == START_WITH_WINDOWS)
        self.assertFalse(entry["checked"])
        self.menu_keys("Down", "Down", "Down", "Down", "Return")
        wait_for(lambda: self.wine.popups() == [], 5, message="the menu to close")
        run = self.wine.reg_value(RUN_KEY, RUN_VALUE, view=64)
        self.assertEqual(run, f'"{INSTALL_DIR}\\{EXE.name}"')
        self.assertEqual(self.wine.reg_value(USER_KEY, "Resume", view=64), "1")
        self.quit_quillon(app)
        self.wine.close(hwnd=notes)
        wait_for(lambda: all(w["hwnd"] != notes for w in self.wine.windows()), 10, message="notepad to close")

        # The next logon: Quillon starts hidden in the tray, saving on, and waits for the notepad.
        app = self.start_quillon(traced=True, shown=False)
        time.sleep(1.5)
        d = self.dump()
        self.assertFalse(d["visible"], "straight into the tray")
        self.assertEqual(d.control(Id.optOn)["check"], 1, "saving is on")
        waiting = "自动保存：等待“later.txt - Notepad”打开"
        wait_for(lambda: [i["tip"] for i in self.wine.trayicons()["icons"]] == [waiting], 5,
                 message="the tip to say what Quillon waits for")
        time.sleep(3)
        other = self.open_notepad("other.txt")
        reopened = self.open_notepad("later.txt")
        self.type_into(reopened, "resumed")
        self.wine.activate(other)
        self.wait_saved("later.txt", "resumed", 0)
        self.assertGreaterEqual(self.marks(app, "save-skipped waiting-for-program"), 1)
        self.assertFalse(self.dump()["visible"])

        # Unchecked again: the Run value goes.
        self.wine.tray_callback(WM_RBUTTONUP)
        menu = wait_for(lambda: self.wine.popups(), 5, message="the tray menu")
        self.assertTrue(next(i for i in menu[0]["items"] if i["text"] == START_WITH_WINDOWS)["checked"])
        self.menu_keys("Down", "Down", "Down", "Down", "Return")
        wait_for(lambda: self.wine.reg_value(RUN_KEY, RUN_VALUE, view=64) is None, 5, message="the Run value to go")
        self.assertEqual(self.wine.reg_value(USER_KEY, "Resume", view=64), "0")


if __name__ == "__main__":
    unittest.main()
