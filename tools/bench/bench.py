#!/usr/bin/env python3
"""What Quillon costs while it waits, and at scale: benchmarks under Wine, side by side with
Wine's own notepad in one run.

    tools/bench/bench.py                                   # dist/x64/quillon.exe against notepad
    tools/bench/bench.py --exe before=build/bench/quillon-5fc7654.exe --exe after=dist/x64/quillon.exe
    BENCH_QUICK=1 tools/bench/bench.py ...                 # 10-second idle windows, 2 runs

Every figure is the median of several runs; the programs take turns within each round, so the
load of the machine falls on all of them alike. The 64-bit programs are measured (older commits
are built for 64 bits by build_rev.sh, and some machines run no 32-bit code), notepad is Wine's
64-bit one.

What is measured (see docs/benchmarks.md for the figures):
  start-up       from CreateProcess to the main window shown, and for Quillon to List1 filled
                 (probe launchtime, timed inside Wine)
  memory         VmRSS of the program's Linux process after start-up
  idle CPU       utime+stime ticks of the program's Linux process and of the prefix's wineserver
                 over an idle window: saving off; for Quillon also saving on with a 60-second
                 interval (hidden in the tray, the probe's document window chosen)
  scale          with N visible windows (probe manywindows): 刷新列表 until List1 holds them
                 all, and the longest wait for an answer to WM_NULL meanwhile (probe
                 refreshtime); the tray menu with M programs listed, until it shows (probe
                 notifytime)
  save path      from the "save-cycle" mark Quillon writes with OutputDebugStringA to its
                 "keys-sent" mark (the letter typed) and to "save-confirmed" (the program took
                 it), saving every second into the probe's document window in front
  front          saving from behind the window the user works in (the keylog window): how long
                 the front is away from the user, from "front-taken" to "front-returned", over
                 BENCH_FRONT_SAVES saves; cycles that kept the front, saves, stray letters
  document       the document route: the probe's stand-in for Word saved through its document,
                 from "save-cycle" to "save-confirmed", and how often the front was taken (never)
  large          the same with a 20 MB document whose text changes before every save, so that
                 the file's version is kept before each one (a build before the history keeps
                 none), beside one copy of the file on the same disk

The document window marks its caption while it has changes and is told of a change after every
save, so that there is something to save each time: an untouched document is left alone.

Environment (command-line options win): BENCH_QUICK, BENCH_RUNS, BENCH_IDLE_SECONDS,
BENCH_STARTUP_RUNS, BENCH_WINDOWS, BENCH_MENU_WINDOWS, BENCH_SAVE_CYCLES, BENCH_FRONT_SAVES,
BENCH_ONLY, BENCH_NOTE.
"""

from __future__ import annotations

import argparse
import datetime
import json
import os
import re
import shlex
import shutil
import signal
import statistics
import subprocess
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
os.environ.setdefault("QUILLON_E2E_BITS", "64")  # quillon_app's Id table, without its 32-bit check

from harness import HarnessError, Program, WaitTimeout, WineSession, wait_for  # noqa: E402
from quillon_app import Id  # noqa: E402

NOTEPAD = "C:\\windows\\system32\\notepad.exe"
WM_CANCELMODE = 0x001F
WM_MOUSEMOVE, WM_RBUTTONUP = 0x0200, 0x0205
CLK_TCK = os.sysconf("SC_CLK_TCK")
SECTIONS = ("startup", "idle", "scale", "menu", "save", "front", "document", "large")
LARGE_BYTES = 20_000_000
TRACE = re.compile(r"quillon: (save-cycle|front-taken|keys-sent|save-confirmed|front-returned) t=([0-9.]+)")
DOCUMENT = "C:\\Bench\\doc.txt"  # the probe's document window saves its text here
DOCUMENT_TITLE = "doc.txt - Target"
OFFICE_DOCUMENT = "C:\\Bench\\report.docx"  # the stand-in for Word saves its text here
OFFICE_TITLE = "report.docx - Word"
CHANGED = 0x8016  # WM_APP+22: the document window, or the stand-in, holds a change now


def log(msg: str) -> None:
    print(f"[bench {time.strftime('%H:%M:%S')}] {msg}", file=sys.stderr, flush=True)


# ------------------------------------------------------------------------------------------
# Linux processes of the session's Wine prefix


def _prefix_processes(prefix: Path) -> list[tuple[int, list[str]]]:
    """(pid, argv) of every Linux process that runs with WINEPREFIX=prefix."""
    mark = f"WINEPREFIX={prefix}".encode()
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            env = Path(f"/proc/{entry}/environ").read_bytes().split(b"\0")
            argv = Path(f"/proc/{entry}/cmdline").read_bytes().split(b"\0")
        except OSError:
            continue
        if mark in env:
            found.append((int(entry), [a.decode("utf-8", "replace") for a in argv]))
    return found


def linux_pid(prefix: Path, exe: str, timeout: float = 10) -> int:
    """The Linux process of a Windows program: Wine puts the program's Windows path first on its
    command line."""
    want = exe.lower()

    def find():
        for pid, argv in _prefix_processes(prefix):
            if argv and argv[0].lower() == want:
                return pid
        return None

    return wait_for(find, timeout, 0.1, message=f"the Linux process of {exe}")


