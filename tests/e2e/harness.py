"""Harness for Quillon's end-to-end tests: Windows programs under Wine on a virtual X display.

A test drives a real program the way a user would and looks at it the way a screen reader
would:

    from harness import WineSession

    with WineSession() as wine:                    # Xvfb + the project's Wine prefix
        exe = wine.install_exe(QUILLON_EXE)        # copy to C:\\Quillon (log beside it)
        app = wine.launch(exe, wait_class="frmMain")
        d = wine.dump()                            # window + controls, by control ID
        wine.click(1005)                           # BM_CLICK, as a mouse click would
        wine.wait_for(lambda: wine.dump().control(1005)["check"] == 1)
        wine.reg_query(SETTINGS_KEY)               # {"Interval": RegValue("REG_SZ", "5"), ...}

Everything Windows-side goes through tests/e2e/probe (probe.exe, see probe.cpp), X input
through xdotool, screenshots through ImageMagick's import. Only the standard library is used.

Display modes (WineSession(desktop=...)):
  desktop=False  (default) every Windows window is an X window of its own on a bare Xvfb. Wine
                 draws the frames itself ("unmanaged"; see managed=). Tray icons appear in
                 winex11's small "Wine System Tray" window. Removing the last tray icon blocks
                 the program about 2 s there (winex11 waits for a window manager to withdraw the
                 tray window); tests that add and remove tray icons often are faster with:
  desktop=True   a Wine virtual desktop with explorer's taskbar and notification area, drawn
                 by Wine into one X window, like a Windows desktop. Keyboard input reaches the
                 foreground window only while the mouse pointer is over it: activate() moves
                 the pointer onto the window's caption; after moving the mouse elsewhere (a
                 click on the tray icon, say), call activate() again before typing.

One prefix (build/wineprefix, made by tools/wineprefix.sh) serves a test run; between tests,
reset() ends the programs and delete_settings() removes Quillon's registry keys (its settings and
what it keeps per user). A session owns
the prefix's wineserver, so sessions of one prefix take turns: a session waits for the lock file
<prefix>.session.lock (held by another test process or tools/run.sh). Sessions of different
prefixes run side by side (ctest runs the 64-bit program's suites in build/wineprefix2); each
has its own Xvfb, and the programs' output goes to build/e2e/logs/<prefix name>/.

Environment:
  QUILLON_PROBE, QUILLON_PROBE64   the 32-/64-bit probe.exe (else build/ and dist/ are searched,
                                   else the probe is compiled into build/e2e/probe<bits>/)
  QUILLON_E2E_DESKTOP=1            make desktop=True the default
  QUILLON_E2E_WINEDEBUG            WINEDEBUG for programs (default -all)
  QUILLON_E2E_KEEP=1               leave Xvfb and wineserver running after the session (debug)
  QUILLON_E2E_LOCK_TIMEOUT         seconds to wait for the prefix to be free (default 900)
  WINEPREFIX                       another prefix than build/wineprefix
"""

from __future__ import annotations

import atexit
import fcntl
import json
import os
import select
import shutil
import subprocess
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path, PureWindowsPath
from typing import Any, Callable, Iterable

ROOT = Path(__file__).resolve().parents[2]
BUILD = ROOT / "build"
ARTIFACTS = BUILD / "e2e"
PROBE_SOURCE = ROOT / "tests" / "e2e" / "probe" / "probe.cpp"

DEFAULT_CLASS = "frmMain"
SETTINGS_KEY = r"HKLM\Software\Brellon Studios\Quillon"
# What Quillon keeps per user: the program it saves, whether it resumes, and its Run value.
USER_KEY = r"HKCU\Software\Brellon Studios\Quillon"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
RUN_VALUE = "Quillon"

WM_CLOSE = 0x0010
WM_COMMAND = 0x0111
WM_SYSCOMMAND = 0x0112
WM_MOUSEMOVE = 0x0200
WM_LBUTTONDBLCLK = 0x0203
WM_RBUTTONUP = 0x0205
SC_MINIMIZE = 0xF020
SC_RESTORE = 0xF120
BST_UNCHECKED, BST_CHECKED, BST_INDETERMINATE = 0, 1, 2

# Runtime control of `probe office` (see probe.cpp), posted to its top-level window.
WM_APP = 0x8000
OFFICE_BUSY = WM_APP + 20             # wParam ms: incoming calls are rejected that long (0: no more)
OFFICE_HANG_NEXT_CALL = WM_APP + 21   # wParam ms: the next call blocks the program that long
OFFICE_CHANGED = WM_APP + 22          # the document changes (Saved false) without typing
OFFICE_DIE_IN_NEXT_CALL = WM_APP + 23  # the next call ends the program (exit code 9)
RPC_E_CALL_REJECTED = "0x80010001"    # an HRESULT as `probe doc` reports it

# Top-level window class, caption suffix and untitled document name of each stand-in.
OFFICE_KINDS = {"word": ("OpusApp", "Word", "Document1"), "excel": ("XLMAIN", "Excel", "Book1"),
                "powerpoint": ("PPTFrameClass", "PowerPoint", "Presentation1"),
                "wps": ("OpusApp", "WPS Writer", "Document1"),
                "soffice": ("SALFRAME", "LibreOffice Writer", "Untitled 1")}
# Where the stand-ins that callers tell by their program file run from: copies of the probe.
OFFICE_PROGRAMS = {"wps": "C:\\wps\\wps.exe", "soffice": "C:\\LibreOffice\\program\\soffice.bin"}
WPS_CLSID = "{5DEE938E-42E3-49CD-B75B-1821BC801F01}"  # the WPS stand-in's application (probe.cpp)


class HarnessError(RuntimeError):
    """The harness could not do what was asked (tool missing, program died, ...)."""


class ProbeError(HarnessError):
    def __init__(self, args: Iterable[str], returncode: int, stderr: str):
        self.args_ = list(args)
        self.returncode = returncode
        self.stderr = stderr.strip()
        super().__init__(f"probe {' '.join(self.args_)} failed ({returncode}): {self.stderr}")


class WaitTimeout(AssertionError):
    """A waited-for condition did not come true in time (a test failure, not an error)."""


def wait_for(predicate: Callable[[], Any], timeout: float = 10.0, interval: float = 0.1,
             message: str = "condition") -> Any:
    """Calls predicate until it returns something true, and returns that.

    HarnessError raised by the predicate (e.g. a window not there yet) counts as "not yet".
    Raises WaitTimeout after timeout seconds.
    """
    deadline = time.monotonic() + timeout
    last_error: Exception | None = None
    while True:
        try:
            value = predicate()
            if value:
                return value
        except HarnessError as e:
            last_error = e
        if time.monotonic() >= deadline:
            extra = f" (last error: {last_error})" if last_error else ""
            raise WaitTimeout(f"timed out after {timeout:g} s waiting for {message}{extra}")
        time.sleep(interval)


