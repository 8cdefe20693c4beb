"""Quillon the way it is mostly used: hidden in the notification area with saving on, while the
user works in other programs (Wine's notepad here). The tray menu and its input box, the program
lists, the options and the end of the session, each in that state."""

import time
import unittest

from harness import wait_for
from quillon_app import Id, QuillonTestCase

WM_ENDSESSION = 0x0016
# Virtual-key code and scan code of the keys that drive the tray menu.
WM_LBUTTONDBLCLK, WM_RBUTTONUP = 0x203, 0x205
IDOK, IDCANCEL, IDC_INPUT_EDIT = 1, 2, 102
OWN_TITLE = "岚舟自动保存"


class TrayHiddenTest(QuillonTestCase):
    # -- the tray menu and its input box ---------------------------------------------------

    def open_tray_menu(self) -> list[dict]:
        self.wine.tray_callback(WM_RBUTTONUP)
        return wait_for(lambda: self.wine.popups(), 5, message="the tray menu to open")

    def wait_menu_closed(self) -> None:
        wait_for(lambda: self.wine.popups() == [], 5, message="the tray menu to close")

    def answer_input_box(self, text: str | None) -> None:
        """Opens 设置时间... from the tray menu and answers its input box with text (None:
        cancels it)."""
        self.open_tray_menu()
        self.menu_keys("Down", "Down", "Return")
        box = wait_for(lambda: next((w for w in self.wine.windows() if w["class"] == "#32770"), None), 5,
                       message="the input box")
        self.assertEqual(box["caption"], "设置时间")
        if text is None:
            self.wine.click(IDCANCEL, hwnd=box["hwnd"], post=True)
        else:
            self.wine.settext(IDC_INPUT_EDIT, text, hwnd=box["hwnd"])
            self.wine.click(IDOK, hwnd=box["hwnd"], post=True)
        wait_for(lambda: all(w["hwnd"] != box["hwnd"] for w in self.wine.windows()), 5,
                 message="the input box to close")

    # -- state -----------------------------------------------------------------------------

    def remaining(self) -> int:
        text = self.control(Id.txtRemaining)["text"]
        # -1 for a moment within the tick that saves: the count is written, and another program
        # can read it while the save starts (before the count is re-armed in the same tick).
        self.assertRegex(text, r"^-?\d+$", "剩余时间 shows a whole number of seconds")
        return int(text)

    def wait_hidden(self) -> None:
        wait_for(lambda: not self.dump()["visible"], 5, message="Quillon to hide in the tray")

    def wait_quiet(self, seconds: int, interval: int) -> None:
        """Waits until the countdown shows at least seconds, so that no save begins for that long
        (one that is under way when a menu opens ends there)."""
        wait_for(lambda: self.remaining() >= seconds, interval + 3, interval=0.2,
                 message=f"the countdown to show {seconds} or more")

    def refreshed_list(self) -> list[str]:
        """Presses 刷新列表 and returns List1 once it is filled again (a tick of tmrWait later)."""
        self.wine.command(Id.Command1)
        return wait_for(lambda: self.control(Id.List1)["items"], 5, message="List1 to be filled again")

    def assert_lists_notepads_only(self, items: list[str], notepads: list[str], when: str) -> None:
        self.assertFalse([i for i in items if i.startswith(OWN_TITLE)], f"{when}: Quillon's own window is not listed")
        self.assertEqual(sorted(i.rstrip() for i in items if i.rstrip().endswith(" - Notepad")), sorted(notepads),
                         f"{when}: every visible notepad is listed once: {items}")

    # -- 1. the tray menu while saving runs hidden -----------------------------------------

    def test_opening_the_tray_menu_keeps_the_selection_and_saving_going(self):
        notepad = self.open_notepad("menu.txt")
        self.start_quillon()
        self.switch_on("menu.txt - Notepad", interval="6", log=False)
        self.wait_hidden()
        before = self.dump().control(Id.List1)
        self.assertGreaterEqual(before["selected"], 0)
        # A program started after the list was filled: a refresh would list it.
        self.open_notepad("later.txt")

        self.wait_quiet(4, 6)
        self.open_tray_menu()
        time.sleep(1.5)  # a refresh would have filled the lists again by now (tmrWait: 1 s)
        for when in ("with the menu open", "after the menu closed"):
            d = self.dump()
            self.assertFalse(d["visible"], when)
            self.assertEqual(d.control(Id.List1)["items"], before["items"], f"{when}: the lists are as they were")
            self.assertEqual(d.control(Id.List1)["selected"], before["selected"], when)
            self.assertEqual((d.control(Id.optOn)["check"], d.control(Id.optOn)["enabled"]), (1, True),
                             f"{when}: saving stays on and available")
            if when == "with the menu open":
                self.menu_keys("Escape")
                self.wait_menu_closed()
                time.sleep(1.2)  # a refill (tmrWait) and tmrRefresh, which disables optOn without a selection
        first = self.remaining()
        wait_for(lambda: self.remaining() != first, 3, message="the countdown to go on")
        # The next save still goes to the chosen program.
        self.type_into(notepad, "alpha")
        wait_for(lambda: self.document("menu.txt") == "alpha", 20, message="the next save")

    def test_a_save_waits_while_the_tray_menu_is_open_and_follows_once_it_closes(self):
        notepad = self.open_notepad("waits.txt")
        self.type_into(notepad, "kept")
        self.start_quillon()
        self.switch_on("waits.txt - Notepad", interval="2", log=True)
        self.wait_hidden()
        self.open_tray_menu()
        time.sleep(7)  # three cycles
        self.assertTrue(self.wine.popups(), "the menu the user opened is still open")
        self.assertEqual(self.document("waits.txt"), "", "no save while the menu is open")
        self.assertEqual(self.log_lines(), [])
        self.menu_keys("Escape")
        self.wait_menu_closed()
        self.wait_saved("waits.txt", "kept", 0, 10)

    def test_a_program_picked_in_the_menu_is_selected_by_window_and_saved_next(self):
        self.open_notepad("first.txt")
        notepads = {name: self.open_notepad(name) for name in ("one.txt", "two.txt")}
        # The notepad in front when the lists are filled is listed last.
        self.type_into(notepads["two.txt"], "picked")
        self.start_quillon()
        self.switch_on("first.txt - Notepad", interval="8", log=False)
        self.wait_hidden()
        lists = self.dump()
        shown = lists.control(Id.List1)["items"]
        handles = lists.control(Id.List2)["items"]
        picked, picked_title = notepads["two.txt"], "two.txt - Notepad "
        self.assertLess(shown.index("one.txt - Notepad "), shown.index(picked_title))
        self.assertEqual(handles[shown.index(picked_title)], str(picked))
        # The one listed before it goes away while the menu is open, which moves it up.
        gone = notepads["one.txt"]

        self.wait_quiet(5, 8)
        menu = self.open_tray_menu()
        self.assertEqual(menu[0]["items"][0]["text"], "应用程序")
        # The lists change under the open menu: a program ends and the lists are filled again.
        self.wine.close(hwnd=gone)
        wait_for(lambda: all(w["hwnd"] != gone for w in self.wine.windows()), 10, message="notepad to close")
        refilled = self.refreshed_list()
        self.assertNotEqual(refilled.index(picked_title), shown.index(picked_title), "the entry moved")
        self.menu_keys("Down", "Right", *["Down"] * shown.index(picked_title), "Return")
        self.wait_menu_closed()

        d = self.dump()
        index = d.control(Id.List1)["selected"]
        self.assertGreaterEqual(index, 0, "the picked program is selected")
        self.assertEqual(d.control(Id.List1)["items"][index], picked_title)
        self.assertEqual(d.control(Id.List2)["items"][index], str(picked))
        self.assertEqual(d.control(Id.optOn)["check"], 1)
        self.assertFalse(d["visible"])
        wait_for(lambda: self.document("two.txt") == "picked", 20, message="the picked program to be saved")

    # -- 2. the lists leave out Quillon's own windows ----------------------------------------

    def test_the_visible_programs_are_every_notepad_and_never_quillon_hidden_or_shown(self):
        notepads = {name: self.open_notepad(name) for name in ("list1.txt", "list2.txt")}
        titles = [f"{name} - Notepad" for name in notepads]
        self.start_quillon()
        self.assertEqual(self.control(Id.chkVisible)["check"], 1)
        self.assert_lists_notepads_only(self.refreshed_list(), titles, "shown in front")

        self.switch_on(titles[0], interval="60", log=False)
        self.wait_hidden()
        self.assert_lists_notepads_only(self.refreshed_list(), titles, "hidden in the tray")

        self.wine.tray_callback(WM_LBUTTONDBLCLK)
        wait_for(lambda: self.dump()["visible"], 5, message="the window to come back")
        # Shown, but below a notepad.
        self.wine.activate(notepads["list2.txt"])
        self.assertFalse(self.dump()["foreground"])
        self.assert_lists_notepads_only(self.refreshed_list(), titles, "shown below a notepad")

    # -- 3. the hidden check box takes no focus ----------------------------------------------

    def test_tab_visits_the_visible_controls_and_never_the_hidden_check_box(self):
        self.start_quillon()
        d = self.dump()
        self.assertFalse(d.control(Id.chkCurrent)["visible"], "chkCurrent is not visible")
        tabbable = {c["id"] for c in d.controls if c["visible"] and c["enabled"] and c["tabstop"]}
        self.assertNotIn(Id.chkCurrent, tabbable)
        self.wine.activate()
        visited = [self.dump().focused_control]
        for _ in range(len(tabbable) + 2):
            previous = visited[-1]
            self.wine.key("Tab")
            visited.append(wait_for(lambda: (f := self.dump().focused_control) not in (previous, -1) and f, 3,
                                    message="Tab to move the focus"))
        visited = [f for f in visited if f != -1]  # the first focus may be on no control yet
        self.assertNotIn(Id.chkCurrent, visited, f"the focus went through {visited}")
        self.assertTrue(set(visited) <= tabbable, f"the focus went through {visited}, tab stops {tabbable}")
        self.assertTrue({Id.cmdSet, Id.Command1, Id.List1, Id.chkSaveAs, Id.txtInterval, Id.chkVisible,
                         Id.chkSave, Id.cboTime, Id.XPButton1} <= set(visited), f"visited {visited}")

    # -- 4. the window in front, with Save As ------------------------------------------------

    def test_the_window_in_front_gets_save_as_once_and_its_dialog_gets_nothing(self):
        self.seed(Current="1", SaveAs="1")
        notepad = self.open_notepad("front.txt", "x")
        self.start_quillon()
        d = self.dump()
        self.assertEqual((d.control(Id.chkCurrent)["check"], d.control(Id.chkSaveAs)["check"]), (1, 1))
        self.switch_on("front.txt - Notepad", interval="3")
        self.wine.minimize()
        self.wait_hidden()
        self.wine.activate(notepad)
        dialog = wait_for(lambda: next((w for w in self.wine.windows() if w["class"] == "#32770"), None), 15,
                          message="notepad's Save As dialog")
        self.assertEqual(dialog["caption"], "Save As")
        self.assertEqual(dialog["owner"], notepad)
        self.assertFalse(self.wine.dump(notepad)["enabled"], "the dialog's owner is disabled")
        # The cycles are four seconds apart, so that the dialog is up before the next one (notepad
        # takes a moment to show its first Save As dialog, and stays in front, enabled, meanwhile).
        wait_for(lambda: len(self.log_lines()) == 1, 3, message="one line for the one typed save")
        time.sleep(8.5)  # two cycles with the dialog in front
        self.assertEqual([w["hwnd"] for w in self.wine.windows() if w["class"] == "#32770"], [dialog["hwnd"]])
        self.assertEqual(len(self.log_lines()), 1, "nothing typed into the dialog, no line written")
        self.assertEqual(self.control(Id.optOn)["check"], 1)

    # -- 5. the input box refuses what is no interval ----------------------------------------

    def test_the_tray_input_box_refuses_what_is_no_interval(self):
        self.open_notepad("box.txt")
        self.start_quillon()
        self.switch_on("box.txt - Notepad", interval="600", log=False)
        self.wait_hidden()

        def assert_unchanged(answer: str | None, interval: str, before: int) -> int:
            d = self.dump()
            self.assertEqual(d.control(Id.txtInterval)["text"], interval, f"answer {answer!r}: txtInterval")
            remaining = d.control(Id.txtRemaining)["text"]
            self.assertRegex(remaining, r"^\d+$", f"answer {answer!r}: txtRemaining")
            self.assertTrue(before - 30 < int(remaining) <= before,
                            f"answer {answer!r}: the countdown goes on from {before}, shows {remaining}")
            self.assertEqual(d.control(Id.optOn)["check"], 1)
            return int(remaining)

        before = self.remaining()
        for answer in ("0", "-5", "abc"):
            self.answer_input_box(answer)
            before = assert_unchanged(answer, "600", before)
        # Cancelled, the box takes the interval the window shows: a figure typed but never set.
        self.wine.settext(Id.txtInterval, "0")
        self.answer_input_box(None)
        assert_unchanged(None, "0", before)
        # Every interval the box takes is stored at once: none was.
        self.assertEqual(self.settings().get("TimerInterval"), "600")
        self.assertFalse(self.dump()["visible"], "Quillon stays in the tray")

    # -- 6. minutes, and 7. the end of the session ------------------------------------------

    def test_minutes_count_down_in_seconds_and_convert_back_and_the_session_end_removes_the_icon(self):
        self.open_notepad("minutes.txt")
        self.start_quillon()
        self.choose_program("minutes.txt - Notepad")
        self.set_interval("1.5", unit_index=1)
        d = self.dump()
        self.assertEqual(d.control(Id.cboTime)["edit_text"], "分")
        self.assertEqual(d.control(Id.txtRemaining)["text"], "90")
        self.assertEqual(d.control(Id.ProgressBar1)["max"], 90)
        self.assertEqual({k: v for k, v in self.settings().items() if k in ("TimerInterval", "TimeMeasurement")},
                         {"TimerInterval": "90", "TimeMeasurement": "Minutes"})
        wait_for(lambda: self.control(Id.optOn)["enabled"], 5, message="optOn to become available")
        self.wine.click(Id.optOn)
        self.wait_hidden()
        wait_for(lambda: 80 < self.remaining() < 90, 4, message="the countdown to run from 90")

        self.wine.select(Id.cboTime, 0)
        self.assertEqual(self.control(Id.txtInterval)["text"], "90")
        stored = self.settings()
        self.assertEqual((stored["TimerInterval"], stored["TimeMeasurement"]), ("90", "Seconds"))

        # Windows ends the session while Quillon waits in the tray: its closing steps run.
        self.assertEqual(self.wine.tray_icon_count(), 1)
        self.wine.send(WM_ENDSESSION, 1, 0)
        wait_for(lambda: self.wine.tray_icon_count() == 0, 10, message="the tray icon to go")


if __name__ == "__main__":
    unittest.main()