def wineserver_pid(prefix: Path) -> int:
    for pid, argv in _prefix_processes(prefix):
        if argv and Path(argv[0]).name.startswith("wineserver"):
            return pid
    raise HarnessError(f"no wineserver for {prefix}")


def ticks(pid: int) -> int:
    """utime + stime of a process (all its threads), in clock ticks."""
    rest = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return int(rest[11]) + int(rest[12])


def rss_kib(pid: int) -> int:
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    raise HarnessError(f"no VmRSS for {pid}")


def wait_exit(pid: int, timeout: float) -> bool:
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if not Path(f"/proc/{pid}").exists():
            return True
        time.sleep(0.1)
    return False


# ------------------------------------------------------------------------------------------
# Programs under test


@dataclass
class Subject:
    label: str
    source: Path | None  # None: Wine's notepad
    exe: str = NOTEPAD  # Windows path in the prefix
    samples: dict[str, list[float]] = field(default_factory=dict)

    @property
    def is_notepad(self) -> bool:
        return self.source is None

    @property
    def cls(self) -> str:
        return "Notepad" if self.is_notepad else "frmMain"

    def add(self, measure: str, value: float) -> None:
        self.samples.setdefault(measure, []).append(value)

    def median(self, measure: str) -> float | None:
        values = self.samples.get(measure)
        return statistics.median(values) if values else None


@dataclass
class Running:
    subject: Subject
    pid: int  # Linux pid
    shown_ms: float
    filled_ms: float