# ------------------------------------------------------------------------------------------
# Wine's loaders

_runs_32bit: bool | None = None


def runs_32bit_programs() -> bool:
    """Whether this machine can start Wine's 32-bit loader (its kernel runs 32-bit x86 code)."""
    global _runs_32bit
    if _runs_32bit is None:
        try:
            _runs_32bit = subprocess.run(["/usr/lib/wine/wine", "--version"], stdout=subprocess.DEVNULL,
                                         stderr=subprocess.DEVNULL, timeout=30).returncode == 0
        except (OSError, subprocess.TimeoutExpired):
            _runs_32bit = False
    return _runs_32bit


def wine_path(path: str) -> str:
    """PATH for Wine's tools: where the 32-bit loader cannot start, tools/lib.sh's shim that runs
    Wine through its 64-bit loader goes first."""
    if runs_32bit_programs() or not os.path.exists("/usr/lib/wine/wine64"):
        return path
    shim = BUILD / "wine-shim"
    shim.mkdir(parents=True, exist_ok=True)
    for name in ("wine", "wine-stable"):
        f = shim / name
        f.write_text('#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n')
        f.chmod(0o755)
    return f"{shim}:{path}"


# ------------------------------------------------------------------------------------------
# Probe executables


def pe_bits(path: str | os.PathLike) -> int | None:
    """32 or 64 for a PE executable, None otherwise."""
    try:
        with open(path, "rb") as f:
            head = f.read(4096)
    except OSError:
        return None
    if head[:2] != b"MZ" or len(head) < 64:
        return None
    off = int.from_bytes(head[60:64], "little")
    if off + 6 > len(head) or head[off:off + 4] != b"PE\0\0":
        return None
    machine = int.from_bytes(head[off + 4:off + 6], "little")
    return {0x014C: 32, 0x8664: 64}.get(machine)


def _walk_for(name: str, roots: Iterable[Path]) -> list[Path]:
    found = []
    for root in roots:
        if not root.is_dir():
            continue
        for dirpath, dirnames, filenames in os.walk(root):
            dirnames[:] = [d for d in dirnames if d not in ("drive_c", "dosdevices", "CMakeFiles", ".git")]
            if name in filenames:
                found.append(Path(dirpath) / name)
    return found


def find_probe(bits: int) -> Path | None:
    """The probe.exe of the given bitness: $QUILLON_PROBE / $QUILLON_PROBE64, else the newest one
    under build/ and dist/ (None if there is none, or only ones older than probe.cpp)."""
    env = os.environ.get("QUILLON_PROBE64" if bits == 64 else "QUILLON_PROBE")
    if env:
        if pe_bits(env) != bits:
            raise HarnessError(f"${'QUILLON_PROBE64' if bits == 64 else 'QUILLON_PROBE'}={env} is not a "
                               f"{bits}-bit probe.exe (not built?)")
        return Path(env)
    candidates = [p for p in _walk_for("probe.exe", (BUILD, ROOT / "dist")) if pe_bits(p) == bits]
    if not candidates:
        return None
    newest = max(candidates, key=lambda p: p.stat().st_mtime)
    if PROBE_SOURCE.exists() and newest.stat().st_mtime < PROBE_SOURCE.stat().st_mtime:
        return None
    return newest


def build_probe(bits: int) -> Path:
    """Compiles probe.cpp with MinGW into build/e2e/probe<bits>/probe.exe, with the libraries that
    tests/e2e/probe/CMakeLists.txt links."""
    cxx = {32: "i686-w64-mingw32-g++", 64: "x86_64-w64-mingw32-g++"}[bits]
    if not shutil.which(cxx):
        raise HarnessError(f"no {bits}-bit probe.exe built and no {cxx} to build one")
    out = ARTIFACTS / f"probe{bits}" / "probe.exe"
    out.parent.mkdir(parents=True, exist_ok=True)
    cmd = [cxx, "-std=c++20", "-O2", "-municode", "-static", "-static-libgcc", "-static-libstdc++",
           "-o", str(out), str(PROBE_SOURCE), "-luser32", "-lgdi32", "-lshell32", "-lole32", "-loleaut32",
           "-loleacc", "-luuid"]
    r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if r.returncode != 0:
        raise HarnessError(f"building the probe failed:\n{r.stdout}")
    return out


def ensure_probe(bits: int) -> Path:
    return find_probe(bits) or build_probe(bits)


# ------------------------------------------------------------------------------------------
# Results


@dataclass
class RegValue:
    type: str  # REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE, ...
    data: Any  # str, list[str], int or bytes


class Dump(dict):
    """`probe dump` of a window: the JSON object, plus lookups of its controls by ID."""

    @property
    def controls(self) -> list[dict]:
        return self.get("controls", [])

    def control(self, cid: int) -> dict:
        for c in self.controls:
            if c["id"] == cid:
                return c
        raise KeyError(f"no control with ID {cid} in window {self.get('class')}")

    def has_control(self, cid: int) -> bool:
        return any(c["id"] == cid for c in self.controls)

    @property
    def by_id(self) -> dict[int, dict]:
        return {c["id"]: c for c in self.controls}

    @property
    def focused_control(self) -> int:
        """ID of the control that holds the keyboard focus (the control itself or one inside it,
        such as a combo box's edit field); -1 when the focus is on no control of the window."""
        return self.get("focus_control", -1)

    @property
    def tab_order(self) -> list[int]:
        """Control IDs in Z order (GW_CHILD / GW_HWNDNEXT), which is also the tab order."""
        return [c["id"] for c in self.controls]


class Program:
    """A Windows program started by WineSession.launch()."""

    def __init__(self, session: "WineSession", popen: subprocess.Popen, exe: str, log: Path):
        self.session = session
        self.popen = popen
        self.exe = exe
        self.log = log
        self.hwnd: int | None = None

    @property
    def pid(self) -> int:
        """The Unix pid of the wine process that runs the program."""
        return self.popen.pid

    def alive(self) -> bool:
        return self.popen.poll() is None

    @property
    def returncode(self) -> int | None:
        return self.popen.poll()

    def wait(self, timeout: float = 10.0) -> int:
        """Waits for the program to end; returns its exit code."""
        try:
            return self.popen.wait(timeout)
        except subprocess.TimeoutExpired:
            raise WaitTimeout(f"{self.exe} still running after {timeout:g} s") from None

    def kill(self) -> None:
        if self.alive():
            self.popen.kill()
            try:
                self.popen.wait(10)
            except subprocess.TimeoutExpired:
                pass

    def output(self) -> str:
        """What the program (and Wine) wrote to stdout/stderr so far."""
        try:
            return self.log.read_text(errors="replace")
        except OSError:
            return ""


