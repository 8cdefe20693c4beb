"""What the end-to-end tests share: which Quillon to run, its control IDs, and a test case base
that starts it in the shared Wine session with chosen settings and drives Wine's notepad as the
program to save."""

from __future__ import annotations

import enum
import os
import re
import shutil
import sys
import unittest
from pathlib import Path

from harness import ROOT, SETTINGS_KEY, Program, ProbeError, runs_32bit_programs, shared_session, wait_for

# QUILLON_E2E_BITS picks the 32-bit release program or the 64-bit one.
BITS = int(os.environ.get("QUILLON_E2E_BITS", "32"))

# A machine whose kernel cannot run 32-bit x86 code cannot run the 32-bit program under Wine:
# its suites end at once with ctest's skip code.
SKIP_RETURN_CODE = 77
if BITS == 32 and not runs_32bit_programs():
    print("skipped: this machine cannot run 32-bit programs under Wine (no 32-bit x86 support in its kernel)")
    sys.exit(SKIP_RETURN_CODE)
EXE = Path(os.environ.get("QUILLON_EXE") or ROOT / "dist" / ("quillon.exe" if BITS == 32 else "x64/quillon.exe"))

# Control IDs: 1000 + tab index.
Id = enum.IntEnum("Id", [(name, 1000 + index) for index, name in enumerate(
    "cmdSet Command1 List1 optOn optOff chkSaveAs chkCurrent txtInterval List2 txtRemaining chkVisible chkSave "
    "cboTime ProgressBar1 lblTimerInterval Label1 cmdKill XPButton1 Label2".split())])

CAPTION = "岚舟自动保存   (Brellon Studios 博客: https://brellon.example.org/)"
INSTALL_DIR = "C:\\Quillon"
LOG_PATH = INSTALL_DIR + "\\quillon.log"
HISTORY = "*/AppData/Local/Quillon/历史版本"  # the user's history, under C:\\users


# Virtual key and scan code of the keys that drive an open tray menu.
MENU_KEYS = {"Escape": (0x1B, 0x01), "Return": (0x0D, 0x1C), "Right": (0x27, 0x4D), "Down": (0x28, 0x50)}
WM_KEYDOWN = 0x0100