class Bench:
    def __init__(self, wine: WineSession, subjects: list[Subject], opts: argparse.Namespace):
        self.wine = wine
        self.subjects = subjects
        self.quillons = [s for s in subjects if not s.is_notepad]
        self.opts = opts
        self.keylog_hwnd: int | None = None
        self.document_hwnd: int | None = None

    # -- helpers ---------------------------------------------------------------------------

    def start(self, s: Subject, timeout_ms: int = 60000) -> Running:
        """Starts a program through the probe, which times it from CreateProcess."""
        if not s.is_notepad:
            self.wine.delete_settings()  # every start from the same, default settings
        args = ["launchtime", s.exe, s.cls, 0 if s.is_notepad else int(Id.List1), timeout_ms]
        # From the 64-bit probe: a 32-bit one would start the 32-bit notepad (Wine redirects
        # system32 to syswow64 for a 32-bit process) and compare the 64-bit Quillon with it.
        r = json.loads(self.wine.probe(*args, bits=64, timeout=timeout_ms / 1000 + 30))
        return Running(s, linux_pid(self.wine.prefix, s.exe), r["shown_ms"], r["filled_ms"])

    def stop(self, run: Running) -> None:
        try:
            if run.subject.is_notepad:
                self.wine.close("Notepad", post=True)
            else:
                if self.wine.dump("frmMain").control(Id.optOn)["check"] == 1:
                    self.wine.click(Id.optOff)
                self.wine.click(Id.XPButton1, post=True)
        except HarnessError as e:
            log(f"closing {run.subject.label}: {e}")
        if not wait_exit(run.pid, 15):
            log(f"{run.subject.label} did not end; killing Linux pid {run.pid}")
            os.kill(run.pid, signal.SIGKILL)
            wait_exit(run.pid, 10)

    def select_document(self, title: str) -> None:
        items = self.wine.dump("frmMain").control(Id.List1)["items"]
        index = next((i for i, t in enumerate(items) if t.lstrip("*").startswith(title)), None)
        if index is None:
            raise HarnessError(f"{title} is not listed: {items[:10]}")
        self.wine.select(Id.List1, index)

    def switch_on(self, seconds: int, title: str = DOCUMENT_TITLE) -> None:
        """Chooses the document window, sets the interval in 秒 and switches saving on."""
        self.select_document(title)
        self.wine.select(Id.cboTime, 0)
        self.wine.settext(Id.txtInterval, str(seconds))
        self.wine.click(Id.cmdSet)
        wait_for(lambda: self.wine.dump("frmMain").control(Id.optOn)["enabled"], 10, message="optOn available")
        self.wine.click(Id.optOn)
        wait_for(lambda: not self.wine.dump("frmMain")["visible"], 10, message="Quillon to hide to the tray")

    def idle_window(self, pid: int) -> tuple[int, int, int]:
        """Ticks of the program, the wineserver and explorer over the idle window."""
        server = wineserver_pid(self.wine.prefix)
        explorer = linux_pid(self.wine.prefix, "C:\\windows\\system32\\explorer.exe")
        before = (ticks(pid), ticks(server), ticks(explorer))
        time.sleep(self.opts.idle_seconds)
        after = (ticks(pid), ticks(server), ticks(explorer))
        return tuple(a - b for a, b in zip(after, before))

    def rotated(self, items: list, round_no: int) -> list:
        k = round_no % len(items)
        return items[k:] + items[:k]

    def crowd(self, n: int):
        """probe manywindows n, running until killed."""
        started = time.monotonic()
        prog = self.wine.launch(self.wine.probe_path(64), "manywindows", n)
        wait_for(lambda: "ready" in prog.output() or (not prog.alive() and prog.output() + "!"), 600, 0.5,
                 message=f"{n} windows")
        if not prog.alive():
            raise HarnessError(f"manywindows {n} ended: {prog.output()}")
        log(f"{n} windows up in {time.monotonic() - started:.1f} s")
        return prog

    # -- sections --------------------------------------------------------------------------

    def startup_and_idle(self) -> None:
        do_idle = "idle" in self.opts.only
        do_startup = "startup" in self.opts.only
        rounds = max(self.opts.runs if do_idle else 0, self.opts.startup_runs if do_startup else 0)
        for r in range(rounds):
            idle = do_idle and r < self.opts.runs
            for s in self.rotated(self.subjects, r):
                log(f"round {r + 1}/{rounds}: {s.label}{' (with idle windows)' if idle else ''}")
                run = self.start(s)
                try:
                    s.add("shown_ms", run.shown_ms)
                    if not s.is_notepad:
                        s.add("filled_ms", run.filled_ms)
                    time.sleep(self.opts.settle)
                    s.add("rss_mib", rss_kib(run.pid) / 1024)
                    if not idle:
                        continue
                    prog, server, explorer = self.idle_window(run.pid)
                    s.add("idle_prog", prog)
                    s.add("idle_total", prog + server)
                    s.add("idle_explorer", explorer)
                    if s.is_notepad:
                        continue
                    # Saving off, the window hidden in the tray as users keep it.
                    self.wine.minimize()
                    time.sleep(2)
                    prog, server, explorer = self.idle_window(run.pid)
                    s.add("hidden_prog", prog)
                    s.add("hidden_total", prog + server)
                    self.switch_on(60)
                    time.sleep(2)
                    prog, server, explorer = self.idle_window(run.pid)
                    s.add("on_prog", prog)
                    s.add("on_total", prog + server)
                    s.add("on_explorer", explorer)
                finally:
                    self.stop(run)

    def scale(self) -> None:
        n = self.opts.windows
        crowd = self.crowd(n)
        try:
            for r in range(self.opts.runs):
                for s in self.rotated(self.quillons, r):
                    log(f"refresh with {n} windows, round {r + 1}/{self.opts.runs}: {s.label}")
                    run = self.start(s, timeout_ms=300000)
                    try:
                        out = self.wine.probe("--class", "frmMain", "refreshtime", int(Id.Command1), int(Id.List1),
                                              n, 300000, timeout=400)
                        res = json.loads(out)
                        s.add("refresh_ms", res["filled_ms"])
                        s.add("refresh_net_ms", res["filled_ms"] - 1000)
                        s.add("refresh_handler_ms", res["handler_ms"])
                        s.add("refresh_stall_ms", res["longest_stall_ms"])
                        s.add("refresh_count", res["count"])
                    finally:
                        self.stop(run)
        finally:
            crowd.kill()

    def menu(self) -> None:
        n = self.opts.menu_windows
        crowd = self.crowd(n)
        try:
            for s in self.quillons:
                log(f"tray menu with {n} programs: {s.label}")
                run = self.start(s, timeout_ms=300000)
                try:
                    count = self.wine.dump("frmMain").control(Id.List1)["count"]
                    s.add("menu_listed", count)
                    for _ in range(self.opts.runs):
                        res = json.loads(self.wine.probe("--class", "frmMain", "notifytime", WM_MOUSEMOVE, 1,
                                                         WM_RBUTTONUP, "#32768", 30000, timeout=60))
                        s.add("menu_ms", res["shown_ms"])
                        self.wine.key("Escape")
                        try:
                            self.wine.wait_gone("#32768", 5)
                        except WaitTimeout:
                            self.wine.post(WM_CANCELMODE, cls="frmMain")
                            self.wine.wait_gone("#32768", 5)
                finally:
                    self.stop(run)
        finally:
            crowd.kill()

    def launch_traced(self, s: Subject) -> Program:
        """Starts the program with its timing marks on its output: Wine 8 reports
        OutputDebugString on the warn+seh channel (once from OutputDebugStringA, once from the
        exception dispatch), older Wines on +debugstr."""
        self.wine.delete_settings()
        saved = self.wine.env.get("WINEDEBUG", "")
        self.wine.env["WINEDEBUG"] = "-all,warn+seh,+debugstr"
        try:
            prog = self.wine.launch(s.exe, wait_class="frmMain")
        finally:
            self.wine.env["WINEDEBUG"] = saved
        wait_for(lambda: self.wine.dump("frmMain").control(Id.List1)["count"] > 0, 10, message="List1 to be filled")
        return prog

    @staticmethod
    def marks(prog: Program) -> list[tuple[str, float]]:
        found: list[tuple[str, float]] = []
        for m in TRACE.finditer(prog.output()):
            mark = (m[1], float(m[2]))
            if mark not in found[-2:]:  # the same mark reported twice
                found.append(mark)
        return found

    @classmethod
    def count(cls, prog: Program, kind: str) -> int:
        """How many `kind` marks the program has written so far."""
        return sum(1 for k, _ in cls.marks(prog) if k == kind)

    def stop_traced(self, prog: Program) -> None:
        try:
            self.wine.click(Id.optOff)
            self.wine.click(Id.XPButton1, post=True)
            prog.wait(15)
        except (HarnessError, AssertionError):
            prog.kill()

    def document_text(self) -> str:
        return next(c["text"] for c in self.wine.dump(self.document_hwnd).controls if c["class"].lower() == "edit")

    def document_saves(self) -> int:
        """How often the document window saved, as its caption counts."""
        caption = next((w["caption"] for w in self.wine.windows() if w["hwnd"] == self.document_hwnd), "")
        m = re.search(r"\[saves: (\d+)\]", caption)
        return int(m[1]) if m else 0

    def changing(self, hwnd: int, prog: Program, done, timeout: float, message: str, text: bool = False) -> None:
        """Tells the window of a change after every save until `done()`: a document the user keeps
        changing between the saves, without a key or the front taken from anyone (`text`: a new text
        each time, so that the file differs at every save). (A window that marks its caption is seen
        to drop the mark at the save, before the next change.)"""
        deadline = time.monotonic() + timeout
        saves = -1
        while not done():
            if time.monotonic() > deadline:
                raise WaitTimeout(f"timed out after {timeout:g} s waiting for {message}")
            confirmed = self.count(prog, "save-confirmed")
            if confirmed != saves:
                saves = confirmed
                if text:
                    self.wine.settext(1, f"report {saves}", hwnd=hwnd)
                else:
                    self.wine.post(CHANGED, hwnd=hwnd)
            time.sleep(0.2)

    def save_path(self) -> None:
        for s in self.quillons:
            log(f"save path, {self.opts.save_cycles} cycles: {s.label}")
            prog = self.launch_traced(s)
            try:
                self.wine.activate(self.document_hwnd)
                self.wine.post(CHANGED, hwnd=self.document_hwnd)
                self.switch_on(1)
                try:
                    wait_for(lambda: self.marks(prog), 10, 0.5, message="the first timing mark")
                except WaitTimeout:
                    log(f"{s.label} writes no timing marks (a build without them?)")
                    continue
                self.changing(self.document_hwnd, prog,
                              lambda: self.count(prog, "keys-sent") >= self.opts.save_cycles,
                              self.opts.save_cycles * 3 + 15, "the save cycles")
                time.sleep(0.5)  # the last save's confirmation
                start = None
                for kind, t in self.marks(prog):
                    if kind == "save-cycle":
                        start = t
                    elif start is not None and kind in ("keys-sent", "save-confirmed"):
                        s.add("save_ms" if kind == "keys-sent" else "save_confirmed_ms", t - start)
            finally:
                self.stop_traced(prog)

    def front(self) -> None:
        """Saves from behind the keylog window, where the user works (idle): the front is away
        from the user from "front-taken" until "front-returned"; a cycle with no "front-returned"
        before the next one kept it."""
        for s in self.quillons:
            saves = self.opts.front_saves
            log(f"front, {saves} saves from behind: {s.label}")
            self.wine.settext(1, "front", hwnd=self.document_hwnd)
            saves_before = self.document_saves()
            prog = self.launch_traced(s)
            try:
                self.wine.post(CHANGED, hwnd=self.document_hwnd)
                self.switch_on(2)
                self.wine.activate(self.keylog_hwnd)
                self.changing(self.document_hwnd, prog,
                              lambda: self.count(prog, "front-taken") > saves,
                              saves * 4 + 30, f"{saves} cycles from behind")
                marks = self.marks(prog)
                taken = [i for i, (k, _) in enumerate(marks) if k == "front-taken"][:saves]
                away, kept = [], 0
                for n, i in enumerate(taken):
                    end = taken[n + 1] if n + 1 < len(taken) else len(marks)
                    back = next((t for k, t in marks[i:end] if k == "front-returned"), None)
                    if back is None:
                        kept += 1
                    else:
                        away.append(back - marks[i][1])
                for ms in away:
                    s.add("front_ms", ms)
                if away:
                    s.add("front_worst_ms", max(away))
                s.add("front_kept", kept)
                time.sleep(2)
                s.add("front_saved", self.document_saves() - saves_before)
                s.add("front_stray", len(self.document_text()) - len("front"))
            finally:
                self.stop_traced(prog)

    def document_route(self, large: bool = False) -> None:
        """Saves the stand-in for Word from behind the keylog window for a number of cycles: from
        "save-cycle" to "save-confirmed" through its own document, and every "front-taken"
        counted (none when the document is saved through it; a build without the route takes the
        front every cycle and cannot save a window without a File menu). `large`: a 20 MB document
        whose text changes before every save, and the time of one copy of its file."""
        options = (f"fill={LARGE_BYTES}",) if large else ()
        office, office_hwnd = self.wine.open_office("word", OFFICE_DOCUMENT, "report", "unsaved", *options, bits=64)
        key = "large" if large else "document"
        try:
            for s in self.quillons:
                cycles = self.opts.save_cycles
                log(f"{key} route, {cycles} cycles: {s.label}")
                before = self.wine.office_state(OFFICE_DOCUMENT)
                prog = self.launch_traced(s)
                try:
                    self.switch_on(1, OFFICE_TITLE)
                    self.wine.activate(self.keylog_hwnd)
                    self.changing(office_hwnd, prog,
                                  lambda: self.count(prog, "save-cycle") > cycles,
                                  cycles * 3 + 15, f"{cycles} cycles", text=large)
                    start = None
                    for kind, t in self.marks(prog):
                        if kind == "save-cycle":
                            start = t
                        elif kind == "save-confirmed" and start is not None:
                            s.add(f"{key}_ms", t - start)
                            start = None
                    if large:
                        copied = time.monotonic()
                        path = self.wine.to_unix(OFFICE_DOCUMENT)
                        shutil.copyfile(path, f"{path}.copy")
                        s.add("large_copy_ms", (time.monotonic() - copied) * 1000)
                        continue
                    taken = [k for k, _ in self.marks(prog) if k in ("save-cycle", "front-taken")]
                    cycle_marks = [i for i, k in enumerate(taken) if k == "save-cycle"][:cycles + 1]
                    s.add("document_fronts", taken[:cycle_marks[-1]].count("front-taken"))
                    state = self.wine.office_state(OFFICE_DOCUMENT)
                    s.add("document_saved", state["saves"] - before["saves"])
                    s.add("document_keys", state["keys"] - before["keys"])
                finally:
                    self.stop_traced(prog)
        finally:
            office.kill()

    # -- the whole run ---------------------------------------------------------------------

    def run(self) -> None:
        for s in self.quillons:
            folder = f"C:\\Bench\\{s.label}"
            s.exe = self.wine.install_exe(s.source, folder)
        keylog = self.wine.launch(self.wine.probe_path(64), "keylog")
        self.keylog_hwnd = self.wine.wait_window("QuillonKeyLog", program=keylog)
        self.wine.write_file(DOCUMENT, "")
        document = self.wine.launch(self.wine.probe_path(64), "target", DOCUMENT, "marks")
        self.document_hwnd = self.wine.wait_window("QuillonTarget", program=document)
        if {"startup", "idle"} & set(self.opts.only):
            self.startup_and_idle()
        if "save" in self.opts.only:
            self.save_path()
        if "scale" in self.opts.only:
            self.scale()
        if "menu" in self.opts.only:
            self.menu()
        if "front" in self.opts.only:
            self.front()
        if "document" in self.opts.only:
            self.document_route()
        if "large" in self.opts.only:
            self.document_route(large=True)


