"""Start-up under Wine: the window and its controls, and the settings read from the registry."""

import unittest

from harness import SETTINGS_KEY, wait_for
from quillon_app import BITS, CAPTION, Id, QuillonTestCase

# Tab order, window class and text of every control.
EXPECTED_CONTROLS = [
    (Id.cmdSet, "Button", "设置时间    "),
    (Id.Command1, "Button", "刷新列表    "),
    (Id.List1, "ListBox", ""),
    (Id.optOn, "Button", "开始自动保存"),
    (Id.optOff, "Button", "关闭自动保存"),
    (Id.chkSaveAs, "Button", "自动保存弹出对话框窗口"),
    (Id.chkCurrent, "Button", ""),
    (Id.txtInterval, "Edit", "0"),
    (Id.List2, "ListBox", ""),
    (Id.txtRemaining, "Edit", "0"),
    (Id.chkVisible, "Button", "显示当前运行程序"),
    (Id.chkSave, "Button", "保存日志文件"),
    (Id.cboTime, "ComboBox", ""),
    (Id.ProgressBar1, "msctls_progress32", ""),
    (Id.lblTimerInterval, "Static", "时间设置："),
    (Id.Label1, "Static", "剩余时间："),
    (Id.cmdKill, "Button", "清空日志    "),
    (Id.XPButton1, "Button", "退出  "),
    (Id.Label2, "Static", "自动保存主要为编写文本文档、Word、Excel等编辑文字软件"),
]


class StartupTest(QuillonTestCase):
    def test_first_start_shows_the_initial_states_and_creates_no_key(self):
        self.start_quillon()
        d = self.dump()
        self.assertEqual(d["caption"], CAPTION)
        self.assertEqual(d["bits"], BITS)
        self.assertEqual(d.tab_order, [c for c, _, _ in EXPECTED_CONTROLS])
        for cid, cls, text in EXPECTED_CONTROLS:
            with self.subTest(control=cid):
                c = d.control(cid)
                self.assertEqual(c["class"], cls)
                self.assertEqual(c["text"], text)
        # 9720 × 3750 twips at the window's DPI.
        self.assertEqual((d["client"]["w"], d["client"]["h"]), (round(9720 * d["dpi"] / 1440), round(3750 * d["dpi"] / 1440)))
        self.assertFalse(d.control(Id.List2)["visible"], "List2 is hidden")
        self.assertFalse(d.control(Id.chkCurrent)["in_client"], "chkCurrent lies below the client area")
        checks = {cid: d.control(cid)["check"] for cid in (Id.optOn, Id.optOff, Id.chkSaveAs, Id.chkCurrent, Id.chkVisible, Id.chkSave)}
        self.assertEqual(checks, {Id.optOn: 0, Id.optOff: 1, Id.chkSaveAs: 0, Id.chkCurrent: 0, Id.chkVisible: 1, Id.chkSave: 0})
        self.assertEqual(d.control(Id.cboTime)["items"], ["秒", "分"])
        self.assertEqual(d.control(Id.cboTime)["edit_text"], "")
        progress = d.control(Id.ProgressBar1)
        self.assertEqual((progress["min"], progress["max"], progress["pos"]), (0, 100, 0))
        self.assertTrue(d["foreground"], "the window is shown and active")
        self.assertIsNone(self.settings(), "reading the settings never creates the key")
        # The reg tool's own query agrees that there is no key.
        self.assertNotEqual(self.wine.wine("reg", "query", SETTINGS_KEY, "/reg:32", check=False).returncode, 0)

    def test_minutes_are_shown_converted_and_the_countdown_in_seconds(self):
        self.seed(TimerInterval="90", TimeMeasurement="Minutes")
        self.start_quillon()
        d = self.dump()
        self.assertEqual(d.control(Id.txtInterval)["text"], "1.5")
        self.assertEqual(d.control(Id.txtRemaining)["text"], "90")
        self.assertEqual(d.control(Id.cboTime)["edit_text"], "Minutes")
        self.assertEqual(d.control(Id.ProgressBar1)["max"], 90)
        self.assertEqual(self.settings(), {"TimerInterval": "90", "TimeMeasurement": "Minutes"})

    def test_a_stored_visible_0_clears_the_box_and_is_stored_again(self):
        # Stored as a number by another tool: the program reads "0" and writes it back as text.
        self.wine.reg_add(SETTINGS_KEY, "Visible", 0, type="REG_DWORD")
        self.seed(SaveAs="1", SaveLog="abc", Current=" ")
        self.start_quillon(wait_list=False)
        d = self.dump()
        self.assertEqual(d.control(Id.chkVisible)["check"], 0)
        self.assertEqual(d.control(Id.chkSaveAs)["check"], 1)
        self.assertEqual(d.control(Id.chkSave)["check"], 0, "a word of letters leaves the box as designed")
        self.assertEqual(d.control(Id.chkCurrent)["check"], 0)
        values = self.wine.reg_query(SETTINGS_KEY)
        self.assertEqual((values["Visible"].type, values["Visible"].data), ("REG_SZ", "0"))
        self.assertEqual(values["SaveAs"].data, "1")
        # With the plain filter the list is filled with the titled windows, Quillon's own included.
        wait_for(lambda: any(i.startswith("岚舟自动保存") for i in self.control(Id.List1)["items"]), 10,
                 message="the unfiltered list to show Quillon's own window")

    def test_the_tray_icon_is_added_with_its_tip(self):
        self.start_quillon(wait_list=False)
        self.assertEqual(self.wine.tray_icon_count(), 1)
        self.assertEqual(self.wine.hover_tray_icon(0), "自动保存")


if __name__ == "__main__":
    unittest.main()