# ------------------------------------------------------------------------------------------
# Registry export parsing


def _parse_reg_string(s: str) -> str:
    # "..." with \\ and \" escapes
    assert s.startswith('"') and s.endswith('"'), s
    out, i, body = [], 0, s[1:-1]
    while i < len(body):
        c = body[i]
        if c == "\\" and i + 1 < len(body):
            out.append(body[i + 1])
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def _split_reg_line(line: str) -> tuple[str | None, str]:
    """'"name"=data' -> (name, data); '@=data' -> ('', data)."""
    if line.startswith("@="):
        return "", line[2:]
    if not line.startswith('"'):
        return None, ""
    i = 1
    while i < len(line):
        if line[i] == "\\":
            i += 2
            continue
        if line[i] == '"':
            break
        i += 1
    name = _parse_reg_string(line[:i + 1])
    rest = line[i + 1:]
    if not rest.startswith("="):
        return None, ""
    return name, rest[1:]


_HEX_TYPES = {0: "REG_NONE", 1: "REG_SZ", 2: "REG_EXPAND_SZ", 3: "REG_BINARY", 4: "REG_DWORD",
              5: "REG_DWORD_BIG_ENDIAN", 6: "REG_LINK", 7: "REG_MULTI_SZ", 8: "REG_RESOURCE_LIST",
              11: "REG_QWORD"}


def _decode_reg_value(data: str) -> RegValue:
    if data.startswith('"'):
        return RegValue("REG_SZ", _parse_reg_string(data))
    if data.startswith("dword:"):
        return RegValue("REG_DWORD", int(data[6:], 16))
    if data.startswith("hex"):
        kind = 3
        if data.startswith("hex("):
            kind = int(data[4:data.index(")")], 16)
        hexpart = data[data.index(":") + 1:]
        raw = bytes(int(b, 16) for b in hexpart.split(",") if b.strip())
        t = _HEX_TYPES.get(kind, f"REG_TYPE_{kind}")
        if kind in (1, 2):
            return RegValue(t, raw.decode("utf-16-le").rstrip("\0"))
        if kind == 7:
            text = raw.decode("utf-16-le")
            items = text.split("\0")
            while items and items[-1] == "":
                items.pop()
            return RegValue(t, items)
        if kind == 11:
            return RegValue(t, int.from_bytes(raw, "little"))
        if kind == 4:
            return RegValue(t, int.from_bytes(raw, "little"))
        return RegValue(t, raw)
    raise HarnessError(f"cannot parse registry data {data!r}")


def parse_reg_export(text: str) -> dict[str, dict[str, RegValue]]:
    """A .reg file (REGEDIT5) to {key path: {value name ('' = default): RegValue}}."""
    keys: dict[str, dict[str, RegValue]] = {}
    current: dict[str, RegValue] | None = None
    lines = text.replace("\r\n", "\n").split("\n")
    i = 0
    while i < len(lines):
        line = lines[i]
        i += 1
        while line.endswith("\\") and i < len(lines):  # hex data continued on the next line
            line = line[:-1] + lines[i].strip()
            i += 1
        if line.startswith("[") and line.endswith("]"):
            current = keys.setdefault(line[1:-1], {})
            continue
        if current is None or not line:
            continue
        name, data = _split_reg_line(line)
        if name is not None:
            current[name] = _decode_reg_value(data)
    return keys


# ------------------------------------------------------------------------------------------
# The session


def _start_xvfb(size: tuple[int, int], depth: int = 24) -> tuple[subprocess.Popen, str]:
    if not shutil.which("Xvfb"):
        raise HarnessError("Xvfb is not installed (tools/deps.sh)")
    r, w = os.pipe()
    proc = subprocess.Popen(
        ["Xvfb", "-displayfd", str(w), "-screen", "0", f"{size[0]}x{size[1]}x{depth}",
         "-nolisten", "tcp", "-noreset"],
        pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        start_new_session=True)
    os.close(w)
    buf = b""
    deadline = time.monotonic() + 15
    try:
        while not buf.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or proc.poll() is not None:
                proc.kill()
                raise HarnessError("Xvfb did not start")
            ready, _, _ = select.select([r], [], [], left)
            if ready:
                chunk = os.read(r, 64)
                if not chunk:
                    proc.kill()
                    raise HarnessError("Xvfb did not report its display")
                buf += chunk
    finally:
        os.close(r)
    return proc, ":" + buf.decode().strip()


_prefix_checked: set[str] = set()