# ------------------------------------------------------------------------------------------
# Report

ROWS = [
    # key, label, unit format, notepad has it
    ("shown_ms", "Start-up: launch → main window shown (ms)", "{:.0f}", True),
    ("filled_ms", "Start-up: launch → List1 filled (ms; includes the designed 1 s wait)", "{:.0f}", False),
    ("rss_mib", "Resident memory (VmRSS) after start-up (MiB)", "{:.1f}", True),
    ("idle_prog", "Idle CPU, saving off, window on the screen: program (ticks in {idle} s)", "{:.0f}", True),
    ("idle_total", "Idle CPU, saving off, window on the screen: program + wineserver (ticks in {idle} s)", "{:.0f}", True),
    ("idle_explorer", "Idle CPU, saving off, window on the screen: explorer.exe, the tray's host (ticks in {idle} s)", "{:.0f}", True),
    ("hidden_prog", "Idle CPU, saving off, hidden in the tray: program (ticks in {idle} s; vs notepad idle)",
     "{:.0f}", False),
    ("hidden_total", "Idle CPU, saving off, hidden in the tray: program + wineserver (ticks in {idle} s; vs notepad idle)",
     "{:.0f}", False),
    ("on_prog", "Idle CPU, saving on, 60 s interval: program (ticks in {idle} s; vs notepad idle)", "{:.0f}", False),
    ("on_total", "Idle CPU, saving on, 60 s interval: program + wineserver (ticks in {idle} s; vs notepad idle)",
     "{:.0f}", False),
    ("on_explorer", "Idle CPU, saving on: explorer.exe (ticks in {idle} s; vs notepad idle)", "{:.0f}", False),
    ("refresh_ms", "刷新列表 with {windows} windows: click → List1 full (ms)", "{:.0f}", False),
    ("refresh_net_ms", "刷新列表 with {windows} windows: the same minus the designed 1 s wait (ms)", "{:.0f}", False),
    ("refresh_handler_ms", "刷新列表 with {windows} windows: the click's handler alone (ms)", "{:.0f}", False),
    ("refresh_stall_ms", "刷新列表 with {windows} windows: longest wait for WM_NULL (ms)", "{:.0f}", False),
    ("refresh_count", "刷新列表 with {windows} windows: entries in List1", "{:.0f}", False),
    ("menu_ms", "Tray menu with {menu} windows listed: right click → menu shown (ms)", "{:.1f}", False),
    ("menu_listed", "Tray menu: entries in List1 when opened", "{:.0f}", False),
    ("save_ms", "Save path: save-cycle → keys-sent (the letter typed), target in front (ms)", "{:.1f}", False),
    ("save_confirmed_ms", "Save path: save-cycle → save-confirmed (the program took it), target in front (ms)",
     "{:.1f}", False),
    ("front_ms", "Saving from behind: the front away from the user, median (ms)", "{:.0f}", False),
    ("front_worst_ms", "Saving from behind: the front away from the user, worst (ms)", "{:.0f}", False),
    ("front_kept", "Saving from behind: cycles that kept the front (of {front})", "{:.0f}", False),
    ("front_saved", "Saving from behind: saves the document window counted (about {front})", "{:.0f}", False),
    ("front_stray", "Saving from behind: letters typed into the document's text", "{:.0f}", False),
    ("document_ms", "Document route: save-cycle → save-confirmed, the stand-in for Word behind the user's window (ms)",
     "{:.1f}", False),
    ("document_fronts", "Document route: times the front was taken in {cycles} cycles", "{:.0f}", False),
    ("document_saved", "Document route: saves the stand-in counted (about {cycles})", "{:.0f}", False),
    ("document_keys", "Document route: keys that reached the stand-in", "{:.0f}", False),
    ("large_ms", "Document route, a 20 MB document changed before every save: save-cycle → save-confirmed (ms)",
     "{:.1f}", False),
    ("large_copy_ms", "One copy of that 20 MB file on the same disk (ms)", "{:.1f}", False),
]
# Measures for which a ratio to notepad idle is meaningful though notepad has no such figure.
VS_NOTEPAD = {"on_prog": "idle_prog", "on_total": "idle_total", "on_explorer": "idle_explorer",
              "hidden_prog": "idle_prog", "hidden_total": "idle_total"}
