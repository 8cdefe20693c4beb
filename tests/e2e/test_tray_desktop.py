"""The real tray icon in a Wine virtual desktop with explorer's taskbar: clicked with the mouse."""

import unittest

from harness import wait_for
from quillon_app import Id, QuillonTestCase


class DesktopTrayTest(QuillonTestCase):
    desktop = True

    def icon(self) -> dict:
        icons = wait_for(lambda: [i for i in self.wine.trayicons()["icons"] if i.get("tip") == "自动保存"], 10,
                         message="Quillon's icon in the notification area")
        return icons[0]

    def test_clicking_the_real_tray_icon_brings_the_window_back_and_opens_the_menu(self):
        self.start_quillon(wait_list=False)
        self.wine.minimize()
        wait_for(lambda: not self.dump()["visible"], 5, message="the window to hide")
        icon = self.icon()

        self.wine.click_at(icon["cx"], icon["cy"], double=True)
        wait_for(lambda: self.dump()["visible"], 5, message="the double click to bring the window back")
        self.assertEqual(self.control(Id.optOff)["check"], 1)

        self.wine.click_at(icon["cx"], icon["cy"], button=3)
        menu = wait_for(lambda: self.wine.popups(), 5, message="the tray menu")
        self.assertIn("退出", [i["text"] for i in menu[0]["items"]])
        self.menu_keys("Escape")
        wait_for(lambda: self.wine.popups() == [], 5, message="the menu to close")
        self.assertTrue(self.dump()["visible"])

    def quillon_icons(self) -> int:
        return len([i for i in self.wine.trayicons()["icons"] if i.get("tip") == "自动保存"])

    def test_a_re_created_taskbar_gets_the_icon_again(self):
        self.start_quillon(wait_list=False)
        self.icon()
        # A restarted Explorer has lost every icon and announces its new taskbar with a broadcast.
        self.wine.probe("traydelete", "frmMain", 1)
        wait_for(lambda: self.quillon_icons() == 0, 5, message="the icon to be gone")
        self.wine.send("TaskbarCreated", 0, 0)
        wait_for(lambda: self.quillon_icons() == 1, 5, message="the icon to be added again")


if __name__ == "__main__":
    unittest.main()