class WineSession:
    """Xvfb + Wine prefix + wineserver for one or more tests. Use as a context manager, or call
    start() and stop(). See the module documentation for the display modes."""

    def __init__(self, desktop: bool | None = None, size: tuple[int, int] = (1024, 768),
                 managed: bool = False, display: str | None = None, prefix: str | None = None,
                 winedebug: str | None = None):
        if desktop is None:
            desktop = os.environ.get("QUILLON_E2E_DESKTOP", "") not in ("", "0")
        self.desktop = desktop
        self.size = size
        self.managed = managed
        self.prefix = Path(prefix or os.environ.get("WINEPREFIX") or BUILD / "wineprefix").resolve()
        self.winedebug = winedebug or os.environ.get("QUILLON_E2E_WINEDEBUG", "-all")
        self._display = display
        self.display: str | None = None
        self.xvfb: subprocess.Popen | None = None
        self.programs: list[Program] = []
        self.env: dict[str, str] = {}
        self._probes: dict[int, Path] = {}
        self._desktop_xid: int | None = None
        self._started = False
        self._log_counter = 0
        self._lock_file = None
        self._wps_mapped = False

    # -- life cycle ------------------------------------------------------------------------

    def __enter__(self) -> "WineSession":
        self.start()
        return self

    def __exit__(self, *exc) -> None:
        self.stop()

    def start(self) -> "WineSession":
        if self._started:
            return self
        for tool in ("wine", "wineserver", "xdotool", "import"):
            if not shutil.which(tool):
                raise HarnessError(f"{tool} is not installed (tools/deps.sh)")
        ARTIFACTS.mkdir(parents=True, exist_ok=True)
        self._lock()
        try:
            if self._display:
                self.display = self._display
            else:
                self.xvfb, self.display = _start_xvfb(self.size)
            env = dict(os.environ)
            for k in ("WINELOADER", "WINEARCH", "WINESERVER"):
                env.pop(k, None)
            env.update({
                "PATH": wine_path(env.get("PATH", "")),
                "WINEPREFIX": str(self.prefix),
                "DISPLAY": self.display,
                "WINEDEBUG": self.winedebug,
                "LANG": "C.UTF-8",
                "LC_ALL": "C.UTF-8",
            })
            self.env = env
            self._ensure_prefix()
            # A session left behind (another display, another mode) must not be reused.
            self._wineserver("-k")
            self._wineserver("-w", timeout=30)
            self._set_display_mode()
            # Keep the server (and explorer) up between the short-lived probe and reg runs.
            self._wineserver("-p")
            self._started = True
            if self.desktop:
                self._desktop_xid = self.probe_json("desktop")["xid"]
                self.xdotool("windowfocus", "--sync", str(self._desktop_xid), check=False)
        except BaseException:
            self.stop()
            raise
        return self

    def stop(self) -> None:
        keep = os.environ.get("QUILLON_E2E_KEEP", "") not in ("", "0")
        for p in self.programs:
            if not keep:
                p.kill()
        if self.env and not keep:
            self._wineserver("-k")
            self._wineserver("-w", timeout=15)
        if self.xvfb is not None and not keep:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
            self.xvfb = None
        self._started = False
        if self._lock_file is not None:
            self._lock_file.close()  # releases the lock
            self._lock_file = None

    def _lock(self) -> None:
        """One session per prefix at a time: a session restarts the prefix's wineserver, which
        would pull the rug from under another one (parallel test processes, tools/run.sh)."""
        if self._lock_file is not None:
            return
        self.prefix.parent.mkdir(parents=True, exist_ok=True)
        f = open(f"{self.prefix}.session.lock", "w")
        timeout = float(os.environ.get("QUILLON_E2E_LOCK_TIMEOUT", "900"))
        deadline = time.monotonic() + timeout
        while True:
            try:
                fcntl.flock(f, fcntl.LOCK_EX | fcntl.LOCK_NB)
                break
            except BlockingIOError:
                if time.monotonic() >= deadline:
                    f.close()
                    raise HarnessError(f"the Wine prefix {self.prefix} has been in use by another "
                                       f"session (tests, tools/run.sh) for {timeout:g} s")
                time.sleep(0.2)
        self._lock_file = f

    def restart(self) -> None:
        """Ends every Windows process of the prefix and starts a fresh wineserver session (same
        display)."""
        for p in self.programs:
            p.kill()
        self.programs.clear()
        self._wineserver("-k")
        self._wineserver("-w", timeout=30)
        self._wineserver("-p")
        if self.desktop:
            self._desktop_xid = self.probe_json("desktop")["xid"]

    def reset(self, delete_settings: bool = True) -> None:
        """Between tests: ends the programs this session started (restarting the session if
        windows of other programs are left over) and deletes Quillon's settings key."""
        killed = bool(self.programs)
        # A LibreOffice stand-in that did not end by itself leaves its class object registered with
        # Wine's rpcss, which then answers later callers with RPC_S_SERVER_UNAVAILABLE.
        stale = any(p.exe.endswith("soffice.bin") and p.returncode != 0 for p in self.programs)
        for p in self.programs:
            p.kill()
        self.programs.clear()
        leftovers = [w for w in self.windows() if w["exe"].lower() != "explorer.exe"]
        if leftovers or stale:
            self.restart()
        elif killed:
            # The shell drops the tray icons of ended programs within about a second.
            try:
                wait_for(lambda: self.tray_icon_count() == 0, 5, message="tray icons of ended programs to go")
            except WaitTimeout:
                self.restart()
        if delete_settings:
            self.delete_settings()

    def _ensure_prefix(self) -> None:
        key = str(self.prefix)
        if key in _prefix_checked:
            return
        # Output to a file rather than a pipe, which Wine's background processes would inherit.
        with tempfile.TemporaryFile() as out:
            r = subprocess.run([str(ROOT / "tools" / "wineprefix.sh")], env=self.env, stdout=out,
                               stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, timeout=900)
            out.seek(0)
            text = out.read().decode("utf-8", "replace")
        if r.returncode != 0:
            raise HarnessError(f"tools/wineprefix.sh failed:\n{text}")
        _prefix_checked.add(key)

    def _wineserver(self, *args: str, timeout: float = 30) -> None:
        try:
            subprocess.run(["wineserver", *args], env=self.env, timeout=timeout, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            pass

    def _set_display_mode(self) -> None:
        desktop = '"shell"' if self.desktop else "-"
        managed = "-" if (self.desktop or self.managed) else '"N"'
        w, h = self.size
        self.reg_import(
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\n"
            f'"Desktop"={desktop}\n\n'
            "[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\n"
            f'"shell"="{w}x{h}"\n\n'
            "[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"
            f'"Managed"={managed}\n')

    # -- running things --------------------------------------------------------------------

    def wine(self, *args: Any, timeout: float = 60, check: bool = True,
             cwd: str | os.PathLike | None = None) -> subprocess.CompletedProcess:
        """Runs `wine ARGS` to completion; stdout/stderr decoded as UTF-8."""
        cmd = ["wine", *map(str, args)]
        # Output goes to files, not pipes: Windows processes started on the way (explorer for
        # the desktop, services) inherit the descriptors and would hold a pipe open for good.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            try:
                r = subprocess.run(cmd, env=self.env, stdout=out, stderr=err,
                                   stdin=subprocess.DEVNULL, timeout=timeout, cwd=cwd)
            except subprocess.TimeoutExpired:
                raise HarnessError(f"{' '.join(cmd)} did not finish in {timeout:g} s") from None
            out.seek(0)
            err.seek(0)
            r.stdout = out.read().decode("utf-8", "replace")
            r.stderr = err.read().decode("utf-8", "replace")
        if check and r.returncode != 0:
            raise HarnessError(f"{' '.join(cmd)} failed ({r.returncode}): {r.stderr.strip()}")
        return r

    def launch(self, exe: str | os.PathLike, *args: Any, cwd: str | os.PathLike | None = None,
               wait_class: str | None = None, timeout: float = 30) -> Program:
        """Starts a Windows program (a Unix path, or a Windows path such as C:\\Quillon\\q.exe).

        The working directory defaults to the program's folder. With wait_class, waits for a
        visible top-level window of that class and stores its HWND in Program.hwnd.
        """
        if not self._started:
            self.start()
        exe = str(exe)
        unix_exe = self.to_unix(exe) if _is_windows_path(exe) else Path(exe)
        if cwd is None and unix_exe.exists():
            cwd = unix_exe.parent
        self._log_counter += 1
        log = ARTIFACTS / "logs" / self.prefix.name / f"{self._log_counter:03d}-{PureWindowsPath(exe).name}.log"
        log.parent.mkdir(parents=True, exist_ok=True)
        with open(log, "wb") as out:
            popen = subprocess.Popen(["wine", exe, *map(str, args)], env=self.env, cwd=cwd,
                                     stdout=out, stderr=subprocess.STDOUT,
                                     stdin=subprocess.DEVNULL)
        prog = Program(self, popen, exe, log)
        self.programs.append(prog)
        if wait_class:
            prog.hwnd = self.wait_window(wait_class, timeout=timeout, program=prog)
        return prog

    # -- probe -----------------------------------------------------------------------------

    def probe_path(self, bits: int) -> Path:
        if bits == 32 and not runs_32bit_programs():
            bits = 64  # the probe's outside views work from either bitness
        if bits not in self._probes:
            self._probes[bits] = ensure_probe(bits)
        return self._probes[bits]

    def probe(self, *args: Any, bits: int = 32, timeout: float = 30, check: bool = True) -> str:
        """Runs probe.exe with the arguments and returns its output (UTF-8 text).

        A query that must run inside a program of the other bitness (exit code 3) is retried
        with the other probe. A run that failed without a word never reached the probe's own code
        (every failure there says why; seen right after a reset): it is run once more.
        """
        sargs = [str(a) for a in args]
        r = self.wine(self.probe_path(bits), *sargs, timeout=timeout, check=False)
        if r.returncode == 1 and not r.stdout.strip() and not r.stderr.strip():
            time.sleep(0.5)
            r = self.wine(self.probe_path(bits), *sargs, timeout=timeout, check=False)
        if r.returncode == 3:
            r = self.wine(self.probe_path(96 - bits), *sargs, timeout=timeout, check=False)
        if check and r.returncode != 0:
            raise ProbeError(sargs, r.returncode, r.stderr)
        return r.stdout

    def probe_json(self, *args: Any, **kw: Any) -> Any:
        """The probe's answer as JSON. A query that came back without a word (seen right after the
        session was restarted, the probe ending well and its output empty) is asked again."""
        out = self.probe(*args, **kw)
        for _ in range(2):
            if out.strip():
                break
            time.sleep(0.2)
            out = self.probe(*args, **kw)
        try:
            return json.loads(out)
        except json.JSONDecodeError:
            raise HarnessError(f"probe {' '.join(map(str, args))}: not JSON: {out!r}") from None

    def wait_window(self, cls: str = DEFAULT_CLASS, timeout: float = 30,
                    program: Program | None = None) -> int:
        """Waits for a visible top-level window of the class; returns its HWND. Fails early when
        `program` ends first."""
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            step = max(100, min(2000, int(left * 1000)))
            r = self.wine(self.probe_path(32), "wait", cls, step, check=False, timeout=step / 1000 + 30)
            if r.returncode == 0:
                return int(r.stdout.split()[0])
            if program is not None and not program.alive():
                raise HarnessError(f"{program.exe} ended (exit code {program.returncode}) before a "
                                   f"{cls} window appeared; output:\n{program.output()[-2000:]}")
            if time.monotonic() >= deadline:
                raise WaitTimeout(f"no visible {cls} window after {timeout:g} s")

    def wait_gone(self, cls: str = DEFAULT_CLASS, timeout: float = 10) -> None:
        """Waits until no visible window of the class is left."""
        r = self.wine(self.probe_path(32), "gone", cls, int(timeout * 1000), check=False,
                      timeout=timeout + 30)
        if r.returncode != 0:
            raise WaitTimeout(f"a {cls} window is still visible after {timeout:g} s")

    def exists(self, cls: str = DEFAULT_CLASS, visible: bool = True) -> bool:
        return any(w["class"] == cls and (w["visible"] or not visible)
                   for w in self.windows(all=not visible))

    def dump(self, window: str | int = DEFAULT_CLASS) -> Dump:
        return Dump(self.probe_json("dump", window))

    def windows(self, all: bool = False) -> list[dict]:
        return self.probe_json("windows", *(["--all"] if all else []))

    def foreground(self) -> dict:
        return self.probe_json("foreground")

    def _target(self, cls: str | None, hwnd: int | None) -> list[str]:
        if hwnd is not None:
            return ["--hwnd", str(hwnd)]
        return ["--class", cls or DEFAULT_CLASS]

    def click(self, cid: int, cls: str | None = None, hwnd: int | None = None,
              post: bool = False) -> str:
        """BM_CLICK on a button/check box/radio button, like a mouse click. Returns the probe's
        answer: the result, or "pending" when the handler opened a modal loop."""
        return self.probe(*self._target(cls, hwnd), "click", cid, *(["--post"] if post else [])).strip()

    def wait_answer(self, cls: str | None = None, hwnd: int | None = None, timeout: float = 30) -> None:
        """Returns once the window's thread has taken what was sent to it before (it answers a WM_NULL
        sent after it): an action the probe reported "pending" has run by then."""
        self.probe("--action-timeout", int(timeout * 1000), *self._target(cls, hwnd), "send", 0,
                   timeout=timeout + 30)

    def command(self, cid: int, code: int = 0, cls: str | None = None, hwnd: int | None = None) -> str:
        """WM_COMMAND (cid, code) from the control to its parent."""
        return self.probe(*self._target(cls, hwnd), "command", cid, code).strip()

    def settext(self, cid: int, text: str, cls: str | None = None, hwnd: int | None = None) -> None:
        """WM_SETTEXT; a text too long for a command line goes through a file, and is given its time."""
        wait = ["--action-timeout", 2000 + len(text) // 10]
        if len(text) > 8000 or text.startswith("@"):
            path = ARTIFACTS / "settext.txt"
            path.write_text(text, encoding="utf-8")
            text = "@" + self.to_windows(path)
        self.probe(*wait, *self._target(cls, hwnd), "settext", cid, "--", text)

    def gettext(self, cid: int, cls: str | None = None, hwnd: int | None = None) -> str:
        out = self.probe(*self._target(cls, hwnd), "gettext", cid)
        return out[:-1] if out.endswith("\n") else out

    def select(self, cid: int, index: int, cls: str | None = None, hwnd: int | None = None) -> str:
        return self.probe(*self._target(cls, hwnd), "select", cid, index).strip()

    def close(self, cls: str | None = None, hwnd: int | None = None, post: bool = False) -> str:
        return self.probe(*self._target(cls, hwnd), "close", *(["--post"] if post else [])).strip()

    def syscommand(self, command: int, cls: str | None = None, hwnd: int | None = None,
                   post: bool = False) -> str:
        return self.probe(*self._target(cls, hwnd), "syscommand", command,
                          *(["--post"] if post else [])).strip()

    def minimize(self, cls: str | None = None, hwnd: int | None = None) -> str:
        return self.syscommand(SC_MINIMIZE, cls, hwnd)

    def restore(self, cls: str | None = None, hwnd: int | None = None) -> str:
        return self.syscommand(SC_RESTORE, cls, hwnd)

    def notify(self, msg: int | str, wparam: int = 0, lparam: int = 0, cls: str | None = None,
               hwnd: int | None = None) -> None:
        """SendNotifyMessageW to the window (what Wine's shell does for tray callbacks)."""
        self.probe(*self._target(cls, hwnd), "notify", msg, wparam, lparam)

    def tray_callback(self, mouse_msg: int, uid: int = 1, cls: str | None = None) -> None:
        """Imitates the shell: the tray icon's callback message WM_MOUSEMOVE with wParam = uID and
        lParam = the mouse message (WM_LBUTTONDBLCLK, WM_RBUTTONUP, ...)."""
        self.notify(WM_MOUSEMOVE, uid, mouse_msg, cls=cls)

    def send(self, msg: int | str, wparam: int = 0, lparam: int = 0, cls: str | None = None,
             hwnd: int | None = None) -> str:
        return self.probe(*self._target(cls, hwnd), "send", msg, wparam, lparam).strip()

    def post(self, msg: int | str, wparam: int = 0, lparam: int = 0, cls: str | None = None,
             hwnd: int | None = None) -> None:
        self.probe(*self._target(cls, hwnd), "post", msg, wparam, lparam)

    def regmsg(self, name: str) -> int:
        return int(self.probe("regmsg", name).strip())

    def keystate(self) -> dict:
        return self.probe_json("keystate")

    def sysmenu(self, cls: str | None = None, hwnd: int | None = None) -> list[dict]:
        """Items of the window's system menu: [{"id", "text", "checked", "grayed", ...}]."""
        return self.probe_json(*self._target(cls, hwnd), "sysmenu")

    def menubar(self, cls: str | None = None, hwnd: int | None = None) -> list[dict]:
        return self.probe_json(*self._target(cls, hwnd), "menubar")

    def popups(self, cls: str | None = None, hwnd: int | None = None) -> list[dict]:
        """Popup menus of the window's program that are open now, with item rectangles."""
        return self.probe_json(*self._target(cls, hwnd), "popups")

    def fonts(self, cls: str | None = None, hwnd: int | None = None) -> list[dict]:
        return self.probe_json(*self._target(cls, hwnd), "fonts")

    def trayicons(self) -> dict:
        """Notification area: {"mode", "count", "icons": [{"rect", "cx", "cy", "tip"}...]}.
        Counting the icons of the desktop's taskbar, and reading the tips, runs inside explorer,
        which is 64-bit in this prefix: so the 64-bit probe."""
        return self.probe_json("trayicons", bits=64)

    def tray_icon_count(self) -> int:
        return self.trayicons()["count"]

    def tooltips(self) -> list[dict]:
        return self.probe_json("tooltips")

    # -- stand-ins for Word, Excel and editors, and the foreground over time -------------

    def _open_stand_in(self, bits: int, args: tuple, title: str, cls: str | None = None,
                       exe: str | Path | None = None) -> tuple[Program, int]:
        """Starts the probe (or its copy `exe`) with `args` and waits for a new top-level window (of
        class `cls`) whose caption, a leading "*" aside, starts with `title`; returns the program
        and the HWND."""
        def titled() -> set[int]:
            return {w["hwnd"] for w in self.windows()
                    if w["caption"].lstrip("*").startswith(title) and w["class"] == (cls or w["class"])}

        before = titled()
        prog = self.launch(exe or self.probe_path(bits), *args)
        hwnd = wait_for(lambda: next(iter(titled() - before), None) or (None if prog.alive() else "ended"),
                        30, message=f"the probe's {args[0]} to show {title!r}")
        if hwnd == "ended":
            raise HarnessError(f"the probe's {args[0]} ended (exit code {prog.returncode}) before its window "
                               f"showed; output:\n{prog.output()[-2000:]}")
        return prog, hwnd

    def open_office(self, kind: str, path: str, content: str = "", *options: str,
                    bits: int = 32) -> tuple[Program, int]:
        """Writes the document at the Windows path `path` and opens it in the probe's stand-in of the
        given bitness for a kind of OFFICE_KINDS (`probe office`, see probe.cpp, for the options;
        WPS and LibreOffice run as copies named like their programs); waits for its window captioned
        like the real program's ("<name> - Word", "Book1 - Excel") and returns the program and HWND."""
        cls, program, untitled = OFFICE_KINDS[kind]
        self.write_file(path, content)
        self.to_unix(path + ".state.json").unlink(missing_ok=True)
        name = untitled if "never-saved" in options else PureWindowsPath(path).name
        exe = self.probe_path(bits)
        if kind in OFFICE_PROGRAMS:
            exe, copy = OFFICE_PROGRAMS[kind], self.to_unix(OFFICE_PROGRAMS[kind])
            copy.parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(self.probe_path(bits), f"{copy}.new")
            os.replace(f"{copy}.new", copy)  # a copy still running keeps its file
        if kind == "wps" and not self._wps_mapped:  # Wine reads ProgIDs from HKLM's classes only
            for view in (32, 64):
                self.reg_add("HKLM\\Software\\Classes\\KWPS.Application\\CLSID", None, WPS_CLSID, view=view)
            self._wps_mapped = True
        return self._open_stand_in(bits, ("office", kind, path, *options), f"{name} - {program}", cls, exe)

    def open_target(self, path: str, content: str = "", *options: str, bits: int = 32) -> tuple[Program, int]:
        """Writes the document at the Windows path `path` and opens it in the probe's document window
        (`probe target`, see probe.cpp, for the options) of the given bitness; waits for its caption
        ("<name> - Target", "<path> - Notepad++"; untitled=NAME: "NAME - Target")."""
        self.write_file(path, content)
        self.to_unix(path + ".state.json").unlink(missing_ok=True)
        npp = "npp" in options
        name = next((o[9:] for o in options if o.startswith("untitled=")), path if npp else PureWindowsPath(path).name)
        return self._open_stand_in(bits, ("target", path, *options), name + (" - Notepad++" if npp else " - Target"))

    def office_state(self, path: str) -> dict:
        """What the stand-in over the document at `path` reports in <path>.state.json (office: saves,
        calls, rejected, keys, saved, alerts_at_save, alerts; target with the editors' options:
        saves, dialogs, dialog_open, menus, keys). A missing or
        unreadable file raises HarnessError, which wait_for takes as "not yet"."""
        state_path = path + ".state.json"
        try:
            state = json.loads(self.to_unix(state_path).read_text(encoding="utf-8"))
        except (OSError, ValueError) as e:
            raise HarnessError(f"no readable {state_path}: {e}") from None
        if not isinstance(state, dict):
            raise HarnessError(f"{state_path} holds no JSON object")
        return state

    target_state = office_state

    def office_doc(self, action: str, hwnd: int, bits: int = 32, timeout: float = 60) -> dict:
        """`probe doc read|save|save-quiet HWND` from a probe of the given bitness: what a caller
        reads of the document behind a Word or Excel window. "hresult" holds the first failing
        HRESULT ("0x80010001") or None."""
        r = self.wine(self.probe_path(bits), "doc", action, hwnd, timeout=timeout, check=False)
        try:
            return json.loads(r.stdout)
        except ValueError:
            raise ProbeError(["doc", action, str(hwnd)], r.returncode, r.stderr) from None

    def watch_foreground(self, seconds: float, bits: int = 32) -> Program:
        """Starts `probe fgwatch` for `seconds` and returns once it has logged its first sample;
        foreground_changes() gives what it saw."""
        watch = self.launch(self.probe_path(bits), "fgwatch", int(seconds * 1000))
        wait_for(lambda: _foreground_samples(watch) or not watch.alive(), 30,
                 message="the foreground watch to start")
        if not _foreground_samples(watch):
            raise HarnessError(f"probe fgwatch ended at once: {watch.output()[-2000:]}")
        return watch

    def foreground_changes(self, watch: Program, timeout: float = 120) -> list[dict]:
        """Waits for a watch_foreground() to end and returns what it saw: the first sample and
        each change, as {"t": ms since the start, "hwnd", "pid", "class"}."""
        watch.wait(timeout)
        return _foreground_samples(watch)

    # -- registry (32-bit view unless told otherwise) --------------------------------------

    def reg_query(self, key: str, view: int = 32) -> dict[str, RegValue] | None:
        """The values of a key ('' = default value), or None if the key does not exist.
        Read through `reg export`, which keeps every character (reg query prints '?' for
        characters outside the console code page)."""
        keys = self.reg_export(key, view)
        if keys is None:
            return None
        for k, values in keys.items():
            if k.lower() == _full_key(key).lower():
                return values
        return {}

    def reg_subkeys(self, key: str, view: int = 32) -> list[str]:
        keys = self.reg_export(key, view) or {}
        prefix = _full_key(key).lower() + "\\"
        return sorted({k[len(prefix):].split("\\")[0] for k in keys if k.lower().startswith(prefix)})

    def reg_export(self, key: str, view: int = 32) -> dict[str, dict[str, RegValue]] | None:
        fd, tmp = tempfile.mkstemp(suffix=".reg", prefix="e2e-reg-")
        os.close(fd)
        try:
            r = self.wine("reg", "export", key, self.to_windows(tmp), f"/reg:{view}", "/y", check=False)
            if r.returncode != 0:
                return None
            raw = Path(tmp).read_bytes()
        finally:
            os.unlink(tmp)
        text = raw.decode("utf-16") if raw[:2] in (b"\xff\xfe", b"\xfe\xff") else raw.decode("utf-8", "replace")
        return parse_reg_export(text)

    def reg_value(self, key: str, name: str, view: int = 32) -> Any:
        """The data of one value, or None if the key or value does not exist."""
        values = self.reg_query(key, view) or {}
        v = values.get(name)
        return v.data if v else None

    def reg_add(self, key: str, name: str | None, data: Any = "", type: str = "REG_SZ",
                view: int = 32) -> None:
        """Adds or replaces a value (name None: the default value). REG_MULTI_SZ data may be a
        list, REG_BINARY data bytes."""
        if type == "REG_MULTI_SZ" and not isinstance(data, str):
            data = "\\0".join(data)
        elif type == "REG_BINARY" and isinstance(data, (bytes, bytearray)):
            data = data.hex()
        args = ["reg", "add", key, *(["/ve"] if name is None else ["/v", name]), "/t", type,
                "/d", str(data), "/f", f"/reg:{view}"]
        self.wine(*args)

    def reg_delete(self, key: str, name: str | None = None, view: int = 32) -> bool:
        """Deletes a value, or the whole key when name is None. False if it did not exist."""
        args = ["reg", "delete", key, *([] if name is None else ["/v", name]), "/f", f"/reg:{view}"]
        return self.wine(*args, check=False).returncode == 0

    def delete_settings(self) -> None:
        """Quillon's settings, and what it keeps per user: a test starts with neither."""
        self.reg_delete(SETTINGS_KEY)
        self.reg_delete(USER_KEY)
        self.reg_delete(RUN_KEY, RUN_VALUE)

    def reg_import(self, text: str, view: int = 64) -> None:
        """Imports REGEDIT5 text ("Windows Registry Editor Version 5.00" ...)."""
        fd, tmp = tempfile.mkstemp(suffix=".reg", prefix="e2e-reg-")
        with os.fdopen(fd, "wb") as f:
            f.write(b"\xff\xfe" + text.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-16-le"))
        try:
            self.wine("reg", "import", self.to_windows(tmp), f"/reg:{view}")
        finally:
            os.unlink(tmp)

    # -- X input ---------------------------------------------------------------------------

    def xdotool(self, *args: Any, check: bool = True) -> str:
        r = subprocess.run(["xdotool", *map(str, args)], env=self.env, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, text=True, timeout=60)
        if check and r.returncode != 0:
            raise HarnessError(f"xdotool {' '.join(map(str, args))} failed: {r.stderr.strip()}")
        return r.stdout

    def activate(self, window: str | int = DEFAULT_CLASS, timeout: float = 10) -> int:
        """Makes a window the one that gets keyboard input: X focus on its X window (on the
        desktop window in desktop mode), then Windows foreground. In desktop mode the pointer is
        moved onto the window's caption as well. Returns the HWND.

        A window that has just opened, or one whose program has just given the front away, may
        lose it again to X focus events still on their way (Wine then puts the desktop in front):
        the request is made again until the window is in front and (its own X window) a tenth of
        a second later still has the X focus, where keys go (this for up to 2 s), for up to
        `timeout` seconds."""
        d = self.dump(window)
        hwnd = d["hwnd"]
        xid = self._desktop_xid if self.desktop else d.get("xid")
        deadline = time.monotonic() + timeout
        focus_deadline = time.monotonic() + min(timeout, 2)
        while True:
            if xid:
                self.xdotool("windowfocus", "--sync", xid, check=False)
            try:
                self.probe("activate", hwnd)
                if not xid or self.desktop or time.monotonic() >= focus_deadline or self._keeps_x_focus(xid):
                    break
            except ProbeError:
                if time.monotonic() >= deadline or all(w["hwnd"] != hwnd for w in self.windows(all=True)):
                    raise
                time.sleep(0.2)
        if self.desktop:
            r = d["rect"]
            self.mouse_move(r["x"] + r["w"] // 2, r["y"] + min(10, max(r["h"] // 2, 1)))
        return hwnd

    def _keeps_x_focus(self, xid: int) -> bool:
        time.sleep(0.1)
        return self.xdotool("getwindowfocus", check=False).strip() == str(xid)

    def key(self, *keys: str, delay_ms: int = 30) -> None:
        """xdotool key: e.g. key("ctrl+s"), key("Return"), key("F2")."""
        self.xdotool("key", "--delay", delay_ms, *keys)

    def keydown(self, *keys: str) -> None:
        self.xdotool("keydown", *keys)

    def keyup(self, *keys: str) -> None:
        self.xdotool("keyup", *keys)

    def type_text(self, text: str, delay_ms: int = 30) -> None:
        self.xdotool("type", "--delay", delay_ms, "--", text)

    def mouse_move(self, x: int, y: int) -> None:
        self.xdotool("mousemove", "--sync", x, y)

    def click_at(self, x: int, y: int, button: int = 1, double: bool = False) -> None:
        """A real mouse click at screen coordinates (= Windows screen coordinates)."""
        self.mouse_move(x, y)
        if double:
            self.xdotool("click", "--repeat", 2, "--delay", 80, button)
        else:
            self.xdotool("click", button)

    def hover_tray_icon(self, index: int = 0, timeout: float = 5) -> str:
        """Moves the pointer onto a tray icon and returns the tooltip text that appears."""
        icons = self.trayicons()["icons"]
        if index >= len(icons):
            raise HarnessError(f"no tray icon #{index} (there are {len(icons)})")
        icon = icons[index]
        self.mouse_move(icon["cx"] - 1, icon["cy"] - 1)
        self.mouse_move(icon["cx"], icon["cy"])
        tips = wait_for(lambda: [t for t in self.tooltips() if t["text"]], timeout,
                        message="a tooltip to appear")
        return tips[0]["text"]

    # -- screenshots -----------------------------------------------------------------------

    def screenshot(self, name: str = "screen", window: str | int | None = None) -> Path:
        """Saves build/e2e/<name>.png: the whole screen, or the rectangle of one window as it
        is seen on the screen."""
        out = ARTIFACTS / f"{name}.png"
        out.parent.mkdir(parents=True, exist_ok=True)
        cmd = ["import", "-display", self.display, "-window", "root"]
        if window is not None:
            r = self.dump(window)["rect"]
            sw, sh = self.size
            x, y = max(r["x"], 0), max(r["y"], 0)
            w, h = min(r["w"], sw - x), min(r["h"], sh - y)
            cmd += ["-crop", f"{w}x{h}+{x}+{y}", "+repage"]
        r = subprocess.run([*cmd, str(out)], env=self.env, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, text=True, timeout=60)
        if r.returncode != 0:
            raise HarnessError(f"screenshot failed: {r.stderr.strip()}")
        return out

    # -- files in the prefix ---------------------------------------------------------------

    @property
    def c_drive(self) -> Path:
        return self.prefix / "drive_c"

    def to_unix(self, winpath: str) -> Path:
        p = PureWindowsPath(winpath)
        drive = p.drive.upper()
        rest = p.parts[1:]
        if drive == "C:":
            return self.c_drive.joinpath(*rest)
        if drive == "Z:":
            return Path("/").joinpath(*rest)
        raise HarnessError(f"no Unix path for {winpath}")

    def to_windows(self, path: str | os.PathLike) -> str:
        p = Path(path).resolve()
        try:
            rel = p.relative_to(self.c_drive.resolve())
            return "C:\\" + "\\".join(rel.parts)
        except ValueError:
            return "Z:" + str(p).replace("/", "\\")

    def read_file(self, path: str | os.PathLike, encoding: str | None = None) -> bytes | str:
        """Reads a file given by Windows path (C:\\...) or Unix path; text with an encoding."""
        p = self.to_unix(str(path)) if _is_windows_path(str(path)) else Path(path)
        data = p.read_bytes()
        return data.decode(encoding) if encoding else data

    def write_file(self, path: str | os.PathLike, data: bytes | str, encoding: str = "utf-8") -> Path:
        p = self.to_unix(str(path)) if _is_windows_path(str(path)) else Path(path)
        p.parent.mkdir(parents=True, exist_ok=True)
        p.write_bytes(data.encode(encoding) if isinstance(data, str) else data)
        return p

    def install_exe(self, src: str | os.PathLike, folder: str = "C:\\Quillon", clean: bool = True,
                    extra: Iterable[str | os.PathLike] = ()) -> str:
        """Copies a program (and extra files) into a folder of the prefix, emptied first when
        clean; returns the program's Windows path. Its log beside it is then fresh."""
        dest = self.to_unix(folder)
        if clean and dest.exists():
            shutil.rmtree(dest)
        dest.mkdir(parents=True, exist_ok=True)
        for f in (src, *extra):
            shutil.copy2(f, dest / Path(f).name)
        return folder.rstrip("\\") + "\\" + Path(src).name

    # -- waiting ---------------------------------------------------------------------------

    wait_for = staticmethod(wait_for)


def _foreground_samples(watch: Program) -> list[dict]:
    """The lines `probe fgwatch` logged so far (a line still being written is left out)."""
    samples = []
    for line in watch.output().splitlines():
        if line.startswith("{"):
            try:
                sample = json.loads(line)
            except ValueError:
                continue
            if isinstance(sample, dict) and "t" in sample:
                samples.append(sample)
    return samples


def _is_windows_path(s: str) -> bool:
    return len(s) >= 3 and s[0].isalpha() and s[1] == ":" and s[2] in "\\/"


def _full_key(key: str) -> str:
    root, _, rest = key.partition("\\")
    roots = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER", "HKCR": "HKEY_CLASSES_ROOT",
             "HKU": "HKEY_USERS", "HKCC": "HKEY_CURRENT_CONFIG"}
    root = roots.get(root.upper(), root)
    return root + ("\\" + rest if rest else "")


# ------------------------------------------------------------------------------------------
# One session for a whole test process


_shared: WineSession | None = None


def shared_session(**kwargs: Any) -> WineSession:
    """A session shared by all tests of this process, started on first use and stopped when the
    process exits. Call reset() between tests."""
    global _shared
    if _shared is None:
        _shared = WineSession(**kwargs).start()
        atexit.register(_shared.stop)
    return _shared