NO_RATIO = {"refresh_count", "menu_listed", "front_kept", "front_saved", "front_stray", "document_fronts",
            "document_saved", "document_keys"}


def ratio(a: float | None, b: float | None) -> str:
    if a is None or b is None:
        return "—"
    if b == 0:
        return "∞" if a > 0 else "—"
    return f"×{a / b:.2f}"


def table(subjects: list[Subject], opts: argparse.Namespace) -> str:
    notepad = subjects[0]
    quillons = subjects[1:]
    head = ["Measure", notepad.label + " (baseline)"] + [q.label for q in quillons]
    head += [f"{q.label} ÷ notepad" for q in quillons]
    if len(quillons) >= 2:
        head.append(f"{quillons[-1].label} ÷ {quillons[0].label}")
    lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    for key, label, fmt, notepad_has in ROWS:
        values = [q.median(key) for q in quillons]
        if all(v is None for v in values) and notepad.median(key) is None:
            continue
        label = label.format(idle=opts.idle_seconds, windows=opts.windows, menu=opts.menu_windows,
                             front=opts.front_saves, cycles=opts.save_cycles)
        n = notepad.median(key) if notepad_has else None
        base = notepad.median(VS_NOTEPAD[key]) if key in VS_NOTEPAD else n
        cell = (lambda v: "n/a" if v is None else fmt.format(v))
        row = [label, cell(n) if notepad_has else "—"] + [cell(v) for v in values]
        row += ["—" if key in NO_RATIO else ratio(v, base) for v in values]
        if len(quillons) >= 2:
            row.append("—" if key in NO_RATIO else ratio(values[-1], values[0]))
        lines.append("| " + " | ".join(row) + " |")
    return "\n".join(lines)


