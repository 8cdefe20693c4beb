"""The notification area, the hotkeys and the window's life under Wine: hiding to the tray and
coming back, F2/F3 from another program, the tray menu driven with the keyboard, the About
entry, and every way of closing."""

import time
import unittest

from harness import wait_for
from quillon_app import Id, QuillonTestCase

WM_LBUTTONDBLCLK, WM_RBUTTONUP = 0x203, 0x205


class TrayTest(QuillonTestCase):
    def ready_to_switch_on(self, interval: str = "30") -> None:
        """An entry selected and an interval set, so that Id.optOn is available."""
        self.select_program("")
        self.set_interval(interval)
        wait_for(lambda: self.control(Id.optOn)["enabled"], 5, message="optOn to become available")

    def open_tray_menu(self) -> list[dict]:
        self.wine.tray_callback(WM_RBUTTONUP)
        return wait_for(lambda: self.wine.popups(), 5, message="the tray menu to open")

    def test_minimising_hides_to_the_tray_and_the_double_click_brings_it_back_switched_off(self):
        app = self.start_quillon()
        self.ready_to_switch_on()
        self.wine.click(Id.optOn)
        wait_for(lambda: not self.dump()["visible"], 5, message="switching on to hide the window")
        self.assertEqual(self.wine.tray_icon_count(), 1)
        remaining = int(self.control(Id.txtRemaining)["text"])
        time.sleep(2.2)
        self.assertLess(int(self.control(Id.txtRemaining)["text"]), remaining, "the countdown runs while hidden")

        self.wine.tray_callback(WM_LBUTTONDBLCLK)
        wait_for(lambda: self.dump()["visible"], 5, message="the window to come back")
        d = self.dump()
        self.assertFalse(d["iconic"])
        self.assertEqual((d.control(Id.optOn)["check"], d.control(Id.optOff)["check"]), (0, 1))
        frozen = d.control(Id.txtRemaining)["text"]
        time.sleep(2.2)
        self.assertEqual(self.control(Id.txtRemaining)["text"], frozen, "saving off freezes the countdown")

        self.wine.minimize()
        wait_for(lambda: not self.dump()["visible"], 5, message="minimising to hide the window")
        self.assertEqual(self.wine.tray_icon_count(), 1)
        self.assertTrue(app.alive())

    def test_a_real_mouse_move_over_the_window_is_no_tray_click(self):
        self.start_quillon()
        d = self.dump()
        left, top = d["client"]["x"], d["client"]["y"]
        # The left button held over the window's own surface, moved to client (517, 0): the same
        # wParam and lParam as the tray icon's right-button release.
        self.wine.mouse_move(left + 517, top + 2)
        self.wine.xdotool("mousedown", 1)
        try:
            self.wine.mouse_move(left + 517, top)
            time.sleep(1)
            self.assertEqual(self.wine.popups(), [], "no tray menu opened")
        finally:
            self.wine.xdotool("mouseup", 1)
        # The shell's own callback with the same values still opens it.
        self.open_tray_menu()
        self.wine.key("Escape")
        wait_for(lambda: self.wine.popups() == [], 5, message="the menu to close")

    def test_f2_and_f3_in_another_program_switch_saving_and_still_reach_it(self):
        self.start_quillon()
        self.ready_to_switch_on()
        # Another program in front, which shows in its caption every key it receives.
        self.wine.launch(self.wine.probe_path(32), "keylog")
        other = wait_for(lambda: next((w["hwnd"] for w in self.wine.windows() if w["class"] == "QuillonKeyLog"), None),
                         10, message="the other program")
        self.wine.activate(other)
        self.wine.key("F2")
        wait_for(lambda: self.control(Id.optOn)["check"] == 1, 5, message="F2 to switch saving on")
        self.wine.activate(other)
        self.wine.key("F3")
        wait_for(lambda: self.control(Id.optOff)["check"] == 1, 5, message="F3 to switch saving off")
        caption = wait_for(lambda: next(w["caption"] for w in self.wine.windows() if w["hwnd"] == other), 5)
        self.assertEqual(caption, "keys: 113 114", "the program in front got F2 and F3 as well")

    def test_f2_and_f3_in_another_program_switch_saving_with_the_window_shown_and_hidden(self):
        self.seed(Current="1")  # switching on neither hides Quillon nor brings the listed program forward
        self.start_quillon()
        self.ready_to_switch_on()
        self.wine.launch(self.wine.probe_path(32), "keylog")
        other = wait_for(lambda: next((w["hwnd"] for w in self.wine.windows() if w["class"] == "QuillonKeyLog"), None),
                         10, message="the other program")
        for shown in (True, False):
            if not shown:
                self.wine.minimize()
                wait_for(lambda: not self.dump()["visible"], 5, message="the window to hide")
            self.wine.activate(other)
            self.wine.key("F2")
            wait_for(lambda: self.control(Id.optOn)["check"] == 1, 5, message=f"F2 to switch saving on, shown={shown}")
            self.assertEqual(self.dump()["visible"], shown)
            self.wine.activate(other)
            self.wine.key("F3")
            wait_for(lambda: self.control(Id.optOff)["check"] == 1, 5, message=f"F3 to switch saving off, shown={shown}")

    def test_the_tray_menu_chooses_a_program_and_sets_the_interval_with_the_keyboard(self):
        self.start_quillon()
        items = self.control(Id.List1)["items"]
        self.assertGreater(len(items), 0)
        menu = self.open_tray_menu()
        self.assertEqual([i["text"] for i in menu[0]["items"] if not i["separator"]],
                         ["应用程序", "设置时间...", "打开历史版本", "开机时自动启动并继续保存", "退出"])
        self.wine.key("Down", "Right", "Return")  # 应用程序 ▸ its first program
        wait_for(lambda: self.wine.popups() == [], 5, message="the menu to close")
        self.assertEqual(self.control(Id.List1)["selected"], 0)
        self.assertEqual(self.control(Id.optOn)["check"], 0, "choosing a program does not switch saving on")

        self.open_tray_menu()
        self.wine.key("Down", "Down", "Return")  # 设置时间...
        box = wait_for(lambda: next((w for w in self.wine.windows() if w["class"] == "#32770"), None), 5,
                       message="the input box")
        self.assertEqual(box["caption"], "设置时间")
        self.assertEqual(self.wine.dump(box["hwnd"]).control(102)["text"], "10000")
        self.wine.activate(box["hwnd"])
        self.wine.type_text("30")
        self.wine.key("Return")
        wait_for(lambda: (self.settings() or {}).get("TimerInterval") == "30", 5, message="TimerInterval 30")
        d = self.dump()
        self.assertEqual((d.control(Id.txtInterval)["text"], d.control(Id.txtRemaining)["text"]), ("30", "30"))

    def test_the_exit_button_removes_the_icon_and_ends_the_program(self):
        app = self.start_quillon(wait_list=False)
        self.seed(TimerInterval="15")  # what the registry holds before the click stays
        self.assertEqual(self.wine.tray_icon_count(), 1)
        self.wine.click(Id.XPButton1, post=True)
        app.wait(10)
        self.assertEqual(self.wine.tray_icon_count(), 0)
        self.assertEqual(self.settings(), {"TimerInterval": "15"})

    def test_the_menus_exit_removes_the_icon_and_ends_the_program(self):
        app = self.start_quillon(wait_list=False)
        self.open_tray_menu()
        self.wine.key("Up", "Return")  # 退出, the last entry
        app.wait(10)
        self.assertEqual(self.wine.tray_icon_count(), 0)

    def test_the_system_menu_has_one_about_entry_after_several_activations(self):
        self.start_quillon(wait_list=False)
        for _ in range(3):
            self.wine.minimize()
            wait_for(lambda: not self.dump()["visible"], 5, message="the window to hide")
            self.wine.tray_callback(WM_LBUTTONDBLCLK)
            wait_for(lambda: self.dump()["visible"], 5, message="the window to come back")
        entries = [i for i in self.wine.sysmenu() if i["text"] == "关于..."]
        self.assertEqual(len(entries), 1)
        self.assertEqual(entries[0]["id"], 2)
        self.wine.syscommand(2, post=True)
        about = wait_for(lambda: next((w for w in self.wine.windows() if w["class"] == "#32770"), None), 5,
                         message="the About message")
        self.assertEqual(about["caption"], "提示")
        texts = [c["text"] for c in self.wine.dump(about["hwnd"]).controls]
        self.assertTrue(any("岚舟自动保存" in t and "Brellon Studios" in t for t in texts), texts)


if __name__ == "__main__":
    unittest.main()