class QuillonTestCase(unittest.TestCase):
    """Each test starts from a clean prefix state: no Quillon settings, no programs running."""

    desktop = False

    @classmethod
    def setUpClass(cls) -> None:
        cls.wine = shared_session(desktop=cls.desktop)

    def setUp(self) -> None:
        self.wine.reset()
        for history in self.wine.to_unix("C:\\users").glob(HISTORY):
            shutil.rmtree(history)

    def tearDown(self) -> None:
        outcome = getattr(self, "_outcome", None)
        errors = getattr(getattr(outcome, "result", None), "errors", []) + \
            getattr(getattr(outcome, "result", None), "failures", [])
        if any(test is self for test, _ in errors):
            self.wine.screenshot(f"failed-{BITS}-{self._testMethodName}")

    # -- Quillon ---------------------------------------------------------------------------

    def seed(self, **values: str) -> None:
        for name, data in values.items():
            self.wine.reg_add(SETTINGS_KEY, name, data)

    def start_quillon(self, wait_list: bool = True, traced: bool = False, shown: bool = True) -> Program:
        """Installs and starts Quillon. `traced`: with its timing marks ("quillon: save-cycle", ...)
        in its output, for marks(); `shown` False: a start that goes straight to the tray, which
        shows no window to wait for."""
        exe = self.wine.install_exe(EXE, INSTALL_DIR)
        winedebug = self.wine.env.get("WINEDEBUG", "")
        if traced:
            self.wine.env["WINEDEBUG"] = "-all,warn+debugstr"
        try:
            app = self.wine.launch(exe, wait_class="frmMain" if shown else None)
        finally:
            self.wine.env["WINEDEBUG"] = winedebug
        if not shown:
            wait_for(lambda: self.wine.tray_icon_count() == 1, 15, message="Quillon's tray icon")
        elif wait_list:
            # The program list is filled one tick of tmrWait after the first activation.
            wait_for(lambda: self.dump().control(Id.List1)["count"] > 0, 10, message="List1 to be filled")
        return app

    @staticmethod
    def marks(app: Program, name: str) -> int:
        """How often a traced Quillon (start_quillon(traced=True)) left the mark `name`."""
        return len(re.findall(rf"quillon: {name}\b", app.output()))

    def menu_keys(self, *keys: str) -> None:
        """Key presses for the open tray menu, posted to its owner: the menu's modal loop reads the
        keyboard messages of its thread's queue and acts on the key-down. (Keys typed through X
        reach the menu only while Wine has given its owner the foreground, which depends on the
        steps before, on the pointer's place in a virtual desktop, and for a hidden owner is often
        not the case.)"""
        for name in keys:
            vk, scan = MENU_KEYS[name]
            self.wine.post(WM_KEYDOWN, vk, 1 | scan << 16)

    def dump(self):
        return self.wine.dump("frmMain")

    def control(self, cid: int) -> dict:
        return self.dump().control(cid)

    def settings(self) -> dict[str, str] | None:
        values = self.wine.reg_query(SETTINGS_KEY)
        return None if values is None else {name: v.data for name, v in values.items()}

    def set_interval(self, text: str, unit_index: int = 0) -> None:
        """Picks the unit (0 秒, 1 分), types an interval in it and presses 设置时间."""
        self.wine.select(Id.cboTime, unit_index)
        self.wine.settext(Id.txtInterval, text)
        self.wine.click(Id.cmdSet)

    def select_program(self, title_prefix: str) -> int:
        """Selects the first entry of Id.List1 whose title starts with title_prefix and returns its
        index, once the selection shows it. A refresh that empties the list meanwhile (it is filled
        again a second later) is waited out, and the entry is picked from the list filled again."""
        for _ in range(3):
            items = self.control(Id.List1)["items"]
            index = next((i for i, item in enumerate(items) if item.startswith(title_prefix)), None)
            if index is None and items:
                break
            try:
                if index is not None:
                    self.wine.select(Id.List1, index)
                    lists = self.control(Id.List1)
                    if lists["selected"] == index and lists["items"][index].startswith(title_prefix):
                        return index
            except ProbeError:  # the list was emptied under the selection
                pass
            wait_for(lambda: self.control(Id.List1)["count"] > 0, 5, message="List1 to be filled again")
        self.fail(f"{title_prefix!r} is not listed in Id.List1: {self.control(Id.List1)['items']}")

    def history(self, folder: str, name: str = "") -> dict[str, bytes]:
        """What the user's history keeps in its folders whose names begin with `folder` ("report.docx",
        "未保存的文档"), under names beginning with `name`: {file name: bytes}, oldest first; copies still
        being written left out."""
        kept = {}
        for history in self.wine.to_unix("C:\\users").glob(HISTORY):
            for sub in (s for s in history.iterdir() if s.name.startswith(folder)):
                kept.update({f.name: f.read_bytes() for f in sorted(sub.iterdir())
                             if f.name.startswith(name) and not f.name.startswith(".~")})
        return kept

    def log_lines(self) -> list[str]:
        path = self.wine.to_unix(LOG_PATH)
        if not path.exists():
            return []
        text = path.read_bytes().decode("latin-1")
        self.assertTrue(text == "" or text.endswith("\r\n"), f"log lines end with CR LF: {text!r}")
        return text.split("\r\n")[:-1]

    # -- notepad, the program to save ------------------------------------------------------

    def open_notepad(self, name: str, content: str = "") -> int:
        """Opens C:\\docs\\<name> (written with the content first) in notepad; returns its HWND."""
        path = "C:\\docs\\" + name
        self.wine.write_file(path, content)
        self.wine.launch("notepad", path)
        title = f"{name} - Notepad"
        hwnd = wait_for(lambda: next((w["hwnd"] for w in self.wine.windows() if w["caption"] == title), None),
                        20, message=f"notepad to show {name}")
        return hwnd

    # -- stand-ins for the programs to save through their object models ---------------------

    def open_office(self, kind: str, name: str, content: str = "", *options: str, bits: int | None = None) -> int:
        """Opens C:\\docs\\<name> (written with the content first) in the probe's stand-in of a kind of
        harness.OFFICE_KINDS (options as `probe office` takes them) of the given bitness, Quillon's by
        default; returns its top-level HWND. Post harness.OFFICE_BUSY and the other OFFICE_ messages
        to it to play a busy, hanging or vanishing program."""
        _, hwnd = self.wine.open_office(kind, "C:\\docs\\" + name, content, *options, bits=bits or BITS)
        return hwnd

    def office_state(self, name: str) -> dict:
        """The stand-in's C:\\docs\\<name>.state.json: {"saves", "calls", "rejected", "keys", "saved",
        "alerts_at_save", "alerts"}; HarnessError (wait_for's "not yet") while it cannot be read."""
        return self.wine.office_state("C:\\docs\\" + name)

    def open_target(self, name: str, text: str = "", *options: str, bits: int | None = None) -> int:
        """The probe's document window (`probe target`, options as it takes them: ctrl-s, npp, ...)
        over C:\\docs\\<name> holding `text`, of Quillon's bitness by default; returns its HWND."""
        return self.wine.open_target("C:\\docs\\" + name, text, *options, bits=bits or BITS)[1]

    def target_state(self, name: str) -> dict:
        """The target's C:\\docs\\<name>.state.json (with the editors' options): {"saves", "dialogs",
        "dialog_open", "menus", "keys"}; HarnessError while unreadable."""
        return self.wine.target_state("C:\\docs\\" + name)

    def watch_foreground(self, seconds: float) -> Program:
        """Starts watching the foreground window for `seconds` (probe fgwatch); pass the result to
        foreground_changes()."""
        return self.wine.watch_foreground(seconds, bits=BITS)

    def foreground_changes(self, watch: Program) -> list[dict]:
        """Once the watch has ended: its first sample and every change of the foreground window,
        [{"t": ms, "hwnd", "pid", "class"}, ...]."""
        return self.wine.foreground_changes(watch)

    def document(self, name: str) -> str:
        return self.wine.read_file("C:\\docs\\" + name).decode("latin-1")

    def wait_saved(self, name: str, text: str, lines_before: int, timeout: float = 15) -> list[str]:
        """Waits until C:\\docs\\<name> holds `text` and the log has a line more than
        `lines_before`: the line follows the file by a moment, once Quillon has seen the program
        take the save. Returns the log's lines."""
        wait_for(lambda: self.document(name) == text and len(self.log_lines()) > lines_before, timeout,
                 message=f"{name} saved with {text!r} and logged")
        return self.log_lines()

    def type_into(self, hwnd: int, text: str) -> None:
        """Types into the window as the user would: a key first (Shift, harmless), so that Quillon
        sees someone at the keyboard and does not type its own keys across the text; a save it had
        begun gives the front back at the key, and the window is made sure of again."""
        self.wine.activate(hwnd)
        self.wine.key("shift")
        self.wine.activate(hwnd)
        self.wine.type_text(text)

    def choose_program(self, title: str) -> int:
        """Lists the programs again (刷新列表) and selects the one whose title starts with title;
        returns its index in Id.List1. A click that Quillon takes only later empties the list after
        it was read: the list is read once Quillon has taken the click."""
        if self.wine.click(Id.Command1) == "pending":  # the list as it is now, notepad included
            self.wine.wait_answer()
        wait_for(lambda: any(i.startswith(title) for i in self.control(Id.List1)["items"]), 10,
                 message=f"{title} in List1")
        return self.select_program(title)

    def switch_on(self, title: str, interval: str = "2", log: bool = True, unit_index: int = 0) -> None:
        """Picks the program, sets the interval (in seconds, or in the unit of unit_index) and
        switches saving on."""
        self.choose_program(title)
        if log:
            self.wine.click(Id.chkSave)
        self.set_interval(interval, unit_index)
        wait_for(lambda: self.control(Id.optOn)["enabled"], 5, message="optOn to become available")
        self.wine.click(Id.optOn)