def samples_text(subjects: list[Subject]) -> str:
    out = []
    for s in subjects:
        for key, values in s.samples.items():
            out.append(f"- {s.label} `{key}`: " + ", ".join(f"{v:.1f}" if isinstance(v, float) else str(v)
                                                          for v in values))
    return "\n".join(out)


def machine() -> dict[str, str]:
    cpu = next((line.split(":", 1)[1].strip() for line in Path("/proc/cpuinfo").read_text().splitlines()
                if line.startswith("model name")), "unknown")
    return {"nproc": str(os.cpu_count()), "cpu": cpu}


def load() -> str:
    return " ".join(Path("/proc/loadavg").read_text().split()[:3])


def report(subjects: list[Subject], opts: argparse.Namespace, info: dict[str, str]) -> str:
    quick = " (quick run)" if opts.quick else ""
    def shown(path: Path) -> str:
        try:
            return str(path.resolve().relative_to(ROOT))
        except ValueError:
            return str(path)

    def origin(path: Path) -> str:
        m = re.fullmatch(r"quillon-(\w+)\.exe", path.name)
        if m:
            return f" (commit {m[1]}, built by `tools/bench/build_rev.sh`)"
        if shown(path).startswith("dist/"):
            head = subprocess.run(["git", "-C", str(ROOT), "rev-parse", "--short", "HEAD"], stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL, text=True).stdout.strip()
            return f" (this checkout, {head or 'HEAD'})"
        return ""

    builds = "\n".join(f"- **{q.label}**: `{shown(q.source)}`{origin(q.source)}" for q in subjects[1:])
    return f"""# Benchmarks

What Quillon costs while it waits, and at scale, measured under Wine side by side with Wine's own
notepad in one run. Generated by `make bench` (`tools/bench/bench.py`); figures are medians of
{opts.runs} runs ({opts.startup_runs} for start-up and memory){quick}.

The **64-bit** programs are measured (`tools/bench/build_rev.sh` builds an older commit for 64 bits,
and some of the machines this runs on cannot run 32-bit code). Notepad is Wine's 64-bit notepad.

## Last run{quick}

- Date: {info['date']}
- Machine: {info['nproc']} CPUs, {info['cpu']}, {info['wine']}; load average {info['load_before']} at the
  start and {info['load_after']} at the end (a load above the number of CPUs means other work
  competed with the run: expect noise)
- Command: `{info['command']}`
- Wall time: {info['wall']}
{builds}

{info['table']}

Ratios are to notepad's figure of the same row; the saving-on rows are compared with notepad
idle. "∞" means notepad used no measurable CPU (under one tick) in the same window. One tick is
1/{CLK_TCK} s of CPU time.

## How it is measured

- **Start-up**: `probe launchtime` starts the program with CreateProcess and polls inside Wine
  (every 2 ms) for its visible main window (class `frmMain`, notepad's `Notepad`), then for
  List1 to hold an entry. Quillon fills List1 one second after its first show by design.
- **Memory**: VmRSS of the program's Linux process (found under /proc by its command line, the
  program's Windows path, and by the session's WINEPREFIX), {opts.settle:g} s after start-up.
- **Idle CPU**: utime+stime of the program's Linux process and of the prefix's wineserver over
  {opts.idle_seconds:g} s, the program untouched. Saving off: as started. Saving on: the probe's
  document window (`probe target`, a File menu over an edit control) chosen, 60 in 秒,
  开始自动保存; the window hides to the tray, the window starts 2 s later. A window of 60 s or
  more therefore includes one save cycle into the document window.
  explorer.exe (which hosts the tray icons) is reported on its own rows.
- **Scale**: `probe manywindows {opts.windows}` shows {opts.windows} visible bordered windows
  ("bench window 0001" ...). `probe refreshtime` sends 刷新列表's WM_COMMAND and times until
  List1 holds {opts.windows} entries; another thread sends WM_NULL every 50 ms
  (SendMessageTimeout) and keeps the longest wait for the answer. Quillon starts afresh for each
  run. The tray menu: with {opts.menu_windows} windows, `probe notifytime` sends the tray icon's
  right-button callback (as the shell does, SendNotifyMessage) and times until the popup menu
  window (`#32768`) of Quillon's process is visible; Escape closes it between runs.
- **Save path**: Quillon started with `WINEDEBUG=-all,warn+seh,+debugstr` (Wine 8 reports
  OutputDebugString on its `seh` channel), the document window chosen and in front, 1 in 秒,
  saving on; from each "quillon: save-cycle t=…" mark to the following "quillon: keys-sent t=…"
  mark (the save's letter typed; builds before 1.2 typed every key at once then) and to
  "quillon: save-confirmed t=…" (the program took the letter; builds before 1.2 have no such
  mark: n/a) ({opts.save_cycles} cycles; QueryPerformanceCounter).
- **Saving from behind**: the same start, the document window chosen, 2 in 秒, saving on; then
  the keylog window is activated through X and left alone, as a user who works there and pauses.
  For {opts.front_saves} cycles, the time from "front-taken" to "front-returned"; a cycle without
  "front-returned" before the next "front-taken" kept the front. The document window counts its
  saves in its caption, and any letter that went into its text shows as a longer text.
- **Document route**: the probe's stand-in for Word (`probe office word`, 64-bit), chosen, 1 in
  秒, saving on, the keylog window in front, for {opts.save_cycles} cycles; from each "save-cycle"
  mark to the following "save-confirmed", and every "front-taken" counted. The stand-in counts its
  saves and the keys that reached it. (Builds before the document route go the keys' way, which
  finds no File menu in the stand-in.)
- **A large document**: the same with the stand-in writing 20 MB (`fill=20000000`), its text set
  anew after every save, so that the file before each save differs from the last version kept and
  is copied into the history first; and, for the scale of it, one copy of that file on the same
  disk by the benchmark itself (Python's `shutil.copyfile`). The copy is made on a document worker,
  off the window's thread; the route waits for it (for up to 3 s) before it asks for the Save.
- In the save sections the document is told of a change (`WM_APP+22`) after every save, so that
  every cycle has something to save; the document window marks its caption with "*" meanwhile.

## Samples

{samples_text(subjects)}
"""


