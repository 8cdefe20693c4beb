"""Word and Excel saved through their own documents, with Quillon hidden in the tray and saving on
while the user types in notepad. The programs are the probe's stand-ins (`probe office`), written
from Microsoft's documentation of the object model another program reaches behind their document
windows: a changed document is saved without a key reaching the program and without the front
leaving the user's notepad, an unchanged one is never saved, a busy program is saved once it
answers, a hung one leaves Quillon's window answering, a never-saved one is kept as a copy instead
of a Save(), and each save keeps the file as it stood before."""

import time
import unittest

from harness import OFFICE_BUSY, OFFICE_CHANGED, OFFICE_HANG_NEXT_CALL, OFFICE_KINDS, runs_32bit_programs, wait_for
from quillon_app import BITS, Id, QuillonTestCase

WM_NULL = 0x0000


class DocumentTest(QuillonTestCase):
    def saving(self, kind: str, name: str, *options: str, bits: int | None = None, interval: str = "2",
               hang_ms: int = 0):
        """The stand-in over C:\\docs\\<name> ("draft"), saved every `interval` seconds while the user
        types in a notepad; `hang_ms`: the first call into it blocks that long. Returns (Quillon,
        the stand-in's HWND, the notepad)."""
        office = self.open_office(kind, name, "draft", *options, bits=bits)
        if hang_ms:
            self.wine.send(OFFICE_HANG_NEXT_CALL, hang_ms, hwnd=office)
        caption = next(w["caption"] for w in self.wine.windows() if w["hwnd"] == office)
        notepad = self.open_notepad("mine.txt")
        app = self.start_quillon(traced=True)
        self.switch_on(caption, interval=interval)
        self.wait_for_hidden()
        self.type_into(notepad, "typing")
        return app, office, notepad

    def wait_for_hidden(self) -> None:
        wait_for(lambda: not self.dump()["visible"], 5, message="Quillon to hide in the tray")

    def test_a_changed_document_is_saved_without_a_key_and_the_front_never_leaves_the_user(self):
        # Word, PowerPoint and LibreOffice of Quillon's own bitness, Excel and WPS (through the
        # Running Object Table) of the other one where the machine runs both; each one's alerts
        # setting, and the one that shows no question.
        other = 96 - BITS if runs_32bit_programs() else BITS
        for kind, name, bits, options, normal, off in (
                ("word", "report.docx", BITS, (), -1, 0), ("excel", "budget.xlsx", other, (), True, False),
                ("powerpoint", "deck.pptx", BITS, (), 2, 1), ("wps", "letter.wps", other, ("no-native",), -1, 0),
                ("soffice", "essay.odt", BITS, (), None, None)):
            with self.subTest(kind=kind, bits=bits):
                self.wine.reset()
                # Four seconds: the watch is on before the first cycle comes.
                app, office, notepad = self.saving(kind, name, "unsaved", *options, bits=bits, interval="4")
                watch = self.watch_foreground(6)
                # Its alerts were off for the Save and are put back as they were right after it.
                wait_for(lambda: self.office_state(name)["saves"] >= 1 and self.office_state(name)["alerts"] == normal,
                         10, message=f"{kind} to be saved")
                state = self.office_state(name)
                self.assertTrue(state["saved"])
                self.assertEqual(self.document(name), "draft")
                self.assertEqual(state["keys"], 0, "no key reached the program")
                self.assertEqual(state["alerts_at_save"], off)
                wait_for(lambda: len(self.log_lines()) == 1, 5, message="the save's log line")
                self.assertTrue(self.log_lines()[0].endswith(f"{name} - {OFFICE_KINDS[kind][1]} "))
                changes = self.foreground_changes(watch)
                self.assertEqual({c["hwnd"] for c in changes if c["hwnd"]}, {notepad},
                                 f"the front stayed with the user's notepad: {changes}")
                # Unchanged since, it is read on the next cycle and saved no more.
                wait_for(lambda: self.marks(app, "save-skipped nothing-to-save") >= 1, 8,
                         message="a cycle with nothing to save")
                self.assertEqual(self.office_state(name)["saves"], 1)
                self.assertEqual(len(self.log_lines()), 1, "nothing to save writes no line")

    def test_an_unchanged_document_is_never_saved_and_a_busy_one_once_it_answers(self):
        app, office, notepad = self.saving("word", "memo.docx")
        time.sleep(7)  # three cycles
        state = self.office_state("memo.docx")
        self.assertEqual(state["saves"], 0, "nothing to save")
        self.assertGreater(state["calls"], 0, "it was asked")
        self.assertEqual(self.log_lines(), [])

        # The user changes it, and the program is busy for four seconds.
        self.wine.send(OFFICE_BUSY, 4000, hwnd=office)
        self.wine.post(OFFICE_CHANGED, hwnd=office)
        wait_for(lambda: self.office_state("memo.docx")["rejected"] > 0, 6, message="a call to be refused")
        self.assertEqual(self.office_state("memo.docx")["saves"], 0)
        wait_for(lambda: self.office_state("memo.docx")["saves"] == 1, 10, message="the save once it answers")
        self.assertEqual(self.office_state("memo.docx")["keys"], 0)

    def test_a_hung_program_leaves_quillon_answering_and_costs_only_its_cycle(self):
        app, office, notepad = self.saving("word", "stuck.docx", "unsaved", interval="3", hang_ms=12000)
        wait_for(lambda: self.marks(app, "save-cycle") >= 1, 6, message="a cycle to begin")
        started = time.monotonic()
        # While the program hangs, Quillon's window answers at once and the countdown goes on.
        shown = set()
        while time.monotonic() - started < 8:
            t0 = time.monotonic()
            self.assertEqual(self.wine.send(WM_NULL), "0")
            self.assertLess(time.monotonic() - t0, 5, "Quillon's window answered")
            shown.add(self.control(Id.txtRemaining)["text"])
            time.sleep(0.3)
        self.assertGreaterEqual(len(shown), 3, f"the countdown ran on: {shown}")
        wait_for(lambda: self.marks(app, "save-skipped not-responding") >= 1, 5, message="the cycle to give up")
        self.assertEqual(self.office_state("stuck.docx")["saves"], 0)
        # Once it answers again, a later cycle saves it.
        wait_for(lambda: self.office_state("stuck.docx")["saves"] == 1, 20, message="the save after the hang")
        self.assertEqual(self.office_state("stuck.docx")["keys"], 0)

    def test_the_alerts_are_off_only_for_a_save_and_always_put_back_and_a_slow_save_counts(self):
        # Alerts that cannot be read, a put of "none" refused, their put-back refused twice, and a
        # Save of six seconds, twice the cycle.
        for option, saves in (("alerts-refused", 0), ("put-refused", 0), ("put-back-refused=2", 1),
                              ("save-delay=6000", 1)):
            with self.subTest(option=option):
                self.wine.reset()
                self.saving("excel", "book.xlsx", "unsaved", option)
                wait_for(lambda: self.office_state("book.xlsx")["saves"] == saves and len(self.log_lines()) == saves
                         and self.office_state("book.xlsx")["alerts"] is True, 15, message=f"{saves} save(s)")
                time.sleep(4)
                self.assertEqual(self.office_state("book.xlsx")["saves"], saves, "a Save is made once")
                self.assertEqual(self.office_state("book.xlsx")["alerts_at_save"], None if saves == 0 else False)
                self.assertIs(self.office_state("book.xlsx")["alerts"], True)

    def test_a_never_saved_document_is_kept_as_a_copy_and_left_as_it_is(self):
        # No Save() that would ask for a name in front of the user: Word gives its XML, Excel and
        # PowerPoint write a copy in their own format with their alerts off, LibreOffice stores one
        # with its own filter; the document stays unnamed and changed, its alerts the user's.
        for kind, extension, alerts in (("word", ".xml", -1), ("excel", ".xlsx", True), ("powerpoint", ".pptx", 2),
                                        ("soffice", ".odt", None)):
            with self.subTest(kind=kind):
                self.wine.reset()
                self.saving(kind, "new.doc", "never-saved", "unsaved")
                wait_for(lambda: (self.office_state("new.doc")["copies"] >= 1
                                  and self.office_state("new.doc")["alerts"] == alerts),
                         8, message="a copy, and the alerts put back after it")
                state = self.office_state("new.doc")
                self.assertEqual((state["saves"], state["keys"], state["saved"], state["alerts"]),
                                 (0, 0, False, alerts))
                self.assertEqual(state["filter"], "writer8" if kind == "soffice" else None)
                kept = self.history("未保存的文档", OFFICE_KINDS[kind][2])
                self.assertTrue(kept and all(n.endswith(extension) and b"draft" in data
                                             for n, data in kept.items()), kept)
                self.assertEqual(self.log_lines(), [], "the log lists saves")
                wait_for(lambda: self.wine.trayicons()["icons"][0]["tip"].startswith("自动保存：已在历史版本中保留未命名文档的副本"),
                         5, message="the tip to say it was kept")

    def test_each_save_keeps_the_file_as_it_was_and_the_tray_opens_the_history(self):
        # The file holds the draft; each change of the window's text is saved, the file as it stood
        # kept first, byte for byte, by the file's own extension. Three seconds: a tip stands until
        # the next cycle says there is nothing new.
        app, office, notepad = self.saving("word", "report.docx", interval="3")
        for saves, text in enumerate(("v1", "v2", "v3"), 1):
            self.wine.settext(1, text, hwnd=office)
            wait_for(lambda: self.office_state("report.docx")["saves"] == saves, 10, message=f"save {saves}")
        self.assertEqual(self.document("report.docx"), "v3")
        wait_for(lambda: self.marks(app, "save-skipped nothing-to-save") >= 1, 8, message="a cycle with nothing new")
        kept = self.history("report.docx")
        self.assertEqual(list(kept.values()), [b"draft", b"v1", b"v2"], kept)
        self.assertTrue(all(name.endswith(".docx") for name in kept), kept)
        # The file gone since the last save: saved all the same, nothing kept, and the tip says why.
        self.wine.to_unix("C:\\docs\\report.docx").unlink()
        self.wine.settext(1, "v4", hwnd=office)
        self.expect_tip_without_version("文件不在了")
        self.assertEqual(self.office_state("report.docx")["saves"], 4)
        self.assertEqual(len(self.history("report.docx")), 3)
        self.wine.tray_callback(0x205)
        wait_for(lambda: self.wine.popups(), 5, message="the tray menu")
        self.menu_keys("Down", "Down", "Down", "Return")  # 打开历史版本
        wait_for(lambda: any(w["caption"] == "历史版本" and w["exe"].lower() == "explorer.exe"
                             for w in self.wine.windows()), 10, message="the file browser on the history")

    def test_a_locked_file_keeps_no_version_and_is_saved_all_the_same(self):
        self.saving("word", "locked.docx", "unsaved", "locked", interval="3")
        self.expect_tip_without_version("文件被其他程序锁定")
        wait_for(lambda: self.office_state("locked.docx")["saves"] == 1 and len(self.log_lines()) == 1, 5,
                 message="the save and its line")
        self.assertEqual(self.history("locked.docx"), {})

    def expect_tip_without_version(self, why: str) -> None:
        wait_for(lambda: self.wine.trayicons()["icons"][0]["tip"].endswith(f"（未保留旧版本：{why}）"), 10,
                 message="the tip to say why no version was kept")

if __name__ == "__main__":
    unittest.main()