# ------------------------------------------------------------------------------------------


def env_num(name: str, default: float) -> float:
    v = os.environ.get(name, "")
    return float(v) if v.strip() else default


def parse_args(argv: list[str]) -> argparse.Namespace:
    quick = os.environ.get("BENCH_QUICK", "") not in ("", "0")
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--exe", action="append", default=[], metavar="LABEL=PATH",
                   help="a 64-bit Quillon build to measure (repeatable; default quillon=dist/x64/quillon.exe)")
    p.add_argument("--quick", action="store_true", default=quick,
                   help="10-second idle windows and 2 runs (BENCH_QUICK=1)")
    p.add_argument("--runs", type=int, default=None, help="runs per measure (BENCH_RUNS, default 3)")
    p.add_argument("--startup-runs", type=int, default=None,
                   help="runs of start-up and memory (BENCH_STARTUP_RUNS, default 5)")
    p.add_argument("--idle-seconds", type=float, default=None,
                   help="length of an idle window (BENCH_IDLE_SECONDS, default 60)")
    p.add_argument("--windows", type=int, default=int(env_num("BENCH_WINDOWS", 1000)),
                   help="windows for 刷新列表 (BENCH_WINDOWS)")
    p.add_argument("--menu-windows", type=int, default=int(env_num("BENCH_MENU_WINDOWS", 200)),
                   help="windows for the tray menu (BENCH_MENU_WINDOWS)")
    p.add_argument("--save-cycles", type=int, default=None, help="save cycles timed (BENCH_SAVE_CYCLES, default 8)")
    p.add_argument("--front-saves", type=int, default=None,
                   help="saves from behind timed (BENCH_FRONT_SAVES, default 20)")
    p.add_argument("--settle", type=float, default=2.0, help="seconds after start-up before memory and idle")
    p.add_argument("--only", default=os.environ.get("BENCH_ONLY", ",".join(SECTIONS)),
                   help=f"comma-separated sections: {','.join(SECTIONS)} (BENCH_ONLY)")
    p.add_argument("--out", default=str(ROOT / "docs" / "benchmarks.md"), help="the Markdown report ('' for none)")
    p.add_argument("--note", default=os.environ.get("BENCH_NOTE", ""), help="a line added under the table")
    o = p.parse_args(argv)
    o.runs = o.runs or int(env_num("BENCH_RUNS", 2 if o.quick else 3))
    o.startup_runs = o.startup_runs or int(env_num("BENCH_STARTUP_RUNS", 2 if o.quick else 5))
    o.idle_seconds = o.idle_seconds or env_num("BENCH_IDLE_SECONDS", 10 if o.quick else 60)
    o.save_cycles = o.save_cycles or int(env_num("BENCH_SAVE_CYCLES", 4 if o.quick else 8))
    o.front_saves = o.front_saves or int(env_num("BENCH_FRONT_SAVES", 6 if o.quick else 20))
    o.only = [x.strip() for x in o.only.split(",") if x.strip()]
    bad = [x for x in o.only if x not in SECTIONS]
    if bad:
        p.error(f"unknown sections {bad}")
    if not o.exe:
        o.exe = ["quillon=dist/x64/quillon.exe"]
    return o


def main(argv: list[str]) -> int:
    opts = parse_args(argv)
    subjects = [Subject("notepad", None)]
    for given in opts.exe:
        label, sep, path = given.partition("=")
        if not sep or not re.fullmatch(r"[A-Za-z0-9_.-]+", label):
            sys.exit(f"--exe wants LABEL=PATH with a plain label, not {given!r}")
        source = (ROOT / path) if not os.path.isabs(path) else Path(path)
        if not source.is_file():
            sys.exit(f"no such program: {source}")
        from harness import pe_bits
        if pe_bits(source) != 64:
            sys.exit(f"{source} is not a 64-bit Windows program (this machine runs only the 64-bit builds)")
        subjects.append(Subject(label, source))

    bench_vars = sorted((k, v) for k, v in os.environ.items() if k.startswith("BENCH_"))
    if os.environ.get("MAKELEVEL"):  # make bench [BENCH_...=...]: the arguments come from those
        command = " ".join(["make bench", *(f"{k}={shlex.quote(v)}" for k, v in bench_vars)])
    else:
        command = " ".join([*(f"{k}={shlex.quote(v)}" for k, v in bench_vars), "tools/bench/bench.py",
                            *map(shlex.quote, argv)])
    info = {"date": datetime.datetime.now().astimezone().strftime("%Y-%m-%d %H:%M %Z"), "command": command,
            "load_before": load(), **machine()}
    started = time.monotonic()
    log(f"{command}  (load {info['load_before']})")
    with WineSession() as wine:
        info["wine"] = wine.wine("--version", check=False).stdout.strip() or "Wine (version unknown)"
        bench = Bench(wine, subjects, opts)
        bench.run()
    info["load_after"] = load()
    wall = time.monotonic() - started
    info["wall"] = f"{wall / 60:.1f} min"
    info["table"] = table(subjects, opts) + (f"\n\n{opts.note}" if opts.note else "")
    print(info["table"])
    results = ROOT / "build" / "bench" / "results.json"
    results.parent.mkdir(parents=True, exist_ok=True)
    results.write_text(json.dumps({"info": info, "samples": {s.label: s.samples for s in subjects}}, indent=1,
                                  ensure_ascii=False))
    if opts.out:
        Path(opts.out).write_text(report(subjects, opts, info))
        log(f"wrote {opts.out} and {results}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
