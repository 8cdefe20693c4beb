// probe - looks at and drives a running Windows program from the outside, the way a screen
// reader or a UI automation client would: by window class and control ID.
//
// Used by the end-to-end tests (tests/e2e/harness.py) under Wine, and handy by hand:
//
//   wine probe.exe [options] COMMAND [ARGS...]
//
// Text is UTF-8 on the command line and on output; structured output is JSON.
// Exit codes: 0 success, 1 failure (window/control not found, timeout, API error), 2 usage,
// 3 wrong bitness for a query that must run inside the program (see "In-process queries").
// Run "probe help" for the list of commands.

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef WINVER
#define WINVER 0x0A00
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0A00
#endif

#include <windows.h>

#include <commctrl.h>
#include <oleacc.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>
#include <utility>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------------
// Text and output helpers

std::string to_utf8(const std::wstring& w) {
    if (w.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), s.data(), n, nullptr, nullptr);
    return s;
}

std::wstring from_utf8(const std::string& s) {
    if (s.empty())
        return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), w.data(), n);
    return w;
}

// A whole file's bytes ("" when it cannot be read).
std::string read_bytes(const std::wstring& path) {
    std::string content;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
        char buf[4096];
        DWORD got = 0;
        while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got > 0)
            content.append(buf, got);
        CloseHandle(f);
    }
    return content;
}

// Replaces a file's content, through the handle `open` of it when given (the file stays open);
// false when it cannot be written completely.
bool write_bytes(const std::wstring& path, const std::string& data, HANDLE open = INVALID_HANDLE_VALUE) {
    HANDLE f = open != INVALID_HANDLE_VALUE
                   ? open
                   : CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    DWORD done = 0;
    const bool ok = SetFilePointer(f, 0, nullptr, FILE_BEGIN) == 0 &&
                    WriteFile(f, data.data(), (DWORD)data.size(), &done, nullptr) && done == data.size() &&
                    SetEndOfFile(f);
    if (f != open)
        CloseHandle(f);
    return ok;
}

// Writes UTF-8 to stdout: raw bytes to pipes and files, WriteConsoleW to a real console.
void write_out(HANDLE h, const std::string& s) {
    DWORD mode = 0, done = 0;
    if (GetConsoleMode(h, &mode)) {
        std::wstring w = from_utf8(s);
        WriteConsoleW(h, w.data(), (DWORD)w.size(), &done, nullptr);
    } else {
        WriteFile(h, s.data(), (DWORD)s.size(), &done, nullptr);
    }
}

void out(const std::string& s) {
    write_out(GetStdHandle(STD_OUTPUT_HANDLE), s);
}
void outln(const std::string& s) {
    out(s + "\n");
}
void err(const std::string& s) {
    write_out(GetStdHandle(STD_ERROR_HANDLE), "probe: " + s + "\n");
}

std::string hex(unsigned long long v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llx", v);
    return buf;
}

std::string num(long long v) {
    return std::to_string(v);
}

// Minimal JSON writer. Strings are escaped for JSON; wide strings are converted to UTF-8.
class Json {
public:
    Json& obj() { return open('{'); }
    Json& end_obj() { return close('}'); }
    Json& arr() { return open('['); }
    Json& end_arr() { return close(']'); }
    Json& key(const char* k) {
        sep();
        s_ += '"';
        s_ += k;
        s_ += "\":";
        after_key_ = true;
        return *this;
    }
    Json& str(const std::string& v) {
        sep();
        quote(v);
        return *this;
    }
    Json& str(const std::wstring& v) { return str(to_utf8(v)); }
    Json& integer(long long v) { return raw(num(v)); }
    Json& boolean(bool v) { return raw(v ? "true" : "false"); }
    Json& null() { return raw("null"); }
    Json& raw(const std::string& v) {
        sep();
        s_ += v;
        return *this;
    }
    // Shorthands for "key": value.
    Json& kv(const char* k, const std::wstring& v) { return key(k).str(v); }
    Json& kv(const char* k, const std::string& v) { return key(k).str(v); }
    Json& kv(const char* k, const char* v) { return key(k).str(std::string(v)); }
    Json& kv(const char* k, long long v) { return key(k).integer(v); }
    Json& kv(const char* k, long v) { return key(k).integer(v); }
    Json& kv(const char* k, int v) { return key(k).integer(v); }
    Json& kv(const char* k, unsigned v) { return key(k).integer(v); }
    Json& kv(const char* k, unsigned long v) { return key(k).integer((long long)v); }
    Json& kv(const char* k, unsigned long long v) { return key(k).integer((long long)v); }
    Json& kb(const char* k, bool v) { return key(k).boolean(v); }
    const std::string& text() const { return s_; }

private:
    Json& open(char c) {
        sep();
        s_ += c;
        first_.push_back(true);
        return *this;
    }
    Json& close(char c) {
        s_ += c;
        first_.pop_back();
        return *this;
    }
    void sep() {
        if (after_key_) {
            after_key_ = false;
            return;
        }
        if (!first_.empty()) {
            if (!first_.back())
                s_ += ',';
            first_.back() = false;
        }
    }
    void quote(const std::string& v) {
        s_ += '"';
        for (unsigned char c : v) {
            switch (c) {
            case '"':
                s_ += "\\\"";
                break;
            case '\\':
                s_ += "\\\\";
                break;
            case '\n':
                s_ += "\\n";
                break;
            case '\r':
                s_ += "\\r";
                break;
            case '\t':
                s_ += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    s_ += buf;
                } else {
                    s_ += (char)c;
                }
            }
        }
        s_ += '"';
    }
    std::string s_;
    std::vector<bool> first_;
    bool after_key_ = false;
};

// ---------------------------------------------------------------------------------------------
// Options and small parsers

struct Options {
    std::wstring cls = L"frmMain"; // class of the target top-level window
    HWND hwnd = nullptr;           // explicit target window (--hwnd)
    DWORD timeout = 5000;          // ms, for queries sent to the target
    DWORD action_timeout = 2000;   // ms, for clicks and other actions that may open a modal loop
    bool post = false;             // post actions instead of sending them
    bool all = false;              // "windows": include hidden windows
};
Options g_opt;

bool parse_int(const std::wstring& s, long long& v) {
    if (s.empty())
        return false;
    wchar_t* e = nullptr;
    errno = 0;
    if (s[0] == L'-')
        v = std::wcstoll(s.c_str(), &e, 0);
    else
        v = (long long)std::wcstoull(s.c_str(), &e, 0);
    return errno == 0 && e && *e == 0;
}

bool all_digits(const std::wstring& s) {
    if (s.empty())
        return false;
    for (wchar_t c : s)
        if (c < L'0' || c > L'9')
            return false;
    return true;
}

struct NamedValue {
    const wchar_t* name;
    UINT value;
};

const NamedValue kMessages[] = {
    {L"WM_NULL", WM_NULL},
    {L"WM_CLOSE", WM_CLOSE},
    {L"WM_QUIT", WM_QUIT},
    {L"WM_QUERYENDSESSION", WM_QUERYENDSESSION},
    {L"WM_ENDSESSION", WM_ENDSESSION},
    {L"WM_SHOWWINDOW", WM_SHOWWINDOW},
    {L"WM_ACTIVATEAPP", WM_ACTIVATEAPP},
    {L"WM_SETTEXT", WM_SETTEXT},
    {L"WM_KEYDOWN", WM_KEYDOWN},
    {L"WM_KEYUP", WM_KEYUP},
    {L"WM_CHAR", WM_CHAR},
    {L"WM_COMMAND", WM_COMMAND},
    {L"WM_SYSCOMMAND", WM_SYSCOMMAND},
    {L"WM_TIMER", WM_TIMER},
    {L"WM_HOTKEY", WM_HOTKEY},
    {L"WM_MOUSEMOVE", WM_MOUSEMOVE},
    {L"WM_LBUTTONDOWN", WM_LBUTTONDOWN},
    {L"WM_LBUTTONUP", WM_LBUTTONUP},
    {L"WM_LBUTTONDBLCLK", WM_LBUTTONDBLCLK},
    {L"WM_RBUTTONDOWN", WM_RBUTTONDOWN},
    {L"WM_RBUTTONUP", WM_RBUTTONUP},
    {L"WM_RBUTTONDBLCLK", WM_RBUTTONDBLCLK},
    {L"WM_MBUTTONUP", WM_MBUTTONUP},
    {L"WM_USER", WM_USER},
    {L"WM_APP", WM_APP},
    {L"SC_MINIMIZE", SC_MINIMIZE},
    {L"SC_MAXIMIZE", SC_MAXIMIZE},
    {L"SC_RESTORE", SC_RESTORE},
    {L"SC_CLOSE", SC_CLOSE},
    {L"SC_MOVE", SC_MOVE},
    {L"SC_SIZE", SC_SIZE},
    {L"SC_KEYMENU", SC_KEYMENU},
    {L"SC_MOUSEMENU", SC_MOUSEMENU},
};

// A message or parameter: a number (decimal, 0x hex), a WM_/SC_ name from the table above, such
// a name plus a number ("WM_APP+20"), or the name of a registered window message ("TaskbarCreated").
bool parse_value(const std::wstring& s, long long& v, bool allow_registered) {
    if (parse_int(s, v))
        return true;
    for (const auto& m : kMessages) {
        if (_wcsicmp(m.name, s.c_str()) == 0) {
            v = m.value;
            return true;
        }
    }
    const size_t plus = s.find(L'+');
    long long base = 0, offset = 0;
    if (plus != std::wstring::npos && plus > 0 && parse_value(s.substr(0, plus), base, false) &&
        parse_int(s.substr(plus + 1), offset)) {
        v = base + offset;
        return true;
    }
    if (allow_registered && !s.empty()) {
        v = RegisterWindowMessageW(s.c_str());
        return v != 0;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Window helpers

std::wstring class_of(HWND h) {
    wchar_t buf[256] = {};
    GetClassNameW(h, buf, 256);
    return buf;
}

bool send(HWND h, UINT msg, WPARAM w, LPARAM l, LRESULT* res, DWORD timeout) {
    DWORD_PTR r = 0;
    SetLastError(0);
    LRESULT ok = SendMessageTimeoutW(h, msg, w, l, SMTO_NORMAL | SMTO_ABORTIFHUNG, timeout, &r);
    if (res)
        *res = (LRESULT)r;
    return ok != 0;
}

LRESULT query(HWND h, UINT msg, WPARAM w = 0, LPARAM l = 0) {
    LRESULT r = 0;
    send(h, msg, w, l, &r, g_opt.timeout);
    return r;
}

std::wstring text_of(HWND h) {
    LRESULT len = 0;
    if (!send(h, WM_GETTEXTLENGTH, 0, 0, &len, g_opt.timeout) || len < 0)
        return {};
    std::wstring buf((size_t)len + 2, L'\0');
    LRESULT got = 0;
    send(h, WM_GETTEXT, buf.size(), (LPARAM)buf.data(), &got, g_opt.timeout);
    buf.resize(wcsnlen(buf.c_str(), buf.size()));
    return buf;
}

// Text of item i of a list box (LB_GETTEXT) or combo box (CB_GETLBTEXT).
std::wstring item_text(HWND h, UINT len_msg, UINT text_msg, int i) {
    LRESULT len = query(h, len_msg, i);
    if (len < 0)
        return {};
    std::wstring buf((size_t)len + 2, L'\0');
    query(h, text_msg, i, (LPARAM)buf.data());
    buf.resize(wcsnlen(buf.c_str(), buf.size()));
    return buf;
}

DWORD pid_of(HWND h) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    return pid;
}

bool is_64bit_process(HANDLE proc) {
    BOOL wow = FALSE;
    SYSTEM_INFO si;
    GetNativeSystemInfo(&si);
    bool os64 = si.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
                si.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM64;
    if (!os64)
        return false;
    if (!IsWow64Process(proc, &wow))
        return false;
    return !wow;
}

// Bitness of the process that owns a window: 32, 64, or 0 if unknown.
int bits_of(HWND h) {
    HANDLE proc = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid_of(h));
    if (!proc)
        return 0;
    int bits = is_64bit_process(proc) ? 64 : 32;
    CloseHandle(proc);
    return bits;
}

// The X11 window that winex11 created for a top-level window (0 if none / not Wine).
unsigned long long xid_of(HWND h) {
    return (unsigned long long)(ULONG_PTR)GetPropW(h, L"__wine_x11_whole_window");
}

struct FindCtx {
    std::wstring cls;
    bool visible_only;
    std::vector<HWND> found;
};

BOOL CALLBACK find_proc(HWND h, LPARAM lp) {
    auto* c = (FindCtx*)lp;
    if (c->visible_only && !IsWindowVisible(h))
        return TRUE;
    if (_wcsicmp(class_of(h).c_str(), c->cls.c_str()) == 0)
        c->found.push_back(h);
    return TRUE;
}

// All top-level windows of a class, in Z order (topmost first).
std::vector<HWND> find_windows(const std::wstring& cls, bool visible_only) {
    FindCtx c{cls, visible_only, {}};
    EnumWindows(find_proc, (LPARAM)&c);
    return c.found;
}

// Resolves a window given as a decimal HWND or as a class name; prefers a visible window.
HWND resolve(const std::wstring& what) {
    long long v = 0;
    if (all_digits(what) && parse_int(what, v)) {
        HWND h = (HWND)(INT_PTR)v;
        return IsWindow(h) ? h : nullptr;
    }
    auto vis = find_windows(what, true);
    if (!vis.empty())
        return vis.front();
    auto any = find_windows(what, false);
    return any.empty() ? nullptr : any.front();
}

HWND target() {
    if (g_opt.hwnd)
        return IsWindow(g_opt.hwnd) ? g_opt.hwnd : nullptr;
    return resolve(g_opt.cls);
}

HWND need_target() {
    HWND h = target();
    if (!h && g_opt.hwnd)
        err("no window " + num((long long)(ULONG_PTR)g_opt.hwnd));
    else if (!h)
        err("no window of class " + to_utf8(g_opt.cls));
    return h;
}

struct FindControlCtx {
    int id;
    HWND found;
};

BOOL CALLBACK find_control_proc(HWND h, LPARAM lp) {
    auto* c = (FindControlCtx*)lp;
    if (GetDlgCtrlID(h) == c->id) {
        c->found = h;
        return FALSE;
    }
    return TRUE;
}

// Finds a control by ID among the descendants of the main window (direct children first).
HWND find_control(HWND main, int id) {
    if (HWND h = GetDlgItem(main, id))
        return h;
    FindControlCtx c{id, nullptr};
    EnumChildWindows(main, find_control_proc, (LPARAM)&c);
    return c.found;
}

HWND need_control(HWND main, const std::wstring& what) {
    long long id = 0;
    if (!parse_int(what, id)) {
        err("bad control ID: " + to_utf8(what));
        return nullptr;
    }
    HWND h = find_control(main, (int)id);
    if (!h)
        err("no control with ID " + to_utf8(what));
    return h;
}

RECT rect_in_client(HWND child, HWND parent) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, parent, (POINT*)&r, 2);
    return r;
}

UINT dpi_of(HWND h) {
    using Fn = UINT(WINAPI*)(HWND);
    static auto fn = (Fn)(void*)GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
    if (fn) {
        if (UINT d = fn(h))
            return d;
    }
    HDC dc = GetDC(nullptr);
    UINT d = (UINT)GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(nullptr, dc);
    return d;
}

void rect_json(Json& j, const char* k, const RECT& r) {
    j.key(k)
        .obj()
        .kv("x", r.left)
        .kv("y", r.top)
        .kv("w", r.right - r.left)
        .kv("h", r.bottom - r.top)
        .end_obj();
}

std::wstring exe_of_pid(DWORD pid) {
    std::wstring name;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return name;
    PROCESSENTRY32W pe{};
    pe.dwSize = sizeof pe;
    for (BOOL ok = Process32FirstW(snap, &pe); ok; ok = Process32NextW(snap, &pe)) {
        if (pe.th32ProcessID == pid) {
            name = pe.szExeFile;
            break;
        }
    }
    CloseHandle(snap);
    return name;
}

// ---------------------------------------------------------------------------------------------
// dump

const char* button_kind(LONG style) {
    switch (style & BS_TYPEMASK) {
    case BS_PUSHBUTTON:
        return "pushbutton";
    case BS_DEFPUSHBUTTON:
        return "defpushbutton";
    case BS_CHECKBOX:
        return "checkbox";
    case BS_AUTOCHECKBOX:
        return "autocheckbox";
    case BS_RADIOBUTTON:
        return "radiobutton";
    case BS_3STATE:
        return "3state";
    case BS_AUTO3STATE:
        return "auto3state";
    case BS_GROUPBOX:
        return "groupbox";
    case BS_USERBUTTON:
        return "userbutton";
    case BS_AUTORADIOBUTTON:
        return "autoradiobutton";
    case BS_PUSHBOX:
        return "pushbox";
    case BS_OWNERDRAW:
        return "ownerdraw";
    default:
        return "other";
    }
}

void control_json(Json& j, HWND c, int z) {
    std::wstring cls = class_of(c);
    LONG style = GetWindowLongW(c, GWL_STYLE);
    LONG exstyle = GetWindowLongW(c, GWL_EXSTYLE);
    RECT r = rect_in_client(c, GetParent(c));
    RECT client{};
    GetClientRect(GetParent(c), &client);
    RECT inter{};
    j.obj();
    j.kv("id", GetDlgCtrlID(c)).kv("hwnd", (unsigned long long)(ULONG_PTR)c).kv("class", cls).kv("z", z);
    j.kv("text", text_of(c));
    j.kb("visible", (style & WS_VISIBLE) != 0).kb("showing", IsWindowVisible(c) != 0);
    j.kb("enabled", IsWindowEnabled(c) != 0).kb("tabstop", (style & WS_TABSTOP) != 0);
    j.kb("group", (style & WS_GROUP) != 0);
    j.kv("style", hex((unsigned long)style)).kv("exstyle", hex((unsigned long)exstyle));
    j.kv("x", r.left).kv("y", r.top).kv("w", r.right - r.left).kv("h", r.bottom - r.top);
    j.kb("in_client", IntersectRect(&inter, &r, &client) != 0);

    if (_wcsicmp(cls.c_str(), L"Button") == 0) {
        j.kv("button_type", button_kind(style));
        j.kv("check", (long long)query(c, BM_GETCHECK));
    } else if (_wcsicmp(cls.c_str(), L"ListBox") == 0) {
        int n = (int)query(c, LB_GETCOUNT);
        bool multi = (style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0;
        bool has_strings =
            (style & LBS_HASSTRINGS) || !(style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE));
        j.kv("count", n).kb("multi", multi).kv("selected", (long long)query(c, LB_GETCURSEL));
        j.kv("top_index", (long long)query(c, LB_GETTOPINDEX));
        j.key("items").arr();
        for (int i = 0; i < n; ++i) {
            if (has_strings)
                j.str(item_text(c, LB_GETTEXTLEN, LB_GETTEXT, i));
            else
                j.null();
        }
        j.end_arr();
        j.key("itemdata").arr();
        for (int i = 0; i < n; ++i)
            j.integer((long long)query(c, LB_GETITEMDATA, i));
        j.end_arr();
        if (multi) {
            j.key("selection").arr();
            for (int i = 0; i < n; ++i)
                if (query(c, LB_GETSEL, i) > 0)
                    j.integer(i);
            j.end_arr();
        }
    } else if (_wcsicmp(cls.c_str(), L"ComboBox") == 0) {
        int n = (int)query(c, CB_GETCOUNT);
        const char* kind = "simple";
        if ((style & 3) == CBS_DROPDOWN)
            kind = "dropdown";
        else if ((style & 3) == CBS_DROPDOWNLIST)
            kind = "dropdownlist";
        j.kv("combo_type", kind).kv("count", n).kv("selected", (long long)query(c, CB_GETCURSEL));
        j.kb("dropped", query(c, CB_GETDROPPEDSTATE) != 0);
        j.kv("edit_text", text_of(c));
        j.key("items").arr();
        for (int i = 0; i < n; ++i)
            j.str(item_text(c, CB_GETLBTEXTLEN, CB_GETLBTEXT, i));
        j.end_arr();
        j.key("itemdata").arr();
        for (int i = 0; i < n; ++i)
            j.integer((long long)query(c, CB_GETITEMDATA, i));
        j.end_arr();
    } else if (_wcsicmp(cls.c_str(), L"Edit") == 0) {
        DWORD sel = (DWORD)query(c, EM_GETSEL);
        j.kb("readonly", (style & ES_READONLY) != 0).kb("multiline", (style & ES_MULTILINE) != 0);
        j.kb("password", (style & ES_PASSWORD) != 0).kb("number", (style & ES_NUMBER) != 0);
        j.kv("limit", (long long)query(c, EM_GETLIMITTEXT));
        j.kv("sel_start", LOWORD(sel)).kv("sel_end", HIWORD(sel));
        j.kb("modified", query(c, EM_GETMODIFY) != 0);
    } else if (_wcsicmp(cls.c_str(), PROGRESS_CLASSW) == 0) {
        j.kv("min", (long long)query(c, PBM_GETRANGE, TRUE, 0));
        j.kv("max", (long long)query(c, PBM_GETRANGE, FALSE, 0));
        j.kv("pos", (long long)query(c, PBM_GETPOS));
    }

    // Children of containers (frames, pictures); a combo box's own edit/list are left out.
    if (_wcsicmp(cls.c_str(), L"ComboBox") != 0 && GetWindow(c, GW_CHILD)) {
        j.key("children").arr();
        int cz = 0;
        for (HWND k = GetWindow(c, GW_CHILD); k; k = GetWindow(k, GW_HWNDNEXT))
            control_json(j, k, cz++);
        j.end_arr();
    }
    j.end_obj();
}

void window_json(Json& j, HWND h, bool with_controls) {
    DWORD pid = 0;
    DWORD tid = GetWindowThreadProcessId(h, &pid);
    LONG style = GetWindowLongW(h, GWL_STYLE);
    LONG exstyle = GetWindowLongW(h, GWL_EXSTYLE);
    RECT wr{}, cr{};
    GetWindowRect(h, &wr);
    GetClientRect(h, &cr);
    POINT origin{0, 0};
    ClientToScreen(h, &origin);
    GUITHREADINFO gti{};
    gti.cbSize = sizeof gti;
    bool have_gti = GetGUIThreadInfo(tid, &gti) != 0;

    j.obj();
    j.kv("hwnd", (unsigned long long)(ULONG_PTR)h).kv("class", class_of(h)).kv("caption", text_of(h));
    j.kv("pid", pid).kv("tid", tid).kv("exe", exe_of_pid(pid)).kv("bits", bits_of(h));
    j.kb("visible", IsWindowVisible(h) != 0).kb("iconic", IsIconic(h) != 0).kb("zoomed", IsZoomed(h) != 0);
    j.kb("enabled", IsWindowEnabled(h) != 0).kb("foreground", GetForegroundWindow() == h);
    j.kb("topmost", (exstyle & WS_EX_TOPMOST) != 0).kb("toolwindow", (exstyle & WS_EX_TOOLWINDOW) != 0);
    j.kb("appwindow", (exstyle & WS_EX_APPWINDOW) != 0);
    j.kv("style", hex((unsigned long)style)).kv("exstyle", hex((unsigned long)exstyle));
    rect_json(j, "rect", wr);
    j.key("client").obj().kv("x", origin.x).kv("y", origin.y).kv("w", cr.right).kv("h", cr.bottom).end_obj();
    j.kv("dpi", dpi_of(h));
    j.kv("owner", (unsigned long long)(ULONG_PTR)GetWindow(h, GW_OWNER));
    j.kb("has_menu", GetMenu(h) != nullptr);
    j.kv("xid", xid_of(h));
    if (have_gti) {
        j.kv("active_hwnd", (unsigned long long)(ULONG_PTR)gti.hwndActive);
        j.kv("focus_hwnd", (unsigned long long)(ULONG_PTR)gti.hwndFocus);
        j.kv("focus_id", gti.hwndFocus && IsChild(h, gti.hwndFocus) ? GetDlgCtrlID(gti.hwndFocus) : -1);
        // The control of the window that holds the focus, as "controls" lists it: the focus may be
        // inside a control (a combo box's edit field, whose own ID is always 1001).
        HWND top = gti.hwndFocus && IsChild(h, gti.hwndFocus) ? gti.hwndFocus : nullptr;
        while (top && GetParent(top) != h)
            top = GetParent(top);
        j.kv("focus_control", top ? GetDlgCtrlID(top) : -1);
        j.kb("in_menu", (gti.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE | GUI_SYSTEMMENUMODE)) != 0);
    }
    if (with_controls) {
        j.key("controls").arr();
        int z = 0;
        for (HWND c = GetWindow(h, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            control_json(j, c, z++);
        j.end_arr();
    }
    j.end_obj();
}

// ---------------------------------------------------------------------------------------------
// In-process queries
//
// Some things can only be read inside the program's own process: Wine (like Windows) keeps menus
// and GDI fonts per process, and Wine's GetSystemMenu() refuses windows of other processes. For
// those the probe installs a WH_CALLWNDPROC hook on the program's GUI thread; the system loads
// the hook module into the program and calls probe_hook() there when the program handles our
// registered message. The hook writes its answer into a named shared memory block that the probe
// then reads.
//
// The hook module is this executable itself, copied to the temp folder with the DLL flag set and
// no entry point (see hook_module()): loaders resolve the imports of DLLs only, and without an
// entry point nothing else of the probe runs inside the program. So everything below that runs
// there must do without the C runtime (it is not initialised): only Win32 calls and plain loops.
//
// Hooks cannot cross bitness: a 32-bit probe can only query 32-bit programs and vice versa.

constexpr DWORD kShmSize = 256 * 1024;
constexpr DWORD kShmMagic = 0x51505242; // "BRPQ"

enum QueryKind : DWORD {
    kQuerySysMenu = 1, // the window's system menu
    kQueryMenuBar = 2, // the window's menu bar
    kQueryPopups = 3,  // popup menus of the program that are open now (tray menu, system menu)
    kQueryFonts = 4,   // fonts of the window and its controls
    kQueryTools = 5,   // tooltip controls of the process and their tools (text, rectangle)
    kQueryObjects = 6, // menus and GDI objects the process holds
};

struct ShmHeader {
    DWORD magic;
    DWORD kind;
    DWORD done;
    DWORD length; // characters of text that follow the header
};

const wchar_t kQueryMessage[] = L"QuillonProbeQuery";

void shm_name(wchar_t* buf, DWORD pid) {
    wsprintfW(buf, L"Local\\QuillonProbe-%lu", (unsigned long)pid);
}

// Appends escaped text to the shared block: fields are separated by \t, records by \n.
struct ShmWriter {
    wchar_t* p;
    wchar_t* end;
    void ch(wchar_t c) {
        if (p < end)
            *p++ = c;
    }
    void field(const wchar_t* s) {
        for (; s && *s; ++s) {
            if (*s == L'\\') {
                ch(L'\\');
                ch(L'\\');
            } else if (*s == L'\t') {
                ch(L'\\');
                ch(L't');
            } else if (*s == L'\n') {
                ch(L'\\');
                ch(L'n');
            } else if (*s == L'\r') {
                ch(L'\\');
                ch(L'r');
            } else {
                ch(*s);
            }
        }
    }
    void number(long long v) {
        wchar_t buf[32];
        wsprintfW(buf, L"%I64d", v);
        field(buf);
    }
    void put(const wchar_t* s) { field(s); }
    void put(long long v) { number(v); }
    // One record: the fields separated by tabs, then a newline.
    template <typename... Fields> void record(const Fields&... fields) {
        bool first = true;
        ((first ? (void)(first = false) : ch(L'\t'), put(fields)), ...);
        ch(L'\n');
    }
};

// One record per menu item: depth, position, id, type flags, state flags, has-submenu, text,
// and the item's screen rectangle (left, top, right, bottom; zeros when not on screen).
void write_menu(ShmWriter& w, HWND owner, HMENU menu, int depth) {
    int n = GetMenuItemCount(menu);
    for (int i = 0; i < n; ++i) {
        wchar_t text[512];
        text[0] = 0;
        MENUITEMINFOW mi;
        BYTE* raw = (BYTE*)&mi;
        for (unsigned k = 0; k < sizeof mi; ++k)
            raw[k] = 0;
        mi.cbSize = sizeof mi;
        mi.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_STRING;
        mi.dwTypeData = text;
        mi.cch = 511;
        if (!GetMenuItemInfoW(menu, (UINT)i, TRUE, &mi))
            continue;
        RECT r = {0, 0, 0, 0};
        GetMenuItemRect(owner, menu, (UINT)i, &r);
        w.record((long long)depth, (long long)i, (long long)mi.wID, (long long)mi.fType, (long long)mi.fState,
                 mi.hSubMenu ? 1LL : 0LL, (mi.fType & MFT_SEPARATOR) ? L"" : (const wchar_t*)text,
                 (long long)r.left, (long long)r.top, (long long)r.right, (long long)r.bottom);
        if (mi.hSubMenu && depth < 8)
            write_menu(w, owner, mi.hSubMenu, depth + 1);
    }
}

void write_font(ShmWriter& w, HWND h) {
    HFONT f = (HFONT)SendMessageW(h, WM_GETFONT, 0, 0);
    LOGFONTW lf;
    BYTE* raw = (BYTE*)&lf;
    for (unsigned k = 0; k < sizeof lf; ++k)
        raw[k] = 0;
    bool have = f && GetObjectW(f, sizeof lf, &lf) == sizeof lf;
    long long id = (GetWindowLongW(h, GWL_STYLE) & WS_CHILD) ? GetDlgCtrlID(h) : 0;
    w.record((long long)(ULONG_PTR)h, id, f ? 1LL : 0LL, have ? (const wchar_t*)lf.lfFaceName : L"",
             (long long)lf.lfHeight, (long long)lf.lfWeight, (long long)lf.lfItalic, (long long)lf.lfCharSet);
}

BOOL CALLBACK write_font_proc(HWND h, LPARAM lp) {
    write_font(*(ShmWriter*)lp, h);
    return TRUE;
}

struct PopupCtx {
    ShmWriter* w;
    DWORD pid;
};

BOOL CALLBACK write_popup_proc(HWND h, LPARAM lp) {
    auto* c = (PopupCtx*)lp;
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    wchar_t cls[16];
    if (pid != c->pid || !IsWindowVisible(h) || !GetClassNameW(h, cls, 16) || lstrcmpW(cls, L"#32768") != 0)
        return TRUE;
    HMENU m = (HMENU)SendMessageW(h, MN_GETHMENU, 0, 0);
    if (!m)
        return TRUE;
    // A header record per open popup: "popup", its window, its menu handle.
    c->w->record(L"popup", (long long)(ULONG_PTR)h, (long long)(ULONG_PTR)m);
    write_menu(*c->w, nullptr, m, 0);
    return TRUE;
}

// One record per tool: tooltip window, its owner, visible, tool flags, tool window, tool id,
// screen rectangle (left, top, right, bottom), text.
BOOL CALLBACK write_tools_proc(HWND h, LPARAM lp) {
    auto* c = (PopupCtx*)lp;
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    wchar_t cls[32];
    if (pid != c->pid || !GetClassNameW(h, cls, 32) || lstrcmpiW(cls, TOOLTIPS_CLASSW) != 0)
        return TRUE;
    int n = (int)SendMessageW(h, TTM_GETTOOLCOUNT, 0, 0);
    for (int i = 0; i < n; ++i) {
        wchar_t text[1024];
        text[0] = 0;
        TTTOOLINFOW ti;
        BYTE* raw = (BYTE*)&ti;
        for (unsigned k = 0; k < sizeof ti; ++k)
            raw[k] = 0;
        ti.cbSize = sizeof ti;
        ti.lpszText = text;
        if (!SendMessageW(h, TTM_ENUMTOOLSW, (WPARAM)i, (LPARAM)&ti))
            continue;
        if (ti.lpszText != text) // LPSTR_TEXTCALLBACK or a resource id: no text to show
            text[0] = 0;
        RECT r = ti.rect;
        if (ti.uFlags & TTF_IDISHWND)
            GetWindowRect((HWND)ti.uId, &r);
        else
            MapWindowPoints(ti.hwnd, HWND_DESKTOP, (POINT*)&r, 2);
        c->w->record((long long)(ULONG_PTR)h, (long long)(ULONG_PTR)GetWindow(h, GW_OWNER),
                     IsWindowVisible(h) ? 1LL : 0LL, (long long)ti.uFlags, (long long)(ULONG_PTR)ti.hwnd,
                     (long long)ti.uId, (long long)r.left, (long long)r.top, (long long)r.right,
                     (long long)r.bottom, (const wchar_t*)text);
    }
    return TRUE;
}

// The menus and GDI objects of this process, counted by trying every handle number: a handle
// with no generation in its high word names whatever object holds that slot (Windows' own counts,
// GetGuiResources, are not implemented by Wine). One record: menus, GDI objects.
void write_objects(ShmWriter& w) {
    long long menus = 0, gdi = 0;
    for (ULONG_PTR low = 0x20; low < 0x10000; low += 2)
        menus += IsMenu((HMENU)low) ? 1 : 0;
    for (ULONG_PTR index = 1; index < 0x10000; ++index)
        gdi += GetObjectType((HGDIOBJ)index) != 0 ? 1 : 0;
    w.record(menus, gdi);
}

void answer_query(HWND hwnd, DWORD probe_pid) {
    wchar_t name[64];
    shm_name(name, probe_pid);
    HANDLE map = OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, name);
    if (!map)
        return;
    auto* hdr = (ShmHeader*)MapViewOfFile(map, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, kShmSize);
    if (hdr && hdr->magic == kShmMagic && !hdr->done) {
        auto* text = (wchar_t*)(hdr + 1);
        ShmWriter w{text, text + (kShmSize - sizeof(ShmHeader)) / sizeof(wchar_t) - 1};
        switch (hdr->kind) {
        case kQuerySysMenu:
            if (HMENU m = GetSystemMenu(hwnd, FALSE))
                write_menu(w, hwnd, m, 0);
            break;
        case kQueryMenuBar:
            if (HMENU m = GetMenu(hwnd))
                write_menu(w, hwnd, m, 0);
            break;
        case kQueryPopups: {
            PopupCtx c{&w, GetCurrentProcessId()};
            EnumWindows(write_popup_proc, (LPARAM)&c);
            break;
        }
        case kQueryTools: {
            PopupCtx c{&w, GetCurrentProcessId()};
            EnumWindows(write_tools_proc, (LPARAM)&c);
            break;
        }
        case kQueryFonts:
            write_font(w, hwnd);
            EnumChildWindows(hwnd, write_font_proc, (LPARAM)&w);
            break;
        case kQueryObjects:
            write_objects(w);
            break;
        }
        hdr->length = (DWORD)(w.p - text);
        hdr->done = 1;
    }
    if (hdr)
        UnmapViewOfFile(hdr);
    CloseHandle(map);
}

} // namespace

// Runs inside the inspected program (see above).
extern "C" LRESULT CALLBACK probe_hook(int code, WPARAM wp, LPARAM lp) {
    if (code == HC_ACTION && lp) {
        const CWPSTRUCT* c = (const CWPSTRUCT*)lp;
        if (c->message == RegisterWindowMessageW(kQueryMessage) && c->message != 0)
            answer_query(c->hwnd, (DWORD)c->wParam);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

namespace {

constexpr int kSelfBits = sizeof(void*) * 8;

// Set when an in-process query was refused because the program has the other bitness; the probe
// then exits with code 3 so that a caller can retry with the other probe.
bool g_wrong_bitness = false;

std::vector<std::wstring> split(const std::wstring& s, wchar_t sep) {
    std::vector<std::wstring> out;
    size_t start = 0;
    for (;;) {
        size_t p = s.find(sep, start);
        out.push_back(s.substr(start, p == std::wstring::npos ? std::wstring::npos : p - start));
        if (p == std::wstring::npos)
            break;
        start = p + 1;
    }
    return out;
}

std::wstring unescape(const std::wstring& s) {
    std::wstring r;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == L'\\' && i + 1 < s.size()) {
            wchar_t c = s[++i];
            r += c == L't' ? L'\t' : c == L'n' ? L'\n' : c == L'r' ? L'\r' : c;
        } else {
            r += s[i];
        }
    }
    return r;
}

// Copies probe.exe to the temp folder as a DLL without entry point and loads it. The copy is named
// after the size and time stamp of probe.exe, so a rebuilt probe makes a new copy.
HMODULE hook_module() {
    wchar_t self[MAX_PATH];
    if (!GetModuleFileNameW(nullptr, self, MAX_PATH))
        return nullptr;
    WIN32_FILE_ATTRIBUTE_DATA fa{};
    if (!GetFileAttributesExW(self, GetFileExInfoStandard, &fa))
        return nullptr;
    wchar_t dir[MAX_PATH], path[MAX_PATH + 64];
    GetTempPathW(MAX_PATH, dir);
    wsprintfW(path, L"%sprobe-hook-%d-%lu-%08lx%08lx.dll", dir, kSelfBits, fa.nFileSizeLow,
              fa.ftLastWriteTime.dwHighDateTime, fa.ftLastWriteTime.dwLowDateTime);
    if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) {
        HANDLE f = CreateFileW(self, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE)
            return nullptr;
        std::string img(fa.nFileSizeLow, '\0');
        DWORD got = 0;
        bool ok = ReadFile(f, img.data(), (DWORD)img.size(), &got, nullptr) && got == img.size();
        CloseHandle(f);
        if (!ok || img.size() < sizeof(IMAGE_DOS_HEADER))
            return nullptr;
        auto* dos = (IMAGE_DOS_HEADER*)img.data();
        if (dos->e_magic != IMAGE_DOS_SIGNATURE ||
            (size_t)dos->e_lfanew + sizeof(IMAGE_NT_HEADERS) > img.size())
            return nullptr;
        auto* nt = (IMAGE_NT_HEADERS*)(img.data() + dos->e_lfanew);
        nt->FileHeader.Characteristics |= IMAGE_FILE_DLL;
        nt->OptionalHeader.AddressOfEntryPoint = 0;
        // Write under a private name first, so that probes running at the same time never load a
        // half-written file.
        wchar_t tmp[MAX_PATH + 80];
        wsprintfW(tmp, L"%s.%lu.tmp", path, GetCurrentProcessId());
        f = CreateFileW(tmp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE)
            return nullptr;
        DWORD put = 0;
        ok = WriteFile(f, img.data(), (DWORD)img.size(), &put, nullptr) && put == img.size();
        CloseHandle(f);
        if (!ok || !MoveFileExW(tmp, path, MOVEFILE_REPLACE_EXISTING)) {
            DeleteFileW(tmp);
            if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES)
                return nullptr;
        }
    }
    return LoadLibraryW(path);
}

// Runs an in-process query against the thread that owns hwnd; returns its records.
bool run_query(HWND hwnd, QueryKind kind, std::vector<std::vector<std::wstring>>& records) {
    int bits = bits_of(hwnd);
    if (bits && bits != kSelfBits) {
        err("the program is " + num(bits) + "-bit; this query needs the " + num(bits) + "-bit probe");
        g_wrong_bitness = true;
        return false;
    }
    wchar_t name[64];
    shm_name(name, GetCurrentProcessId());
    HANDLE map = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kShmSize, name);
    if (!map) {
        err("CreateFileMapping failed: " + num(GetLastError()));
        return false;
    }
    auto* hdr = (ShmHeader*)MapViewOfFile(map, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, kShmSize);
    if (!hdr) {
        CloseHandle(map);
        return false;
    }
    hdr->magic = kShmMagic;
    hdr->kind = kind;
    hdr->done = 0;
    hdr->length = 0;

    bool ok = false;
    DWORD tid = GetWindowThreadProcessId(hwnd, nullptr);
    HMODULE mod = hook_module();
    // The copy is the same image, so the hook sits at the same offset from the module base.
    auto proc =
        mod ? (HOOKPROC)(void*)((BYTE*)mod + ((BYTE*)(void*)&probe_hook - (BYTE*)GetModuleHandleW(nullptr)))
            : nullptr;
    HHOOK hook = proc ? SetWindowsHookExW(WH_CALLWNDPROC, proc, mod, tid) : nullptr;
    if (!proc) {
        err("could not prepare the hook module in the temp folder");
    } else if (!hook) {
        err("SetWindowsHookEx failed: " + num(GetLastError()));
    } else {
        UINT msg = RegisterWindowMessageW(kQueryMessage);
        send(hwnd, msg, GetCurrentProcessId(), kind, nullptr, g_opt.timeout);
        UnhookWindowsHookEx(hook);
        ok = hdr->done != 0;
        if (!ok)
            err("the program did not answer the query (hung, or the hook could not be loaded)");
    }
    if (ok) {
        std::wstring text((const wchar_t*)(hdr + 1), hdr->length);
        for (const auto& line : split(text, L'\n')) {
            if (line.empty())
                continue;
            std::vector<std::wstring> fields;
            for (const auto& f : split(line, L'\t'))
                fields.push_back(unescape(f));
            records.push_back(fields);
        }
    }
    UnmapViewOfFile(hdr);
    CloseHandle(map);
    return ok;
}

long long field_int(const std::vector<std::wstring>& r, size_t i) {
    long long v = 0;
    if (i < r.size())
        parse_int(r[i], v);
    return v;
}

// Menu item records (see write_menu) to a JSON array, nesting submenus under "items".
size_t menu_json(Json& j, const std::vector<std::vector<std::wstring>>& recs, size_t i, int depth) {
    j.arr();
    while (i < recs.size() && recs[i].size() >= 11 && field_int(recs[i], 0) == depth) {
        const auto& r = recs[i];
        long long type = field_int(r, 3), state = field_int(r, 4);
        j.obj().kv("pos", field_int(r, 1)).kv("id", field_int(r, 2)).kv("text", r[6]);
        j.kb("separator", (type & MFT_SEPARATOR) != 0).kb("checked", (state & MFS_CHECKED) != 0);
        j.kb("grayed", (state & (MFS_GRAYED | MFS_DISABLED)) != 0).kb("default", (state & MFS_DEFAULT) != 0);
        j.kb("highlighted", (state & MFS_HILITE) != 0).kv("type", type).kv("state", state);
        RECT rc{(LONG)field_int(r, 7), (LONG)field_int(r, 8), (LONG)field_int(r, 9), (LONG)field_int(r, 10)};
        rect_json(j, "rect", rc);
        ++i;
        if (field_int(r, 5)) {
            j.key("items");
            i = menu_json(j, recs, i, depth + 1);
        }
        j.end_obj();
    }
    j.end_arr();
    return i;
}

// Runs a query inside the target program; false when there is no target or the query failed.
bool query_target(QueryKind kind, HWND& h, std::vector<std::vector<std::wstring>>& recs) {
    h = need_target();
    return h && run_query(h, kind, recs);
}

int cmd_menu(QueryKind kind) {
    HWND h;
    std::vector<std::vector<std::wstring>> recs;
    if (!query_target(kind, h, recs))
        return 1;
    Json j;
    menu_json(j, recs, 0, 0);
    outln(j.text());
    return 0;
}

// Open popup menus of the program: [{"hwnd":..., "items":[...]}, ...]
int cmd_popups() {
    HWND h;
    std::vector<std::vector<std::wstring>> recs;
    if (!query_target(kQueryPopups, h, recs))
        return 1;
    Json j;
    j.arr();
    size_t i = 0;
    while (i < recs.size()) {
        if (recs[i].size() >= 3 && recs[i][0] == L"popup") {
            j.obj().kv("hwnd", field_int(recs[i], 1)).kv("hmenu", field_int(recs[i], 2));
            RECT r{};
            GetWindowRect((HWND)(INT_PTR)field_int(recs[i], 1), &r);
            rect_json(j, "rect", r);
            j.key("items");
            i = menu_json(j, recs, i + 1, 0);
            j.end_obj();
        } else {
            ++i;
        }
    }
    j.end_arr();
    outln(j.text());
    return 0;
}

// {"menus": n, "gdi": n}: the menus and GDI objects the program of the window holds.
int cmd_objects() {
    HWND h;
    std::vector<std::vector<std::wstring>> recs;
    if (!query_target(kQueryObjects, h, recs) || recs.empty() || recs[0].size() < 2)
        return 1;
    outln("{\"menus\": " + num(field_int(recs[0], 0)) + ", \"gdi\": " + num(field_int(recs[0], 1)) + "}");
    return 0;
}

int cmd_fonts() {
    HWND h;
    std::vector<std::vector<std::wstring>> recs;
    if (!query_target(kQueryFonts, h, recs))
        return 1;
    UINT dpi = dpi_of(h);
    Json j;
    j.arr();
    for (const auto& r : recs) {
        if (r.size() < 8)
            continue;
        long long height = field_int(r, 4);
        j.obj().kv("hwnd", field_int(r, 0)).kv("id", field_int(r, 1)).kb("has_font", field_int(r, 2) != 0);
        j.kv("face", r[3]).kv("height", height).kv("weight", field_int(r, 5));
        j.kb("italic", field_int(r, 6) != 0).kv("charset", field_int(r, 7));
        // Point size as the Windows font dialog shows it (character height, 2 decimals).
        char pt[32];
        std::snprintf(pt, sizeof pt, "%.2f", height < 0 ? -height * 72.0 / dpi : height * 72.0 / dpi);
        j.key("points").raw(pt);
        j.end_obj();
    }
    j.end_arr();
    outln(j.text());
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Notification area
//
// Where Wine 8 shows tray icons depends on the setup:
// - "taskbar": in a virtual desktop named "shell" (wine explorer /desktop=shell,WxH) explorer
//   draws a taskbar (class Shell_TrayWnd, visible) and paints the icons into it itself; an icon
//   is no window there. Each icon has a tooltip control whose tool rectangle is the icon's place;
//   a removed icon leaves its tooltip behind with an empty rectangle. Reading the rectangles takes
//   an in-process query in explorer (64-bit in a 64-bit prefix, so the 64-bit probe).
// - "standalone": on an X display without a system tray (bare Xvfb) winex11 opens a small window
//   "Wine System Tray" (class __winex11_standalone_tray) with one child window per icon (class
//   __winex11_tray_icon). It is hidden again when its last icon goes.
// - "xembed": with an X system tray (a desktop's panel) each icon is a top-level
//   __winex11_tray_icon window docked into that tray.

struct TrayIcon {
    HWND hwnd = nullptr; // icon window (standalone/xembed), tooltip control (taskbar)
    RECT rect{};
    bool have_tip = false;
    std::wstring tip;
};

BOOL CALLBACK collect_all_proc(HWND h, LPARAM lp) {
    ((std::vector<HWND>*)lp)->push_back(h);
    return TRUE;
}

int cmd_trayicons() {
    std::vector<HWND> all;
    EnumWindows(collect_all_proc, (LPARAM)&all);
    HWND taskbar = nullptr, standalone = nullptr;
    std::vector<TrayIcon> icons;
    for (HWND h : all) {
        std::wstring cls = class_of(h);
        if (cls == L"Shell_TrayWnd") {
            // explorer may have more than one; the visible one is the taskbar
            if (!taskbar || (!IsWindowVisible(taskbar) && IsWindowVisible(h)))
                taskbar = h;
        } else if (cls == L"__winex11_standalone_tray") {
            standalone = h;
            for (HWND c = GetWindow(h, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                if (class_of(c) == L"__winex11_tray_icon") {
                    TrayIcon t;
                    t.hwnd = c;
                    GetWindowRect(c, &t.rect);
                    icons.push_back(t);
                }
            }
        } else if (cls == L"__winex11_tray_icon") {
            TrayIcon t;
            t.hwnd = h;
            GetWindowRect(h, &t.rect);
            icons.push_back(t);
        }
    }
    bool taskbar_mode = taskbar && IsWindowVisible(taskbar);
    const char* mode = taskbar_mode     ? "taskbar"
                       : standalone     ? "standalone"
                       : !icons.empty() ? "xembed"
                                        : "none";

    // Tooltips tell the icons' texts (and, in taskbar mode, which icons there are).
    std::vector<std::vector<std::wstring>> tools;
    bool have_tools = false;
    if (taskbar) {
        int bits = bits_of(taskbar);
        if (bits == 0 || bits == kSelfBits)
            have_tools = run_query(taskbar, kQueryTools, tools);
    }
    if (taskbar_mode) {
        if (!have_tools) {
            err("counting the icons of explorer's taskbar needs the " + num(bits_of(taskbar)) + "-bit probe");
            return bits_of(taskbar) != kSelfBits ? 3 : 1;
        }
        for (const auto& r : tools) {
            if (r.size() < 11 || (HWND)(INT_PTR)field_int(r, 1) != taskbar)
                continue;
            TrayIcon t;
            t.hwnd = (HWND)(INT_PTR)field_int(r, 0);
            t.rect = RECT{(LONG)field_int(r, 6), (LONG)field_int(r, 7), (LONG)field_int(r, 8),
                          (LONG)field_int(r, 9)};
            if (IsRectEmpty(&t.rect))
                continue; // the icon has been removed
            t.have_tip = true;
            t.tip = r[10];
            icons.push_back(t);
        }
    } else if (have_tools) {
        for (auto& t : icons) {
            for (const auto& r : tools) {
                if (r.size() >= 11 && (HWND)(INT_PTR)field_int(r, 5) == t.hwnd) {
                    t.have_tip = true;
                    t.tip = r[10];
                }
            }
        }
    }

    Json j;
    j.obj().kv("mode", mode).kv("count", (long long)icons.size()).kb("tips", have_tools);
    j.kv("tray_hwnd", (unsigned long long)(ULONG_PTR)(taskbar_mode ? taskbar : standalone));
    j.kb("tray_visible", taskbar_mode || (standalone && IsWindowVisible(standalone)));
    j.key("icons").arr();
    for (const auto& t : icons) {
        j.obj().kv("hwnd", (unsigned long long)(ULONG_PTR)t.hwnd);
        rect_json(j, "rect", t.rect);
        j.kv("cx", (t.rect.left + t.rect.right) / 2).kv("cy", (t.rect.top + t.rect.bottom) / 2);
        if (t.have_tip)
            j.kv("tip", t.tip);
        else
            j.key("tip").null();
        j.end_obj();
    }
    j.end_arr().end_obj();
    outln(j.text());
    return 0;
}

// Tooltip windows on screen right now, with the text they show (WM_GETTEXT of a tooltip control
// is the text of its current tip).
int cmd_tooltips() {
    std::vector<HWND> all;
    EnumWindows(collect_all_proc, (LPARAM)&all);
    Json j;
    j.arr();
    for (HWND h : all) {
        if (!IsWindowVisible(h) || _wcsicmp(class_of(h).c_str(), TOOLTIPS_CLASSW) != 0)
            continue;
        RECT r{};
        GetWindowRect(h, &r);
        j.obj().kv("hwnd", (unsigned long long)(ULONG_PTR)h).kv("text", text_of(h));
        j.kv("pid", pid_of(h)).kv("exe", exe_of_pid(pid_of(h)));
        j.kv("owner", (unsigned long long)(ULONG_PTR)GetWindow(h, GW_OWNER));
        rect_json(j, "rect", r);
        j.end_obj();
    }
    j.end_arr();
    outln(j.text());
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Commands

using Args = std::vector<std::wstring>;

int cmd_wait(const Args& a) {
    std::wstring cls = a.size() > 0 ? a[0] : g_opt.cls;
    long long timeout = 10000;
    if (a.size() > 1 && !parse_int(a[1], timeout))
        return 2;
    DWORD start = GetTickCount();
    for (;;) {
        auto v = find_windows(cls, true);
        if (!v.empty()) {
            outln(num((long long)(ULONG_PTR)v.front()));
            return 0;
        }
        if ((long long)(GetTickCount() - start) >= timeout)
            break;
        Sleep(50);
    }
    err("timed out waiting for a visible window of class " + to_utf8(cls));
    return 1;
}

// Waits until no visible window of the class exists any more.
int cmd_gone(const Args& a) {
    std::wstring cls = a.size() > 0 ? a[0] : g_opt.cls;
    long long timeout = 10000;
    if (a.size() > 1 && !parse_int(a[1], timeout))
        return 2;
    DWORD start = GetTickCount();
    while (!find_windows(cls, true).empty()) {
        if ((long long)(GetTickCount() - start) >= timeout) {
            err("timed out: a window of class " + to_utf8(cls) + " is still visible");
            return 1;
        }
        Sleep(50);
    }
    return 0;
}

int cmd_dump(const Args& a) {
    HWND h = a.empty() ? need_target() : resolve(a[0]);
    if (!h) {
        if (!a.empty())
            err("no window " + to_utf8(a[0]));
        return 1;
    }
    Json j;
    window_json(j, h, true);
    outln(j.text());
    return 0;
}

BOOL CALLBACK collect_proc(HWND h, LPARAM lp) {
    if (g_opt.all || IsWindowVisible(h))
        ((std::vector<HWND>*)lp)->push_back(h);
    return TRUE;
}

int cmd_windows(const Args&) {
    std::vector<HWND> list;
    EnumWindows(collect_proc, (LPARAM)&list);
    Json j;
    j.arr();
    for (HWND h : list) {
        DWORD pid = pid_of(h);
        RECT r{};
        GetWindowRect(h, &r);
        j.obj()
            .kv("hwnd", (unsigned long long)(ULONG_PTR)h)
            .kv("class", class_of(h))
            .kv("caption", text_of(h));
        j.kv("pid", pid).kv("exe", exe_of_pid(pid)).kb("visible", IsWindowVisible(h) != 0);
        j.kb("iconic", IsIconic(h) != 0).kv("owner", (unsigned long long)(ULONG_PTR)GetWindow(h, GW_OWNER));
        rect_json(j, "rect", r);
        j.kv("xid", xid_of(h));
        j.end_obj();
    }
    j.end_arr();
    outln(j.text());
    return 0;
}

// Sends (or posts, with --post) an action message. A send that does not come back within the
// action timeout usually means the handler opened a modal loop (message box, menu); that is
// reported as "pending" and is not an error.
int act(HWND h, UINT msg, WPARAM w, LPARAM l) {
    if (g_opt.post) {
        if (!PostMessageW(h, msg, w, l)) {
            err("PostMessage failed: " + num(GetLastError()));
            return 1;
        }
        outln("posted");
        return 0;
    }
    LRESULT r = 0;
    if (!send(h, msg, w, l, &r, g_opt.action_timeout)) {
        DWORD e = GetLastError();
        if (!IsWindow(h)) {
            outln("done");
            return 0;
        }
        if (e == ERROR_TIMEOUT || e == 0) {
            outln("pending");
            return 0;
        }
        err("SendMessageTimeout failed: " + num(e));
        return 1;
    }
    outln(num(r));
    return 0;
}

// The control with the given ID in the target window, or null (with a message) when either is missing.
HWND target_control(const std::wstring& id) {
    HWND m = need_target();
    return m ? need_control(m, id) : nullptr;
}

int cmd_click(const Args& a) {
    if (a.size() != 1)
        return 2;
    HWND c = target_control(a[0]);
    if (!c)
        return 1;
    if (!IsWindowEnabled(c))
        err("warning: control " + to_utf8(a[0]) + " is disabled");
    if (!IsWindowVisible(c))
        err("warning: control " + to_utf8(a[0]) + " is not visible");
    return act(c, BM_CLICK, 0, 0);
}

// WM_COMMAND with a notification code from control ID to its parent (default BN_CLICKED).
int cmd_command(const Args& a) {
    if (a.empty() || a.size() > 2)
        return 2;
    HWND c = target_control(a[0]);
    if (!c)
        return 1;
    long long code = BN_CLICKED;
    if (a.size() == 2 && !parse_int(a[1], code))
        return 2;
    return act(GetParent(c), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(c), (WORD)code), (LPARAM)c);
}

// WM_SETTEXT, followed by the change notification to the parent where the control stays silent
// about WM_SETTEXT (a combo box's edit field, a multi-line edit, also as the target's Scintilla),
// so that the program learns of the change as it would of typing. A single-line edit sends
// EN_UPDATE/EN_CHANGE itself. A text given as @FILE is read from FILE (UTF-8): a command line
// holds at most 32767 characters.
int cmd_settext(const Args& a) {
    if (a.size() != 2)
        return 2;
    const std::wstring text = a[1].rfind(L"@", 0) == 0 ? from_utf8(read_bytes(a[1].substr(1))) : a[1];
    HWND c = target_control(a[0]);
    if (!c)
        return 1;
    std::wstring cls = class_of(c);
    LONG style = GetWindowLongW(c, GWL_STYLE);
    HWND parent = GetParent(c);
    WORD id = (WORD)GetDlgCtrlID(c);
    LRESULT r = 0;
    if (!send(c, WM_SETTEXT, 0, (LPARAM)text.c_str(), &r, g_opt.action_timeout)) {
        err("WM_SETTEXT did not complete");
        return 1;
    }
    if (!r) {
        err("the control refused the text");
        return 1;
    }
    if (_wcsicmp(cls.c_str(), L"ComboBox") == 0 && (style & 3) != CBS_DROPDOWNLIST) {
        send(parent, WM_COMMAND, MAKEWPARAM(id, CBN_EDITUPDATE), (LPARAM)c, nullptr, g_opt.action_timeout);
        send(parent, WM_COMMAND, MAKEWPARAM(id, CBN_EDITCHANGE), (LPARAM)c, nullptr, g_opt.action_timeout);
    }
    if ((_wcsicmp(cls.c_str(), L"Edit") == 0 || _wcsicmp(cls.c_str(), L"Scintilla") == 0) &&
        (style & ES_MULTILINE)) {
        send(parent, WM_COMMAND, MAKEWPARAM(id, EN_UPDATE), (LPARAM)c, nullptr, g_opt.action_timeout);
        send(parent, WM_COMMAND, MAKEWPARAM(id, EN_CHANGE), (LPARAM)c, nullptr, g_opt.action_timeout);
    }
    return 0;
}

int cmd_gettext(const Args& a) {
    if (a.size() != 1)
        return 2;
    HWND c = target_control(a[0]);
    if (!c)
        return 1;
    outln(to_utf8(text_of(c)));
    return 0;
}

int cmd_select(const Args& a) {
    long long index = 0;
    if (a.size() != 2 || !parse_int(a[1], index))
        return 2;
    HWND c = target_control(a[0]);
    if (!c)
        return 1;
    std::wstring cls = class_of(c);
    UINT set_msg, notify;
    if (_wcsicmp(cls.c_str(), L"ListBox") == 0) {
        set_msg = LB_SETCURSEL;
        notify = LBN_SELCHANGE;
    } else if (_wcsicmp(cls.c_str(), L"ComboBox") == 0) {
        set_msg = CB_SETCURSEL;
        notify = CBN_SELCHANGE;
    } else {
        err("control " + to_utf8(a[0]) + " is a " + to_utf8(cls) + ", not a list or combo box");
        return 1;
    }
    LRESULT r = 0;
    if (!send(c, set_msg, (WPARAM)index, 0, &r, g_opt.timeout))
        return 1;
    if (r == LB_ERR && index != -1) {
        err("index out of range");
        return 1;
    }
    return act(GetParent(c), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(c), notify), (LPARAM)c);
}

int cmd_syscommand(HWND h, long long sc) {
    return act(h, WM_SYSCOMMAND, (WPARAM)sc, 0);
}

int cmd_message(const std::wstring& kind, const Args& a) {
    if (a.empty() || a.size() > 3)
        return 2;
    long long msg = 0, w = 0, l = 0;
    if (!parse_value(a[0], msg, true) || (a.size() > 1 && !parse_value(a[1], w, false)) ||
        (a.size() > 2 && !parse_value(a[2], l, false))) {
        err("bad message or parameter");
        return 2;
    }
    HWND h = need_target();
    if (!h)
        return 1;
    if (kind == L"notify") {
        if (!SendNotifyMessageW(h, (UINT)msg, (WPARAM)w, (LPARAM)l)) {
            err("SendNotifyMessage failed: " + num(GetLastError()));
            return 1;
        }
        return 0;
    }
    if (kind == L"post") {
        if (!PostMessageW(h, (UINT)msg, (WPARAM)w, (LPARAM)l)) {
            err("PostMessage failed: " + num(GetLastError()));
            return 1;
        }
        return 0;
    }
    return act(h, (UINT)msg, (WPARAM)w, (LPARAM)l);
}

// Registers a plain top-level window class of this program; returns the program's instance.
HINSTANCE register_window_class(WNDPROC proc, const wchar_t* name) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszClassName = name;
    RegisterClassW(&wc);
    return wc.hInstance;
}

// Rewrites a stand-in's state file: written to a temporary file first and renamed over the old
// one, so that a reader sees either the old state or the new one, never half of one.
void write_state(const std::wstring& path, const Json& j) {
    const std::wstring temp = path + L".tmp";
    if (!write_bytes(temp, j.text() + "\n"))
        return;
    for (int i = 0; i < 50; ++i) { // a reader on the Windows side may hold the file for a moment
        if (MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
            return;
        Sleep(2);
    }
    err("cannot replace " + to_utf8(path));
}

// A window that lists the keys it receives in its caption ("keys: 113 114"), so a test can see
// that a program in front still gets the keys another program watches. Runs until closed.
LRESULT CALLBACK keylog_proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
        std::wstring caption = text_of(h) + L" " + std::to_wstring(wp);
        SetWindowTextW(h, caption.c_str());
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(h, msg, wp, lp);
    }
}

int cmd_keylog(const Args&) {
    const HINSTANCE instance = register_window_class(keylog_proc, L"QuillonKeyLog");
    HWND h = CreateWindowW(L"QuillonKeyLog", L"keys:", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 320, 120, nullptr,
                           nullptr, instance, nullptr);
    if (!h)
        return 1;
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return 0;
}

// A document window to save, with a File menu (&Save 101, Save &As... 102) over an edit control
// that holds FILE's text; Save writes the edit's text to FILE (UTF-8) and counts the saves in the
// caption ("t.txt - Target [saves: 2]"). Variants: menu-delay=MS opens the File menu MS after
// Alt+F (the letter typed before then goes into the text); no-menu has no menu bar; file-view has
// no menu bar but a "File view" list that Alt+F gives the focus, where S saves (as a ribbon's);
// marks puts "*" before the caption while the text has changes the last save did not write (as
// many editors do), and WM_APP+22 posted to the window marks it changed without any typing.
// Editors' variants (no count in the caption): marks=after marks a change as "t.txt • - Target",
// Sublime Text's form; ctrl-s saves on Ctrl+S; untitled=NAME (a new document shown by a file's
// name) opens a modal Save As dialog on Save instead of writing; npp plays Notepad++ (its class,
// "[*]FULL PATH - Notepad++", saves on its message, its text in a Scintilla window; with
// untitled=NAME a new document's tab, "[*]NAME - Notepad++"); own-menu opens a menu window of its own on
// Alt+F; linger=MS: WM_CLOSE hides the window and retitles it "Untitled - Target" MS before it
// goes, as Wine's notepad. These write FILE.state.json.
struct TargetWindow {
    std::wstring path, name, statePath, markLead = L"*", markTail;
    int saves = 0, dialogs = 0, menus = 0;
    UINT menuDelay = 0, linger = 0;
    bool ribbon = false, marks = false, changed = false, counted = true;
    bool ctrlS = false, untitled = false, ownMenu = false, npp = false, dialogOpen = false;
    std::vector<long long> keys;
    LPARAM pendingKey = 0;
    HWND top = nullptr, edit = nullptr, fileView = nullptr;
};
TargetWindow g_target;
constexpr UINT_PTR kMenuDelayTimer = 7, kLingerTimer = 8;

constexpr UINT kTargetChanged = WM_APP + 22;
constexpr UINT kNppSaveCurrentFile = WM_USER + 1000 + 38; // Notepad++'s "save the current document"

// Rewrites FILE.state.json: {"saves" (writes of FILE), "dialogs" (Save As dialogs opened), "dialog_open", "menus" (own menus opened), "keys" (the
// virtual key of each WM_KEYDOWN and WM_SYSKEYDOWN any window of the program took, in order)}.
void target_write_state() {
    if (g_target.statePath.empty())
        return;
    Json j;
    j.obj().kv("saves", g_target.saves).kv("dialogs", g_target.dialogs);
    j.kb("dialog_open", g_target.dialogOpen).kv("menus", g_target.menus);
    j.key("keys").arr();
    for (long long k : g_target.keys)
        j.integer(k);
    write_state(g_target.statePath, j.end_arr().end_obj());
}

void target_caption(HWND h) {
    const bool marked = g_target.marks && g_target.changed;
    std::wstring caption = (marked ? g_target.markLead : L"") + g_target.name + (marked ? g_target.markTail : L"") +
                           (g_target.npp ? L" - Notepad++" : L" - Target");
    if (g_target.counted && g_target.saves > 0)
        caption += L" [saves: " + std::to_wstring(g_target.saves) + L"]";
    SetWindowTextW(h, caption.c_str());
    target_write_state();
}

// The menu's Save (and Ctrl+S, and NPPM_SAVECURRENTFILE): writes the edit's text to FILE; an
// untitled document opens a modal "Save As" dialog instead (not a second one), which disables the
// window until it is cancelled (WM_CLOSE or Cancel) and writes nothing. True when FILE was written.
bool target_save(HWND h) {
    if (g_target.untitled) {
        if (!g_target.dialogOpen) {
            ++g_target.dialogs;
            g_target.dialogOpen = true;
            target_write_state();
            MessageBoxW(h, L"Save this document as...", L"Save As", MB_OKCANCEL);
            g_target.dialogOpen = false;
            target_write_state();
        }
        return false;
    }
    if (!write_bytes(g_target.path, to_utf8(text_of(g_target.edit))))
        return false;
    ++g_target.saves;
    g_target.changed = false;
    target_caption(h);
    return true;
}

// The File menu of an editor that draws its own (own-menu): a popup window of the program, owned
// by the target, that closes on Escape or when it loses the activation; other keys do nothing.
LRESULT CALLBACK target_menu_proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if ((msg == WM_KEYDOWN && wp == VK_ESCAPE) || (msg == WM_ACTIVATE && LOWORD(wp) == WA_INACTIVE))
        PostMessageW(h, WM_CLOSE, 0, 0);
    return DefWindowProcW(h, msg, wp, lp);
}

// Logs the key-down messages the program's thread takes from its queue, in its own message loop
// and in the modal ones of menus and dialogs.
LRESULT CALLBACK target_key_hook(int code, WPARAM wp, LPARAM lp) {
    const MSG* m = (const MSG*)lp;
    if (code == HC_ACTION && wp == PM_REMOVE && (m->message == WM_KEYDOWN || m->message == WM_SYSKEYDOWN)) {
        g_target.keys.push_back((long long)m->wParam);
        target_write_state();
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

WNDPROC g_editProc = nullptr;
LRESULT CALLBACK scintilla_proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    return CallWindowProcW(g_editProc, h, msg, wp, lp);
}

void target_close_file_view() {
    ShowWindow(g_target.fileView, SW_HIDE);
    SetFocus(g_target.edit);
}

LRESULT CALLBACK target_proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SIZE:
        MoveWindow(g_target.edit, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
        if (g_target.fileView)
            MoveWindow(g_target.fileView, 0, 0, 120, HIWORD(lp), TRUE);
        return 0;
    case WM_SETFOCUS:
        SetFocus(g_target.fileView && IsWindowVisible(g_target.fileView) ? g_target.fileView : g_target.edit);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wp) == 101 || LOWORD(wp) == 102) {
            target_save(h);
            return 0;
        }
        if (HIWORD(wp) == EN_CHANGE && (HWND)lp == g_target.edit && !g_target.changed) {
            g_target.changed = true;
            target_caption(h);
        }
        break;
    case kTargetChanged:
        g_target.changed = true;
        target_caption(h);
        return 0;
    case kNppSaveCurrentFile: // from any process, the window in front or not
        if (!g_target.npp)
            break;
        return target_save(h) ? TRUE : FALSE;
    case WM_CLOSE:
        if (!g_target.linger)
            break;
        ShowWindow(h, SW_HIDE);
        SetWindowTextW(h, L"Untitled - Target");
        target_write_state();
        SetTimer(h, kLingerTimer, g_target.linger, nullptr);
        return 0;
    case WM_TIMER:
        if (wp == kLingerTimer) {
            DestroyWindow(h);
            return 0;
        }
        if (wp == kMenuDelayTimer) {
            KillTimer(h, kMenuDelayTimer);
            const LPARAM key = g_target.pendingKey;
            DefWindowProcW(h, WM_SYSCOMMAND, SC_KEYMENU, key);
            g_target.pendingKey = 0;
            return 0;
        }
        break;
    case WM_VKEYTOITEM:
        if ((HWND)lp == g_target.fileView) {
            if (LOWORD(wp) == 'S' || LOWORD(wp) == 'A') {
                target_close_file_view();
                target_save(h);
            } else if (LOWORD(wp) == VK_ESCAPE) {
                target_close_file_view();
            }
            return -2;
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

// Alt+F, as the focused control's WM_SYSCHAR, before it is dispatched: the File view takes the
// focus, the own menu opens and takes the foreground and the focus, or the File menu opens later.
// True when the message was handled here.
bool target_alt_letter(HWND h, WPARAM ch) {
    if (towlower((wint_t)ch) != L'f')
        return false;
    if (g_target.ribbon) {
        ShowWindow(g_target.fileView, SW_SHOW);
        SetFocus(g_target.fileView);
        return true;
    }
    if (g_target.ownMenu) {
        RECT r{};
        GetWindowRect(h, &r);
        HWND menu = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"QuillonOwnMenu", L"File menu",
                                    WS_POPUP | WS_BORDER, r.left + 8, r.top + 30, 160, 100, h, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
        ShowWindow(menu, SW_SHOW);
        SetForegroundWindow(menu);
        SetFocus(menu);
        ++g_target.menus;
        target_write_state();
        return true;
    }
    if (g_target.menuDelay == 0 || g_target.pendingKey != 0)
        return false;
    g_target.pendingKey = (LPARAM)ch;
    SetTimer(h, kMenuDelayTimer, g_target.menuDelay, nullptr);
    return true;
}

int cmd_target(const Args& a) {
    if (a.empty())
        return 2;
    g_target.path = a[0];
    const size_t slash = g_target.path.find_last_of(L"\\/");
    g_target.name = slash == std::wstring::npos ? g_target.path : g_target.path.substr(slash + 1);
    // Each option's mark before and after the name; plain marks also counts the saves in the caption.
    const wchar_t* const marks[][3] = {{L"marks", L"*", L""}, {L"marks=after", L"", L" \u2022"}};
    bool menuBar = true;
    for (size_t i = 1; i < a.size(); ++i) {
        const std::wstring& o = a[i];
        long long v = 0;
        if (o.rfind(L"menu-delay=", 0) == 0 && parse_int(o.substr(11), v)) {
            g_target.menuDelay = (UINT)v;
        } else if (o.rfind(L"linger=", 0) == 0 && parse_int(o.substr(7), v)) {
            g_target.linger = (UINT)v;
        } else if (o == L"no-menu" || o == L"own-menu") {
            menuBar = false;
            g_target.ownMenu |= o == L"own-menu";
        } else if (o == L"file-view") {
            menuBar = false;
            g_target.ribbon = true;
        } else if (o == L"ctrl-s" || o.rfind(L"untitled=", 0) == 0 || o == L"npp") {
            (o == L"ctrl-s" ? g_target.ctrlS : o == L"npp" ? g_target.npp : g_target.untitled) = true;
            if (o.rfind(L"untitled=", 0) == 0) // a new document the editor shows by a file's name
                g_target.name = o.substr(9);
            g_target.counted = false;
        } else {
            size_t f = 0;
            while (f < std::size(marks) && o != marks[f][0])
                ++f;
            if (f == std::size(marks))
                return 2;
            g_target.marks = true;
            g_target.counted &= f == 0;
            g_target.markLead = marks[f][1];
            g_target.markTail = marks[f][2];
        }
    }
    // Notepad++ shows the full path (a new document's name), and "*" before it while changed.
    if (g_target.npp && !g_target.untitled) {
        wchar_t full[MAX_PATH * 4] = {};
        const DWORD n = GetFullPathNameW(g_target.path.c_str(), (DWORD)std::size(full), full, nullptr);
        g_target.name = n > 0 && n < std::size(full) ? full : g_target.path;
    }
    g_target.marks |= g_target.npp;
    if (!g_target.counted || g_target.linger || g_target.ownMenu)
        g_target.statePath = g_target.path + L".state.json";
    const std::string content = read_bytes(g_target.path);
    const wchar_t* cls = g_target.npp ? L"Notepad++" : L"QuillonTarget";
    const HINSTANCE instance = register_window_class(target_proc, cls);
    register_window_class(target_menu_proc, L"QuillonOwnMenu");
    // Notepad++'s editing view is a Scintilla window: here an edit control under that class name.
    const wchar_t* text_class = L"EDIT";
    WNDCLASSEXW scintilla{};
    scintilla.cbSize = sizeof scintilla;
    if (g_target.npp && GetClassInfoExW(nullptr, L"EDIT", &scintilla)) {
        g_editProc = scintilla.lpfnWndProc;
        scintilla.lpfnWndProc = scintilla_proc;
        scintilla.hInstance = instance;
        text_class = scintilla.lpszClassName = L"Scintilla";
        RegisterClassExW(&scintilla);
    }
    HMENU bar = nullptr;
    if (menuBar) {
        HMENU file = CreatePopupMenu();
        AppendMenuW(file, MF_STRING, 101, L"&Save");
        AppendMenuW(file, MF_STRING, 102, L"Save &As...");
        bar = CreateMenu();
        AppendMenuW(bar, MF_POPUP, (UINT_PTR)file, L"&File");
    }
    HWND h = CreateWindowW(cls, L"", WS_OVERLAPPEDWINDOW, 80, 80, 420, 240, nullptr, bar, instance, nullptr);
    if (!h)
        return 1;
    g_target.top = h;
    g_target.edit = CreateWindowExW(WS_EX_CLIENTEDGE, text_class, from_utf8(content).c_str(),
                                    WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL, 0, 0, 10, 10,
                                    h, (HMENU)1, instance, nullptr);
    if (g_target.ribbon) {
        g_target.fileView = CreateWindowExW(0, L"LISTBOX", L"", WS_CHILD | WS_BORDER | LBS_WANTKEYBOARDINPUT, 0, 0,
                                            120, 10, h, (HMENU)2, instance, nullptr);
        SendMessageW(g_target.fileView, LB_ADDSTRING, 0, (LPARAM)L"Save");
        SendMessageW(g_target.fileView, LB_ADDSTRING, 0, (LPARAM)L"Save As");
    }
    if (!g_target.statePath.empty())
        SetWindowsHookExW(WH_GETMESSAGE, target_key_hook, nullptr, GetCurrentThreadId());
    target_caption(h); // and the state, before the window shows: whoever sees the window finds it
    ShowWindow(h, SW_SHOW);
    SetFocus(g_target.edit);
    const int end = GetWindowTextLengthW(g_target.edit);
    SendMessageW(g_target.edit, EM_SETSEL, (WPARAM)end, (LPARAM)end); // the caret at the end of the text
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        if (m.message == WM_SYSCHAR && target_alt_letter(h, m.wParam))
            continue;
        if (g_target.ctrlS && m.message == WM_KEYDOWN && m.wParam == 'S' && GetKeyState(VK_CONTROL) < 0) {
            SendMessageW(h, WM_COMMAND, MAKEWPARAM(101, 1), 0); // as an accelerator table would
            continue;
        }
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return 0;
}

// A program that stops answering: a titled, bordered window (class QuillonHangTarget, caption
// "hang target") that handles its messages for SECONDS, then minimises itself and never reads a
// message again, as a program that hangs does.
int cmd_hang(const Args& a) {
    long long seconds = 0;
    if (a.size() != 1 || !parse_int(a[0], seconds))
        return 2;
    const HINSTANCE instance = register_window_class(DefWindowProcW, L"QuillonHangTarget");
    HWND h = CreateWindowW(L"QuillonHangTarget", L"hang target", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60, 60, 320,
                           120, nullptr, nullptr, instance, nullptr);
    if (!h)
        return 1;
    const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
    MSG m;
    while (GetTickCount64() < until) {
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    ShowWindow(h, SW_MINIMIZE);
    Sleep(INFINITE);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Word and Excel stand-ins ("office") and a client for them ("doc")
//
// Another program reaches the document behind a Word or Excel window as Microsoft documents for
// their object model from outside (screen readers do this): AccessibleObjectFromWindow on the
// innermost document window with OBJID_NATIVEOM and IID_IDispatch. The window answers
// WM_GETOBJECT with LresultFromObject(IID_IDispatch, wParam, its Window object), whose Document
// (Word) or Parent (Excel) is the document with Saved, Path, FullName, ReadOnly, Save() and so on.
//
// The stand-in's objects are hand-written IDispatch implementations without a type library or
// any registration: the system's standard IDispatch proxy carries the calls between processes of
// either bitness. Its thread is a single-threaded apartment, so incoming calls arrive through its
// message loop like Word's and Excel's; a message filter plays "busy" (the call is rejected) and
// Invoke can play a hang or the program going away in the middle of a call.
//
// PowerPoint is reached the same way; WPS Writer follows Word's windows and object model and puts
// its application in the Running Object Table ("KWPS.Application"); LibreOffice Writer offers
// the service manager of its OLE Automation bridge as a running class object. Callers tell WPS
// and LibreOffice by their program files: tests run copies of the probe named wps.exe, soffice.bin.

// Runtime control: messages posted to the stand-in's top-level window.
constexpr UINT kOfficeBusy = WM_APP + 20;          // wParam ms: reject incoming calls that long (0: no more)
constexpr UINT kOfficeHangNextCall = WM_APP + 21;  // wParam ms: the next Invoke blocks the thread that long
constexpr UINT kOfficeChanged = WM_APP + 22;       // the document changes (Saved false) without typing
constexpr UINT kOfficeDieInNextCall = WM_APP + 23; // the next Invoke ends the process at once
constexpr UINT kOfficeDiedExitCode = 9;            // the exit code of that end

enum class OfficeKind { Word, Excel, PowerPoint, Wps, LibreOffice };

// Each kind as `probe office` names it, its window classes from the top-level window down to
// the document window, its name in captions and the name of a document never saved.
const struct { const wchar_t* arg; std::vector<const wchar_t*> classes; const wchar_t *program, *untitled; }
kOfficeKinds[] = {
    {L"word", {L"OpusApp", L"_WwF", L"_WwB", L"_WwG"}, L"Word", L"Document1"},
    {L"excel", {L"XLMAIN", L"XLDESK", L"EXCEL7"}, L"Excel", L"Book1"},
    {L"powerpoint", {L"PPTFrameClass", L"MDIClient", L"mdiClass"}, L"PowerPoint", L"Presentation1"},
    {L"wps", {L"OpusApp", L"_WwF", L"_WwB", L"_WwG"}, L"WPS Writer", L"Document1"},
    {L"soffice", {L"SALFRAME"}, L"LibreOffice Writer", L"Untitled 1"},
};

struct OfficeDocument {
    OfficeKind kind = OfficeKind::Word;
    std::wstring path, name, folder, statePath; // name and folder as the document reports them
    std::wstring title;                         // the window's caption
    bool readOnly = false, protectedView = false, autoSave = false, old = false, noObject = false;
    bool malformed = false, saveFails = false, hugePath = false, neverSaved = false;
    bool saved = true;
    // Options: locked (FILE held unshared), fill=BYTES (filler after the text in every write).
    bool locked = false;
    long long fill = 0;
    HANDLE file = INVALID_HANDLE_VALUE; // FILE open, when locked
    // DisplayAlerts: Word's (and WPS's) is a WdAlertLevel (-1 wdAlertsAll, 0 wdAlertsNone),
    // Excel's a VARIANT_BOOL (-1 true, 0 false), PowerPoint's a PpAlertLevel (2 ppAlertsAll,
    // 1 ppAlertsNone); LibreOffice has none.
    long alerts = -1;
    // DisplayAlerts refused: its read (alerts-refused), every put (put-refused), or the first N puts
    // of a value that asks questions again (put-back-refused=N); and a Save() that takes MS (save-delay=MS).
    bool alertsRefused = false, putRefused = false;
    long long putBackRefusals = 0, saveDelayMs = 0;
    bool anySave = false, anyCopy = false;
    long alertsAtSave = 0, alertsAtCopy = 0;
    long long saves = 0, calls = 0, rejected = 0, keys = 0, copies = 0;
    VARIANT filter{}; // the FilterName of the last storeToURL (VT_EMPTY: none)
    ULONGLONG busyUntil = 0;
    DWORD hangNextCallMs = 0;
    bool dieInNextCall = false;
    HWND top = nullptr, document = nullptr, edit = nullptr;
};
OfficeDocument g_office;

void office_alerts_json(Json& j, const char* k, long alerts) {
    if (g_office.kind == OfficeKind::LibreOffice)
        j.key(k).null();
    else if (g_office.kind == OfficeKind::Excel)
        j.kb(k, alerts != 0);
    else
        j.kv(k, alerts);
}

std::string variant_json(const VARIANT& v); // see the client below

// Rewrites FILE.state.json.
void office_write_state() {
    Json j;
    j.obj().kv("saves", g_office.saves).kv("calls", g_office.calls).kv("rejected", g_office.rejected);
    j.kv("keys", g_office.keys).kb("saved", g_office.saved);
    if (g_office.anySave)
        office_alerts_json(j, "alerts_at_save", g_office.alertsAtSave);
    else
        j.key("alerts_at_save").null();
    office_alerts_json(j, "alerts", g_office.alerts);
    j.kv("copies", g_office.copies);
    if (g_office.anyCopy)
        office_alerts_json(j, "alerts_at_copy", g_office.alertsAtCopy);
    else
        j.key("alerts_at_copy").null();
    j.key("filter").raw(variant_json(g_office.filter));
    j.end_obj();
    write_state(g_office.statePath, j);
}

// Every Invoke comes here first: it is counted, then it hangs or ends the program when a test
// asked for that.
void office_incoming_call() {
    ++g_office.calls;
    office_write_state();
    if (g_office.dieInNextCall)
        TerminateProcess(GetCurrentProcess(), kOfficeDiedExitCode);
    if (g_office.hangNextCallMs) {
        const DWORD ms = g_office.hangNextCallMs;
        g_office.hangNextCallMs = 0;
        Sleep(ms); // nothing is pumped meanwhile, as in a program whose thread is stuck
    }
}

// A failed Save or SaveCopyAs (method): Word's or Excel's exception.
HRESULT office_failure(EXCEPINFO* ex, const std::wstring& method) {
    office_write_state();
    const bool excel = g_office.kind == OfficeKind::Excel;
    if (ex) {
        *ex = EXCEPINFO{};
        ex->scode = excel ? (SCODE)0x800A03EC : (SCODE)0x800A1066;
        ex->bstrSource = SysAllocString(excel ? L"Microsoft Excel" : L"Microsoft Word");
        ex->bstrDescription = SysAllocString(excel ? (method + L" method of Workbook class failed").c_str()
                                                   : L"Command failed");
    }
    return DISP_E_EXCEPTION;
}

// The document as the program writes it: the edit's text (UTF-8) and fill=BYTES filler after it.
std::string office_bytes() {
    return to_utf8(text_of(g_office.edit)) + std::string((size_t)g_office.fill, 'x');
}

// Saves the document to FILE (locked: through the program's handle), or fails as save-fails asks.
// The DisplayAlerts value in force is recorded at every call, failed or not.
HRESULT office_save(EXCEPINFO* ex) {
    Sleep((DWORD)g_office.saveDelayMs); // a large document, a slow share: the program saves meanwhile
    g_office.anySave = true;
    g_office.alertsAtSave = g_office.alerts;
    if (g_office.saveFails || !write_bytes(g_office.path, office_bytes(), g_office.file))
        return office_failure(ex, L"Save");
    g_office.saved = true;
    ++g_office.saves;
    office_write_state();
    return S_OK;
}

HRESULT bstr_variant(VARIANT* v, const std::wstring& s) {
    v->vt = VT_BSTR;
    v->bstrVal = SysAllocStringLen(s.data(), (UINT)s.size());
    return v->bstrVal ? S_OK : E_OUTOFMEMORY;
}

HRESULT bool_variant(VARIANT* v, bool b) {
    v->vt = VT_BOOL;
    v->boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT dispatch_variant(VARIANT* v, IDispatch* d) {
    v->vt = VT_DISPATCH;
    v->pdispVal = d;
    d->AddRef();
    return S_OK;
}

HRESULT i4_variant(VARIANT* v, long n) {
    v->vt = VT_I4;
    v->lVal = n;
    return S_OK;
}

// A document's yes or no: PowerPoint's an MsoTriState (msoTrue -1, msoFalse 0), others' a Boolean.
HRESULT office_flag(VARIANT* v, bool b) {
    return g_office.kind == OfficeKind::PowerPoint ? i4_variant(v, b ? -1 : 0) : bool_variant(v, b);
}

bool office_word_model() { // which WPS follows
    return g_office.kind == OfficeKind::Word || g_office.kind == OfficeKind::Wps;
}

// A copy that leaves the document as it is (SaveCopyAs, storeToURL, a read of WordOpenXML): counted
// when made, and DisplayAlerts recorded whether made or not. Returns made.
bool office_copy(bool made) {
    g_office.anyCopy = true;
    g_office.alertsAtCopy = g_office.alerts;
    g_office.copies += made;
    office_write_state();
    return made;
}

// The document as Word's WordOpenXML gives it: a Flat OPC package, here its main part alone, the
// whole text in one run.
std::wstring office_word_xml() {
    std::wstring text;
    for (wchar_t c : text_of(g_office.edit))
        text += c == L'&' ? L"&amp;" : c == L'<' ? L"&lt;" : c == L'>' ? L"&gt;" : std::wstring(1, c);
    text.append((size_t)g_office.fill, L'x');
    return L"<?xml version=\"1.0\" standalone=\"yes\"?>\r\n<?mso-application progid=\"Word.Document\"?>\r\n"
           L"<pkg:package xmlns:pkg=\"http://schemas.microsoft.com/office/2006/xmlPackage\"><pkg:part pkg:name="
           L"\"/word/document.xml\"><pkg:xmlData><w:document xmlns:w=\"http://schemas.openxmlformats.org/"
           L"wordprocessingml/2006/main\"><w:body><w:p><w:r><w:t xml:space=\"preserve\">" +
           text + L"</w:t></w:r></w:p></w:body></w:document></pkg:xmlData></pkg:part></pkg:package>";
}

enum class Access { Get, GetPut, Method };

struct Member {
    const wchar_t* name;
    DISPID id;
    Access access;
    UINT args = 0; // a method's positional arguments
};

// An automation object with a fixed list of members, each a property (read-only or read-write,
// no arguments) or a method with a fixed number of positional arguments. The objects live as
// long as the program, so references are counted for the callers' sake only and nothing is deleted.
class Automation : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return (ULONG)InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override { return (ULONG)InterlockedDecrement(&refs_); }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info)
            *info = nullptr;
        return DISP_E_BADINDEX;
    }

    // Member names are matched without regard to case, as Visual Basic callers expect. No member
    // takes named arguments, so any name after the first is unknown.
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!IsEqualIID(riid, IID_NULL))
            return DISP_E_UNKNOWNINTERFACE;
        if (!names || !ids || count == 0)
            return E_INVALIDARG;
        for (UINT i = 0; i < count; ++i)
            ids[i] = DISPID_UNKNOWN;
        const Member* m = nullptr;
        for (const Member& candidate : members_)
            if (names[0] && _wcsicmp(candidate.name, names[0]) == 0)
                m = &candidate;
        if (!m)
            return DISP_E_UNKNOWNNAME;
        ids[0] = m->id;
        return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* ex, UINT* argErr) override {
        office_incoming_call();
        if (!IsEqualIID(riid, IID_NULL))
            return DISP_E_UNKNOWNINTERFACE;
        const Member* m = nullptr;
        for (const Member& candidate : members_)
            if (candidate.id == id)
                m = &candidate;
        if (!m)
            return DISP_E_MEMBERNOTFOUND;
        const UINT args = params ? params->cArgs : 0;
        if (result)
            VariantInit(result);
        VARIANT value;
        VariantInit(&value);
        HRESULT hr = S_OK;
        if (m->access == Access::Method) {
            if (!(flags & DISPATCH_METHOD))
                return DISP_E_MEMBERNOTFOUND;
            if (args != m->args)
                return DISP_E_BADPARAMCOUNT;
            hr = call(id, args ? &params->rgvarg[0] : nullptr, &value, ex);
        } else if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
            if (m->access != Access::GetPut)
                return DISP_E_MEMBERNOTFOUND;
            if (args != 1)
                return DISP_E_BADPARAMCOUNT;
            // The new value is the one named argument DISPID_PROPERTYPUT.
            if (params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                return DISP_E_PARAMNOTFOUND;
            hr = put(id, params->rgvarg[0]);
        } else if (!(flags & DISPATCH_PROPERTYGET)) { // Visual Basic reads with METHOD | PROPERTYGET
            return DISP_E_MEMBERNOTFOUND;
        } else if (args != 0) {
            return DISP_E_BADPARAMCOUNT;
        } else {
            hr = get(id, &value);
        }
        if (hr == DISP_E_TYPEMISMATCH && argErr)
            *argErr = 0;
        if (SUCCEEDED(hr) && result)
            *result = value;
        else
            VariantClear(&value);
        return hr;
    }

    virtual ~Automation() = default;

protected:
    virtual HRESULT get(DISPID, VARIANT*) { return DISP_E_MEMBERNOTFOUND; }
    virtual HRESULT put(DISPID, const VARIANT&) { return DISP_E_MEMBERNOTFOUND; }
    // A method; arg holds its arguments if it takes any, last first (as DISPPARAMS does), value its result.
    virtual HRESULT call(DISPID, const VARIANT* /*arg*/, VARIANT* /*value*/, EXCEPINFO*) {
        return DISP_E_MEMBERNOTFOUND;
    }

    std::vector<Member> members_;

private:
    LONG refs_ = 1;
};

// The application: DisplayAlerts; in Word's object model also Documents and ActiveDocument (the
// document in the window).
class OfficeApplicationObject : public Automation {
public:
    enum : DISPID { kDisplayAlerts = 1, kDocuments, kActiveDocument };
    void setup(IDispatch* documents, IDispatch* active) {
        documents_ = documents;
        active_ = active;
        members_ = {{L"DisplayAlerts", kDisplayAlerts, Access::GetPut}};
        if (office_word_model())
            members_.insert(members_.end(), {{L"Documents", kDocuments, Access::Get},
                                             {L"ActiveDocument", kActiveDocument, Access::Get}});
    }

protected:
    HRESULT get(DISPID id, VARIANT* value) override {
        if (id != kDisplayAlerts)
            return dispatch_variant(value, id == kDocuments ? documents_ : active_);
        if (g_office.alertsRefused)
            return E_FAIL;
        const bool excel = g_office.kind == OfficeKind::Excel;
        return excel ? bool_variant(value, g_office.alerts != 0) : i4_variant(value, g_office.alerts);
    }
    HRESULT put(DISPID, const VARIANT& in) override {
        const bool excel = g_office.kind == OfficeKind::Excel;
        VARIANT v;
        VariantInit(&v);
        if (FAILED(VariantChangeType(&v, const_cast<VARIANT*>(&in), 0, excel ? VT_BOOL : VT_I4)))
            return DISP_E_TYPEMISMATCH;
        const long none = g_office.kind == OfficeKind::PowerPoint ? 1 : 0;
        const long value = excel ? (long)v.boolVal : v.lVal;
        if (g_office.putRefused || (value != none && g_office.putBackRefusals > 0 && g_office.putBackRefusals--))
            return RPC_E_CALL_REJECTED;
        g_office.alerts = value;
        office_write_state();
        return S_OK;
    }

private:
    IDispatch *documents_ = nullptr, *active_ = nullptr;
};
OfficeApplicationObject g_officeApp;

// The document (Word, WPS), workbook (Excel) or presentation (PowerPoint). A copy of it without
// saving it: Excel's and PowerPoint's SaveCopyAs(FileName), Word's WordOpenXML.
class OfficeDocumentObject : public Automation {
public:
    enum : DISPID { kSaved = 1, kPath, kFullName, kName, kReadOnly, kAutoSaveOn, kApplication, kSave };
    enum : DISPID { kSaveCopyAs = kSave + 1, kWordOpenXML };
    void setup() {
        members_ = {{L"Saved", kSaved, Access::GetPut},       {L"Path", kPath, Access::Get},
                    {L"FullName", kFullName, Access::Get},    {L"Name", kName, Access::Get},
                    {L"ReadOnly", kReadOnly, Access::Get},    {L"Application", kApplication, Access::Get},
                    {L"Save", kSave, Access::Method}};
        if (!g_office.old) // older versions have no AutoSave
            members_.push_back({L"AutoSaveOn", kAutoSaveOn, Access::Get});
        if (!office_word_model())
            members_.push_back({L"SaveCopyAs", kSaveCopyAs, Access::Method, 1});
        else
            members_.push_back({L"WordOpenXML", kWordOpenXML, Access::Get});
    }

protected:
    HRESULT get(DISPID id, VARIANT* value) override {
        switch (id) {
        case kSaved:
            return g_office.malformed ? bstr_variant(value, L"yes") : office_flag(value, g_office.saved);
        case kPath:
            return bstr_variant(value, g_office.hugePath ? L"C:\\" + std::wstring(100000 - 3, L'x') : g_office.folder);
        case kFullName:
            return bstr_variant(value, g_office.neverSaved ? g_office.name : g_office.path);
        case kName:
            return bstr_variant(value, g_office.name);
        case kReadOnly:
            return office_flag(value, g_office.readOnly);
        case kAutoSaveOn:
            return bool_variant(value, g_office.autoSave);
        case kApplication:
            return dispatch_variant(value, &g_officeApp);
        case kWordOpenXML:
            office_copy(true);
            return bstr_variant(value, office_word_xml());
        }
        return DISP_E_MEMBERNOTFOUND;
    }
    HRESULT put(DISPID, const VARIANT& in) override {
        VARIANT v;
        VariantInit(&v);
        if (FAILED(VariantChangeType(&v, const_cast<VARIANT*>(&in), 0, VT_BOOL)))
            return DISP_E_TYPEMISMATCH;
        g_office.saved = v.boolVal != VARIANT_FALSE;
        office_write_state();
        return S_OK;
    }
    HRESULT call(DISPID id, const VARIANT* arg, VARIANT*, EXCEPINFO* ex) override {
        if (id == kSave)
            return office_save(ex);
        VARIANT name{};
        if (FAILED(VariantChangeType(&name, const_cast<VARIANT*>(arg), 0, VT_BSTR)))
            return DISP_E_TYPEMISMATCH;
        const std::wstring path(name.bstrVal ? name.bstrVal : L"");
        VariantClear(&name);
        const bool made = write_bytes(path, office_bytes());
        return office_copy(made) ? S_OK : office_failure(ex, L"SaveCopyAs");
    }
};
OfficeDocumentObject g_officeDoc;

// Word's Documents: Count, and Item(index) from 1.
class OfficeDocumentsObject : public Automation {
public:
    enum : DISPID { kItem = DISPID_VALUE, kCount };
    void setup() { members_ = {{L"Item", kItem, Access::Method, 1}, {L"Count", kCount, Access::Get}}; }

protected:
    HRESULT get(DISPID, VARIANT* value) override { return i4_variant(value, 1); }
    HRESULT call(DISPID, const VARIANT* arg, VARIANT* value, EXCEPINFO*) override {
        VARIANT i;
        VariantInit(&i);
        if (FAILED(VariantChangeType(&i, const_cast<VARIANT*>(arg), 0, VT_I4)))
            return DISP_E_TYPEMISMATCH;
        if (i.lVal != 1)
            return DISP_E_BADINDEX;
        return dispatch_variant(value, &g_officeDoc);
    }
};
OfficeDocumentsObject g_officeDocuments;

// The type information of the Window object: only its name ("Window", PowerPoint's
// "DocumentWindow", or "ProtectedViewWindow" for a document opened in Protected View), which is
// what callers look at to tell them apart.
class OfficeWindowTypeInfo : public ITypeInfo {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ITypeInfo)) {
            *out = static_cast<ITypeInfo*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return (ULONG)InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override { return (ULONG)InterlockedDecrement(&refs_); }

    HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID id, BSTR* name, BSTR* doc, DWORD* helpContext,
                                               BSTR* helpFile) override {
        if (id != MEMBERID_NIL)
            return TYPE_E_ELEMENTNOTFOUND;
        const bool powerpoint = g_office.kind == OfficeKind::PowerPoint;
        if (name && !(*name = SysAllocString(g_office.protectedView ? L"ProtectedViewWindow"
                                             : powerpoint ? L"DocumentWindow" : L"Window")))
            return E_OUTOFMEMORY;
        if (doc)
            *doc = nullptr;
        if (helpContext)
            *helpContext = 0;
        if (helpFile)
            *helpFile = nullptr;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT, FUNCDESC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVarDesc(UINT, VARDESC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNames(MEMBERID, BSTR*, UINT, UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT, HREFTYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT, INT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR*, UINT, MEMBERID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(PVOID, MEMBERID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID, INVOKEKIND, PVOID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, PVOID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMops(MEMBERID, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib**, UINT*) override { return E_NOTIMPL; }
    void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR*) override {}
    void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC*) override {}
    void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC*) override {}

    virtual ~OfficeWindowTypeInfo() = default;

private:
    LONG refs_ = 1;
};
OfficeWindowTypeInfo g_officeWindowType;

// The window: Document, Parent (Excel) or Presentation (PowerPoint), and Application; its type
// information names it.
class OfficeWindowObject : public Automation {
public:
    enum : DISPID { kDocument = 1, kApplication };
    void setup() {
        const OfficeKind kind = g_office.kind;
        const wchar_t* document = kind == OfficeKind::Excel        ? L"Parent"
                                  : kind == OfficeKind::PowerPoint ? L"Presentation"
                                                                   : L"Document";
        members_ = {{document, kDocument, Access::Get}, {L"Application", kApplication, Access::Get}};
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count)
            return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info)
            return E_POINTER;
        *info = nullptr;
        if (index != 0)
            return DISP_E_BADINDEX;
        *info = &g_officeWindowType;
        g_officeWindowType.AddRef();
        return S_OK;
    }

protected:
    HRESULT get(DISPID id, VARIANT* value) override {
        return dispatch_variant(value, id == kApplication ? static_cast<IDispatch*>(&g_officeApp)
                                                          : static_cast<IDispatch*>(&g_officeDoc));
    }
};
OfficeWindowObject g_officeWindow;

// A struct the bridge makes for its callers (Bridge_GetStruct): a com.sun.star.beans.PropertyValue,
// Name and Value, kept by value. The bridge knows its structs (made) again when a caller hands them back.
class UnoPropertyValue : public Automation {
public:
    UnoPropertyValue() {
        members_ = {{L"Name", 1, Access::GetPut}, {L"Value", 2, Access::GetPut}};
        bstr_variant(&fields[0], L"");
        made.push_back(this);
    }
    VARIANT fields[2]{}; // Name (a string), Value (any)
    inline static std::vector<UnoPropertyValue*> made;

protected:
    HRESULT get(DISPID id, VARIANT* value) override { return VariantCopy(value, &fields[id - 1]); }
    HRESULT put(DISPID id, const VARIANT& in) override {
        return VariantCopyInd(&fields[id - 1], const_cast<VARIANT*>(&in));
    }
};

// A document's file as LibreOffice names it, "file:///C:/docs/essay.odt" (the tests' paths need
// no escapes).
std::wstring file_url(std::wstring path) {
    for (wchar_t& c : path)
        c = c == L'\\' ? L'/' : c;
    return L"file:///" + path;
}

// A file URL back to a Windows path, its escapes UTF-8; "" for any other URL.
std::wstring path_of_url(const std::wstring& url) {
    if (_wcsnicmp(url.c_str(), L"file://", 7) != 0)
        return L"";
    std::string u = to_utf8(url.substr(url.compare(7, 1, L"/") == 0 ? 8 : 5)), bytes;
    for (size_t i = 0; i < u.size(); ++i) {
        const bool escape = u[i] == '%' && std::strspn(u.c_str() + i + 1, "0123456789ABCDEFabcdef") >= 2;
        bytes += escape ? (char)std::stoi(u.substr(i + 1, 2), nullptr, 16) : u[i] == '/' ? '\\' : u[i];
        i += escape ? 2 : 0;
    }
    return from_utf8(bytes);
}

// The objects of LibreOffice's automation bridge from the service manager to a document: role_
// says which one an object is. All members are methods, as in UNO; an enumeration starts afresh
// at each createEnumeration (callers take turns). The document copies itself without being saved
// by storeToURL(URL, Arguments), the media descriptor a sequence of PropertyValue structs.
class UnoObject : public Automation {
public:
    enum Role { kServiceManager, kDesktop, kComponents, kEnumeration, kModel, kController, kFrame };
    explicit UnoObject(Role role) : role_(role) {
        static const std::vector<const wchar_t*> names[] = {
            {L"createInstance", L"Bridge_GetStruct"}, {L"getComponents"}, {L"createEnumeration"},
            {L"hasMoreElements", L"nextElement"},
            {L"isModified", L"hasLocation", L"isReadonly", L"store", L"getCurrentController", L"getLocation",
             L"getIdentifier", L"storeToURL"},
            {L"getFrame"}, {L"getTitle"}};
        for (const wchar_t* name : names[role]) {
            const UINT args = role == kServiceManager ? 1 : std::wcscmp(name, L"storeToURL") == 0 ? 2 : 0;
            members_.push_back({name, (DISPID)members_.size() + 1, Access::Method, args});
        }
    }

protected:
    HRESULT call(DISPID id, const VARIANT* arg, VARIANT* value, EXCEPINFO* ex) override;

private:
    Role role_;
    bool given_ = false; // the enumeration gave its one component
};
UnoObject g_unoManager(UnoObject::kServiceManager), g_unoDesktop(UnoObject::kDesktop);
UnoObject g_unoComponents(UnoObject::kComponents), g_unoEnumeration(UnoObject::kEnumeration);
UnoObject g_unoModel(UnoObject::kModel), g_unoController(UnoObject::kController), g_unoFrame(UnoObject::kFrame);

// storeToURL: writes the document to the URL's file and keeps the media descriptor's FilterName
// (arguments: VT_ARRAY | VT_VARIANT, by reference or not, of the bridge's PropertyValue structs).
HRESULT uno_store_to_url(const VARIANT& url, const VARIANT& arguments) {
    const std::wstring path = url.vt == VT_BSTR && url.bstrVal ? path_of_url(url.bstrVal) : L"";
    const bool array = (arguments.vt & ~VT_BYREF) == (VT_ARRAY | VT_VARIANT);
    SAFEARRAY* list = !array ? nullptr : arguments.vt & VT_BYREF ? *arguments.pparray : arguments.parray;
    VARIANT* items = nullptr;
    if (path.empty() || !list || SafeArrayGetDim(list) != 1 ||
        FAILED(SafeArrayAccessData(list, (void**)&items)))
        return DISP_E_EXCEPTION; // IllegalArgumentException
    VariantClear(&g_office.filter);
    for (ULONG i = 0; i < list->rgsabound[0].cElements; ++i)
        for (UnoPropertyValue* p : UnoPropertyValue::made)
            if (items[i].vt == VT_DISPATCH && items[i].pdispVal == p &&
                variant_json(p->fields[0]) == "\"FilterName\"")
                VariantCopy(&g_office.filter, &p->fields[1]);
    SafeArrayUnaccessData(list);
    const bool made = write_bytes(path, office_bytes());
    return office_copy(made) ? S_OK : DISP_E_EXCEPTION;
}

HRESULT UnoObject::call(DISPID id, const VARIANT* arg, VARIANT* value, EXCEPINFO* ex) {
    switch (role_) {
    case kServiceManager:
        if (arg->vt != VT_BSTR || !arg->bstrVal)
            return DISP_E_EXCEPTION;
        if (id == 1 && std::wcscmp(arg->bstrVal, L"com.sun.star.frame.Desktop") == 0)
            return dispatch_variant(value, &g_unoDesktop);
        if (id == 2 && std::wcscmp(arg->bstrVal, L"com.sun.star.beans.PropertyValue") == 0)
            return dispatch_variant(value, new UnoPropertyValue); // lives as long as the program
        return DISP_E_EXCEPTION;                                  // no such service or struct
    case kDesktop:
        return dispatch_variant(value, &g_unoComponents);
    case kComponents:
        g_unoEnumeration.given_ = false;
        return dispatch_variant(value, &g_unoEnumeration);
    case kEnumeration:
        if (id == 1)
            return bool_variant(value, !given_);
        if (std::exchange(given_, true))
            return DISP_E_EXCEPTION; // NoSuchElementException
        return dispatch_variant(value, &g_unoModel);
    case kModel:
        switch (id) {
        case 1:
            return bool_variant(value, !g_office.saved);
        case 2:
            return bool_variant(value, !g_office.neverSaved);
        case 3:
            return bool_variant(value, g_office.readOnly);
        case 4:
            return office_save(ex);
        case 6:
            return bstr_variant(value, g_office.neverSaved ? L"" : file_url(g_office.path));
        case 7:
            return bstr_variant(value, L"com.sun.star.text.TextDocument");
        case 8:
            return uno_store_to_url(arg[1], arg[0]);
        }
        return dispatch_variant(value, &g_unoController);
    case kController:
        return dispatch_variant(value, &g_unoFrame);
    case kFrame:
        break;
    }
    return bstr_variant(value, g_office.title);
}

// The class object of the bridge's service manager, which the program offers while it runs:
// every instance a caller makes is the one service manager.
class UnoFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory) ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        return outer ? CLASS_E_NOAGGREGATION : g_unoManager.QueryInterface(riid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

    virtual ~UnoFactory() = default;
};
UnoFactory g_unoFactory;

// com.sun.star.ServiceManager, LibreOffice's bridge; and the stand-in's own class id for WPS's
// application, to which the harness maps the ProgID KWPS.Application.
const CLSID kUnoServiceManager = {0x82154420, 0x0FBF, 0x11d4, {0x83, 0x13, 0x00, 0x50, 0x04, 0x52, 0x6A, 0xB4}};
const CLSID kWpsApplication = {0x5dee938e, 0x42e3, 0x49cd, {0xb7, 0x5b, 0x18, 0x21, 0xbc, 0x80, 0x1f, 0x01}};

// Rejects incoming calls while the program plays "busy" (a modal dialog, a cell being edited):
// the caller gets RPC_E_CALL_REJECTED. (SERVERCALL_RETRYLATER would be the polite answer, but
// Wine treats it as "handled".)
class OfficeMessageFilter : public IMessageFilter {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMessageFilter)) {
            *out = static_cast<IMessageFilter*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
        if (GetTickCount64() < g_office.busyUntil) {
            ++g_office.rejected;
            office_write_state();
            return SERVERCALL_REJECTED;
        }
        return SERVERCALL_ISHANDLED;
    }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override { return (DWORD)-1; }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override { return PENDINGMSG_WAITDEFPROCESS; }

    virtual ~OfficeMessageFilter() = default;
};
OfficeMessageFilter g_officeFilter;

// The top-level window and the frames between it and the document window: each fills its one
// child and passes the focus on to the edit. The top-level window also takes the runtime control
// messages.
LRESULT CALLBACK office_frame_proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SIZE:
        if (HWND child = GetWindow(h, GW_CHILD))
            MoveWindow(child, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
        return 0;
    case WM_SETFOCUS:
        SetFocus(g_office.edit);
        return 0;
    case WM_GETOBJECT:
        // The document window alone holds the object model; lParam carries the object id as a
        // DWORD (not sign-extended in a 64-bit process), so compare 32 bits.
        if (h == g_office.document && (DWORD)lp == (DWORD)OBJID_NATIVEOM && !g_office.noObject)
            return LresultFromObject(IID_IDispatch, wp, static_cast<IDispatch*>(&g_officeWindow));
        break;
    case WM_COMMAND:
        if (HIWORD(wp) == EN_CHANGE && (HWND)lp == g_office.edit) {
            g_office.saved = false;
            office_write_state();
            return 0;
        }
        break;
    case kOfficeBusy:
        if (h == g_office.top) {
            g_office.busyUntil = GetTickCount64() + wp;
            return 0;
        }
        break;
    case kOfficeHangNextCall:
        if (h == g_office.top) {
            g_office.hangNextCallMs = (DWORD)wp;
            return 0;
        }
        break;
    case kOfficeChanged:
        if (h == g_office.top) {
            g_office.saved = false;
            office_write_state();
            return 0;
        }
        break;
    case kOfficeDieInNextCall:
        if (h == g_office.top) {
            g_office.dieInNextCall = true;
            return 0;
        }
        break;
    case WM_DESTROY:
        if (h == g_office.top)
            PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

// A stand-in for Word, Excel, PowerPoint, WPS or LibreOffice showing FILE (read as UTF-8) in an
// edit control that fills the innermost document window; see the section's comment and usage()
// for the window tree, the objects, the options and the runtime control. FILE.state.json beside
// FILE tells tests what happened: {"saves", "calls" (Invokes), "rejected" (calls refused while
// busy), "keys" (key-down messages the windows got), "saved", "alerts_at_save" (DisplayAlerts at
// the last Save(), null before any), "alerts" (DisplayAlerts now: Excel's a Boolean, LibreOffice's
// null, others' a number), "copies" (copies made without saving: SaveCopyAs, storeToURL, reads of
// WordOpenXML), "alerts_at_copy" (DisplayAlerts at the last, null before any), "filter" (the
// FilterName of the last storeToURL, null when it named none)}. Save() (store()) always writes FILE
// and counts, whatever the document claims to be (read-only, never saved, Protected View): a test
// tells from the count whether a caller saved a document it should have left alone. WM_CLOSE ends the program.
int cmd_office(const Args& a) {
    size_t kind = 0;
    while (kind < std::size(kOfficeKinds) && (a.empty() || a[0] != kOfficeKinds[kind].arg))
        ++kind;
    if (a.size() < 2 || kind == std::size(kOfficeKinds))
        return 2;
    g_office.kind = (OfficeKind)kind;
    bool unsaved = false;
    for (size_t i = 2; i < a.size(); ++i) {
        const std::wstring& o = a[i];
        if (o == L"never-saved")
            g_office.neverSaved = true;
        else if (o == L"read-only")
            g_office.readOnly = true;
        else if (o == L"protected")
            g_office.protectedView = true;
        else if (o == L"autosave")
            g_office.autoSave = true;
        else if (o == L"old")
            g_office.old = true;
        else if (o == L"no-object" || o == L"no-native")
            g_office.noObject = true;
        else if (o == L"malformed")
            g_office.malformed = true;
        else if (o == L"save-fails")
            g_office.saveFails = true;
        else if (o == L"huge-path")
            g_office.hugePath = true;
        else if (o == L"alerts-refused" || o == L"put-refused")
            (o == L"put-refused" ? g_office.putRefused : g_office.alertsRefused) = true;
        else if (o.rfind(L"put-back-refused=", 0) == 0 && parse_int(o.substr(17), g_office.putBackRefusals))
            continue;
        else if (o.rfind(L"save-delay=", 0) == 0 && parse_int(o.substr(11), g_office.saveDelayMs))
            continue;
        else if (o.rfind(L"fill=", 0) == 0 && parse_int(o.substr(5), g_office.fill))
            continue;
        else if (o == L"locked")
            g_office.locked = true;
        else if (o == L"unsaved")
            unsaved = true;
        else
            return 2;
    }
    wchar_t full[MAX_PATH * 4] = {};
    const DWORD n = GetFullPathNameW(a[1].c_str(), (DWORD)std::size(full), full, nullptr);
    g_office.path = n > 0 && n < std::size(full) ? std::wstring(full) : a[1];
    g_office.statePath = g_office.path + L".state.json";
    const size_t slash = g_office.path.find_last_of(L"\\/");
    if (g_office.neverSaved) {
        g_office.name = kOfficeKinds[kind].untitled;
    } else {
        g_office.name = slash == std::wstring::npos ? g_office.path : g_office.path.substr(slash + 1);
        g_office.folder = slash == std::wstring::npos ? L"" : g_office.path.substr(0, slash);
        if (g_office.folder.size() == 2 && g_office.folder[1] == L':') // a drive's root keeps its backslash
            g_office.folder += L'\\';
    }
    g_office.saved = !unsaved;
    if (g_office.kind == OfficeKind::LibreOffice)
        g_office.noObject = true; // its documents are reached through the bridge alone
    g_office.alerts = g_office.kind == OfficeKind::PowerPoint ? 2 : -1; // ppAlertsAll, wdAlertsAll, True
    const std::wstring content = from_utf8(read_bytes(g_office.path));
    // locked: FILE stays open, shared with nobody, while the program runs.
    if (g_office.locked &&
        (g_office.file = CreateFileW(g_office.path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                     OPEN_ALWAYS, 0, nullptr)) == INVALID_HANDLE_VALUE) {
        err("cannot open " + to_utf8(g_office.path));
        return 1;
    }

    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        err("CoInitializeEx failed");
        return 1;
    }
    IMessageFilter* previous = nullptr;
    CoRegisterMessageFilter(&g_officeFilter, &previous);
    g_officeApp.setup(&g_officeDocuments, &g_officeDoc);
    g_officeDoc.setup();
    g_officeDocuments.setup();
    g_officeWindow.setup();

    const std::vector<const wchar_t*>& classes = kOfficeKinds[kind].classes;
    HINSTANCE instance = nullptr;
    for (const wchar_t* cls : classes)
        instance = register_window_class(office_frame_proc, cls);
    g_office.title = g_office.name + L" - " + kOfficeKinds[kind].program;
    g_office.top = CreateWindowW(classes[0], g_office.title.c_str(), WS_OVERLAPPEDWINDOW, 100, 100, 480, 280,
                                 nullptr, nullptr, instance, nullptr);
    HWND parent = g_office.top;
    for (size_t i = 1; parent && i < classes.size(); ++i)
        parent = CreateWindowW(classes[i], L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 10, 10, parent,
                               nullptr, instance, nullptr);
    g_office.document = parent;
    if (!parent) {
        err("cannot create the windows");
        return 1;
    }
    g_office.edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", content.c_str(),
                                    WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL, 0, 0, 10, 10,
                                    parent, (HMENU)1, instance, nullptr);
    RECT client{};
    GetClientRect(g_office.top, &client);
    SendMessageW(g_office.top, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    // Both are offered before the window shows: whoever sees the window can reach the program.
    DWORD rot = 0, factory = 0;
    if (g_office.kind == OfficeKind::Wps &&
        FAILED(RegisterActiveObject(&g_officeApp, kWpsApplication, ACTIVEOBJECT_STRONG, &rot)))
        err("RegisterActiveObject failed");
    if (g_office.kind == OfficeKind::LibreOffice &&
        FAILED(CoRegisterClassObject(kUnoServiceManager, &g_unoFactory, CLSCTX_LOCAL_SERVER,
                                     REGCLS_MULTIPLEUSE, &factory)))
        err("CoRegisterClassObject failed");
    office_write_state(); // before the window shows: whoever sees the window finds the state
    ShowWindow(g_office.top, SW_SHOW);
    SetFocus(g_office.edit);
    const int end = GetWindowTextLengthW(g_office.edit);
    SendMessageW(g_office.edit, EM_SETSEL, (WPARAM)end, (LPARAM)end); // the caret at the end of the text
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        if ((m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN) && m.hwnd) {
            ++g_office.keys;
            office_write_state();
        }
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    if (rot)
        RevokeActiveObject(rot, nullptr);
    if (factory)
        CoRevokeClassObject(factory);
    CoRegisterMessageFilter(previous, nullptr);
    CoUninitialize();
    return 0;
}

BOOL CALLBACK find_word_document_proc(HWND h, LPARAM lp) {
    if (_wcsicmp(class_of(h).c_str(), L"_WwG") != 0)
        return TRUE;
    *(HWND*)lp = h;
    return FALSE;
}

// The innermost document window under a Word or Excel top-level window, or null.
HWND office_document_window(HWND top) {
    const std::wstring cls = class_of(top);
    if (_wcsicmp(cls.c_str(), L"XLMAIN") == 0) {
        HWND desk = FindWindowExW(top, nullptr, L"XLDESK", nullptr);
        return desk ? FindWindowExW(desk, nullptr, L"EXCEL7", nullptr) : nullptr;
    }
    if (_wcsicmp(cls.c_str(), L"OpusApp") != 0)
        return nullptr;
    HWND found = nullptr;
    EnumChildWindows(top, find_word_document_proc, (LPARAM)&found);
    return found;
}

// Calls a member of an automation object by name: without arguments, or (put) with the new value
// of a property.
HRESULT automation_call(IDispatch* d, const wchar_t* name, WORD kind, VARIANT* result, EXCEPINFO* ex = nullptr,
                        VARIANT* put = nullptr) {
    VariantInit(result);
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr))
        return hr;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{};
    if (put)
        params = DISPPARAMS{put, &named, 1, 1};
    return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, put ? nullptr : result, ex, nullptr);
}

// Reads a property that holds an object.
HRESULT automation_object(IDispatch* d, const wchar_t* name, IDispatch** out) {
    *out = nullptr;
    VARIANT v;
    HRESULT hr = automation_call(d, name, DISPATCH_PROPERTYGET, &v);
    if (SUCCEEDED(hr) && (v.vt != VT_DISPATCH || !v.pdispVal))
        hr = DISP_E_TYPEMISMATCH;
    if (SUCCEEDED(hr))
        hr = v.pdispVal->QueryInterface(IID_IDispatch, (void**)out);
    VariantClear(&v);
    return hr;
}

std::string variant_json(const VARIANT& v) {
    switch (v.vt) {
    case VT_BOOL:
        return v.boolVal ? "true" : "false";
    case VT_BSTR:
        return Json().str(std::wstring(v.bstrVal ? v.bstrVal : L"", SysStringLen(v.bstrVal))).text();
    case VT_I4:
        return num(v.lVal);
    case VT_I2:
        return num(v.iVal);
    case VT_EMPTY:
    case VT_NULL:
        return "null";
    default:
        return Json().str("VARIANT type " + num(v.vt)).text();
    }
}

// doc read|save|save-quiet HWND: reads (after Save() with "save"; with "save-quiet" Save() with
// the application's DisplayAlerts switched off around it and restored after) what a caller looks
// at in a Word or Excel document through the object model, stopping at the first failing call.
// JSON: {"type",
// "saved", "path", "read_only", "auto_save_on" (null when the member is unknown), "exception"
// (the description of a failed Save, else null), "hresult" (the first failing HRESULT, or null)};
// what was not read is null. Exit code 1 when a call failed.
int cmd_doc(const Args& a) {
    if (a.size() != 2 || (a[0] != L"read" && a[0] != L"save" && a[0] != L"save-quiet"))
        return 2;
    HWND top = resolve(a[1]);
    HWND document = top ? office_document_window(top) : nullptr;
    if (!document) {
        err("no Word or Excel document window under " + to_utf8(a[1]));
        return 1;
    }
    const bool excel = _wcsicmp(class_of(top).c_str(), L"XLMAIN") == 0;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        err("CoInitializeEx failed");
        return 1;
    }
    HRESULT first = S_OK;
    const auto ok = [&first](HRESULT hr) {
        if (FAILED(hr) && SUCCEEDED(first))
            first = hr;
        return SUCCEEDED(first);
    };
    std::string type = "null", exception = "null";
    struct Field {
        const char* key;
        const wchar_t* member;
        std::string value;
    } fields[] = {{"saved", L"Saved", "null"},
                  {"path", L"Path", "null"},
                  {"read_only", L"ReadOnly", "null"},
                  {"auto_save_on", L"AutoSaveOn", "null"}};
    IDispatch* window = nullptr;
    IDispatch* doc = nullptr;
    VARIANT v;
    VariantInit(&v);
    if (ok(AccessibleObjectFromWindow(document, (DWORD)OBJID_NATIVEOM, IID_IDispatch, (void**)&window))) {
        ITypeInfo* info = nullptr;
        BSTR name = nullptr;
        if (ok(window->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info)) &&
            ok(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr)))
            type = Json().str(std::wstring(name ? name : L"")).text();
        SysFreeString(name);
        if (info)
            info->Release();
    }
    if (SUCCEEDED(first))
        ok(automation_object(window, excel ? L"Parent" : L"Document", &doc));
    IDispatch* app = nullptr;
    VARIANT alerts;
    VariantInit(&alerts);
    if (SUCCEEDED(first) && a[0] == L"save-quiet" && ok(automation_object(doc, L"Application", &app)) &&
        ok(automation_call(app, L"DisplayAlerts", DISPATCH_PROPERTYGET, &alerts))) {
        VARIANT off;
        VariantInit(&off);
        off.vt = excel ? VT_BOOL : VT_I4; // Excel: False; Word: wdAlertsNone
        off.lVal = 0;
        if (excel)
            off.boolVal = VARIANT_FALSE;
        ok(automation_call(app, L"DisplayAlerts", DISPATCH_PROPERTYPUT, &v, nullptr, &off));
    }
    if (SUCCEEDED(first) && a[0] != L"read") {
        EXCEPINFO ex{};
        if (!ok(automation_call(doc, L"Save", DISPATCH_METHOD, &v, &ex)) && ex.bstrDescription)
            exception = Json().str(std::wstring(ex.bstrDescription)).text();
        SysFreeString(ex.bstrSource);
        SysFreeString(ex.bstrDescription);
        SysFreeString(ex.bstrHelpFile);
        VariantClear(&v);
    }
    if (app && alerts.vt != VT_EMPTY) // put back what was there, whether the save worked or not
        ok(automation_call(app, L"DisplayAlerts", DISPATCH_PROPERTYPUT, &v, nullptr, &alerts));
    VariantClear(&alerts);
    if (app)
        app->Release();
    for (Field& f : fields) {
        if (FAILED(first))
            break;
        const HRESULT hr = automation_call(doc, f.member, DISPATCH_PROPERTYGET, &v);
        if (hr == DISP_E_UNKNOWNNAME && std::string(f.key) == "auto_save_on")
            continue; // older versions have no AutoSave: null
        if (ok(hr))
            f.value = variant_json(v);
        VariantClear(&v);
    }
    if (doc)
        doc->Release();
    if (window)
        window->Release();
    CoUninitialize();
    Json j;
    j.obj().key("type").raw(type);
    for (const Field& f : fields)
        j.key(f.key).raw(f.value);
    j.key("exception").raw(exception);
    if (FAILED(first)) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08lx", (unsigned long)first);
        j.kv("hresult", code);
    } else {
        j.key("hresult").null();
    }
    j.end_obj();
    outln(j.text());
    return SUCCEEDED(first) ? 0 : 1;
}

// Opens and closes a program's tray menu COUNT times, as fast as the program answers: the icon's
// right-button callback (WM_MOUSEMOVE with wParam = UID 1 and lParam = WM_RBUTTONUP), then Escape
// posted to the owner once the menu shows, which the menu's own loop reads. Prints how many
// menus opened and closed.
int cmd_menuloop(const Args& a) {
    long long count = 0;
    if (a.size() != 2 || !parse_int(a[1], count))
        return 2;
    HWND owner = resolve(a[0]);
    if (!owner)
        return 1;
    const auto menu_shown = [] {
        HWND menu = FindWindowW(L"#32768", nullptr);
        return menu != nullptr && IsWindowVisible(menu);
    };
    const auto wait = [](auto&& condition) {
        for (int i = 0; i < 500; ++i) {
            if (condition())
                return true;
            Sleep(10);
        }
        return false;
    };
    long long done = 0;
    for (; done < count; ++done) {
        SendNotifyMessageW(owner, WM_MOUSEMOVE, 1, WM_RBUTTONUP);
        if (!wait(menu_shown))
            break;
        PostMessageW(owner, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageW(owner, WM_KEYUP, VK_ESCAPE, 0xC0010001);
        if (!wait([&] { return !menu_shown(); }))
            break;
    }
    outln(num(done));
    return done == count ? 0 : 1;
}

// Removes a notification-area icon by its owner window and ID, as the shell would when the
// taskbar is re-created: the way to see whether a program puts its icon back.
int cmd_traydelete(const Args& a) {
    long long id = 0;
    if (a.size() != 2 || !parse_int(a[1], id))
        return 2;
    HWND owner = resolve(a[0]);
    if (!owner)
        return 1;
    NOTIFYICONDATAW data{};
    data.cbSize = NOTIFYICONDATAW_V1_SIZE;
    data.hWnd = owner;
    data.uID = static_cast<UINT>(id);
    return Shell_NotifyIconW(NIM_DELETE, &data) ? 0 : 1;
}

int cmd_regmsg(const Args& a) {
    if (a.size() != 1)
        return 2;
    UINT id = RegisterWindowMessageW(a[0].c_str());
    if (!id)
        return 1;
    outln(num(id));
    return 0;
}

int cmd_foreground(const Args&) {
    GUITHREADINFO gti{};
    gti.cbSize = sizeof gti;
    GetGUIThreadInfo(0, &gti);
    HWND h = GetForegroundWindow();
    Json j;
    j.obj();
    j.kv("hwnd", (unsigned long long)(ULONG_PTR)h);
    if (h) {
        j.kv("class", class_of(h)).kv("caption", text_of(h)).kv("pid", pid_of(h));
        j.kv("exe", exe_of_pid(pid_of(h)));
    }
    j.kv("focus_hwnd", (unsigned long long)(ULONG_PTR)gti.hwndFocus);
    if (gti.hwndFocus) {
        bool child = (GetWindowLongW(gti.hwndFocus, GWL_STYLE) & WS_CHILD) != 0;
        j.kv("focus_class", class_of(gti.hwndFocus)).kv("focus_id", child ? GetDlgCtrlID(gti.hwndFocus) : -1);
    }
    j.kb("in_menu", (gti.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE | GUI_SYSTEMMENUMODE)) != 0);
    j.kv("menu_owner", (unsigned long long)(ULONG_PTR)gti.hwndMenuOwner);
    j.kv("capture", (unsigned long long)(ULONG_PTR)gti.hwndCapture);
    j.end_obj();
    outln(j.text());
    return 0;
}

// The desktop window: in a Wine virtual desktop its X window is the one X window of the session.
int cmd_desktop(const Args&) {
    HWND d = GetDesktopWindow();
    RECT r{};
    GetWindowRect(d, &r);
    Json j;
    j.obj().kv("hwnd", (unsigned long long)(ULONG_PTR)d).kv("xid", xid_of(d));
    rect_json(j, "rect", r);
    j.end_obj();
    outln(j.text());
    return 0;
}

// Makes the window the foreground window; true once GetForegroundWindow() says so, checked every
// poll_ms for up to 2 s.
bool bring_to_front(HWND h, DWORD poll_ms) {
    if (IsIconic(h))
        ShowWindow(h, SW_RESTORE);
    // Windows lets a background process take the foreground only in some cases; the usual way
    // around it is to attach to the foreground thread's input for the moment of the switch.
    HWND fg = GetForegroundWindow();
    DWORD me = GetCurrentThreadId();
    DWORD fg_tid = fg ? GetWindowThreadProcessId(fg, nullptr) : 0;
    bool attached = fg_tid && fg_tid != me && AttachThreadInput(me, fg_tid, TRUE);
    BringWindowToTop(h);
    SetForegroundWindow(h);
    if (attached)
        AttachThreadInput(me, fg_tid, FALSE);
    DWORD start = GetTickCount();
    while (GetForegroundWindow() != h && GetTickCount() - start < 2000)
        Sleep(poll_ms);
    return GetForegroundWindow() == h;
}

int cmd_activate(const Args& a) {
    HWND h = a.empty() ? need_target() : resolve(a[0]);
    if (!h) {
        err("no such window");
        return 1;
    }
    bool ok = bring_to_front(h, 20);
    outln(num((long long)(ULONG_PTR)h));
    if (!ok)
        err("window did not become the foreground window");
    return ok ? 0 : 1;
}

int cmd_keystate(const Args&) {
    const NamedValue keys[] = {{L"shift", VK_SHIFT},  {L"lshift", VK_LSHIFT},  {L"rshift", VK_RSHIFT},
                               {L"ctrl", VK_CONTROL}, {L"lctrl", VK_LCONTROL}, {L"rctrl", VK_RCONTROL},
                               {L"alt", VK_MENU},     {L"lalt", VK_LMENU},     {L"ralt", VK_RMENU},
                               {L"f2", VK_F2},        {L"f3", VK_F3}};
    Json j;
    j.obj();
    for (const auto& k : keys)
        j.kb(to_utf8(k.name).c_str(), (GetAsyncKeyState((int)k.value) & 0x8000) != 0);
    j.end_obj();
    outln(j.text());
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Benchmark helpers (tools/bench): crowds of windows and timings taken inside Wine, where a
// probe started per measurement would cost more than what is measured.

double now_ms() {
    LARGE_INTEGER t{}, f{};
    QueryPerformanceCounter(&t);
    QueryPerformanceFrequency(&f);
    return (double)t.QuadPart * 1000.0 / (double)f.QuadPart;
}

std::string ms(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    return buf;
}

// A visible top-level window of the class that belongs to the process, or null.
HWND visible_window_of(const std::wstring& cls, DWORD pid) {
    HWND h = nullptr;
    while ((h = FindWindowExW(nullptr, h, cls.c_str(), nullptr)) != nullptr)
        if (IsWindowVisible(h) && (pid == 0 || pid_of(h) == pid))
            return h;
    return nullptr;
}

// Shows N visible, bordered top-level windows titled "bench window 0001" ... (cascaded over the
// screen, none activated), prints "ready N" and keeps them until the process is ended.
int cmd_manywindows(const Args& a) {
    long long n = 0;
    if (a.size() != 1 || !parse_int(a[0], n) || n < 1 || n > 20000)
        return 2;
    const HINSTANCE instance = register_window_class(DefWindowProcW, L"QuillonBenchWindow");
    for (long long i = 1; i <= n; ++i) {
        wchar_t title[64];
        std::swprintf(title, 64, L"bench window %04lld", i);
        int x = (int)(i % 40) * 20, y = (int)((i / 40) % 25) * 24;
        HWND h = CreateWindowExW(0, L"QuillonBenchWindow", title, WS_OVERLAPPED | WS_CAPTION | WS_BORDER, x, y,
                                 180, 60, nullptr, nullptr, instance, nullptr);
        if (!h) {
            err("CreateWindow failed at window " + num(i) + ": " + num(GetLastError()));
            return 1;
        }
        ShowWindow(h, SW_SHOWNOACTIVATE);
        // Keep answering while the crowd grows (the shell and the X driver talk to the windows).
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&m);
    }
    outln("ready " + num(n));
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0)
        DispatchMessageW(&m);
    return 0;
}

// Starts a program and times, from just before CreateProcess, until a visible window of CLASS of
// that process exists and (LIST_ID not 0) until that list box in it holds an entry. JSON:
// {"pid", "shown_ms", "filled_ms"}. The program keeps running.
int cmd_launchtime(const Args& a) {
    long long list_id = 0, timeout = 30000;
    if (a.size() < 2 || a.size() > 4 || (a.size() > 2 && !parse_int(a[2], list_id)) ||
        (a.size() > 3 && !parse_int(a[3], timeout)))
        return 2;
    const std::wstring& exe = a[0];
    const std::wstring& cls = a[1];
    std::wstring folder =
        exe.substr(0, exe.find_last_of(L"\\/") == std::wstring::npos ? 0 : exe.find_last_of(L"\\/"));
    std::wstring cmdline = L"\"" + exe + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    double t0 = now_ms();
    if (!CreateProcessW(exe.c_str(), cmdline.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
        err("CreateProcess failed: " + num(GetLastError()));
        return 1;
    }
    CloseHandle(pi.hThread);
    HWND main = nullptr;
    double shown = -1, filled = -1;
    while (!(main = visible_window_of(cls, pi.dwProcessId))) {
        if (now_ms() - t0 > timeout || WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) {
            err("no visible window of class " + to_utf8(cls));
            return 1;
        }
        Sleep(2);
    }
    shown = now_ms() - t0;
    if (list_id) {
        HWND list = nullptr;
        for (;;) {
            if (!list)
                list = find_control(main, (int)list_id);
            LRESULT count = 0;
            if (list && send(list, LB_GETCOUNT, 0, 0, &count, 5000) && count > 0)
                break;
            if (now_ms() - t0 > timeout) {
                err("list " + num(list_id) + " still empty");
                return 1;
            }
            Sleep(2);
        }
        filled = now_ms() - t0;
    }
    CloseHandle(pi.hProcess);
    Json j;
    j.obj()
        .kv("pid", pi.dwProcessId)
        .key("shown_ms")
        .raw(ms(shown))
        .key("filled_ms")
        .raw(ms(filled))
        .end_obj();
    outln(j.text());
    return 0;
}

// Pings a window with WM_NULL every 50 ms and keeps the longest wait for its answer.
struct StallWatch {
    HWND window;
    volatile LONG stop = 0;
    double longest = 0;
    int pings = 0;
};

DWORD WINAPI stall_watch_thread(LPVOID p) {
    auto* w = (StallWatch*)p;
    while (!w->stop) {
        double t0 = now_ms();
        DWORD_PTR r = 0;
        SendMessageTimeoutW(w->window, WM_NULL, 0, 0, SMTO_NORMAL, 120000, &r);
        double took = now_ms() - t0;
        if (took > w->longest)
            w->longest = took;
        ++w->pings;
        double left = 50 - took;
        if (left > 0)
            Sleep((DWORD)left);
    }
    return 0;
}

// Clicks a button of the target window (its WM_COMMAND, sent) and times until the list box
// LIST_ID holds at least MIN_COUNT entries, while another thread pings the window. JSON:
// {"handler_ms", "filled_ms", "count", "longest_stall_ms", "pings"}.
int cmd_refreshtime(const Args& a) {
    long long button_id = 0, list_id = 0, min_count = 0, timeout = 120000;
    if (a.size() < 3 || a.size() > 4 || !parse_int(a[0], button_id) || !parse_int(a[1], list_id) ||
        !parse_int(a[2], min_count) || (a.size() > 3 && !parse_int(a[3], timeout)))
        return 2;
    HWND main = need_target();
    if (!main)
        return 1;
    HWND button = need_control(main, a[0]);
    HWND list = need_control(main, a[1]);
    if (!button || !list)
        return 1;
    StallWatch watch{main};
    HANDLE thread = CreateThread(nullptr, 0, stall_watch_thread, &watch, 0, nullptr);
    Sleep(120); // a few pings of the idle window first
    double t0 = now_ms();
    LRESULT r = 0;
    send(main, WM_COMMAND, MAKEWPARAM((WORD)button_id, BN_CLICKED), (LPARAM)button, &r, (DWORD)timeout);
    double handler = now_ms() - t0;
    LRESULT count = 0;
    for (;;) {
        if (send(list, LB_GETCOUNT, 0, 0, &count, (DWORD)timeout) && count >= min_count)
            break;
        if (now_ms() - t0 > timeout) {
            err("list holds " + num(count) + " entries, not " + num(min_count));
            break;
        }
        Sleep(2);
    }
    double filled = now_ms() - t0;
    Sleep(120);
    InterlockedExchange(&watch.stop, 1);
    WaitForSingleObject(thread, 130000);
    CloseHandle(thread);
    Json j;
    j.obj().key("handler_ms").raw(ms(handler)).key("filled_ms").raw(ms(filled)).kv("count", (long long)count);
    j.key("longest_stall_ms").raw(ms(watch.longest)).kv("pings", watch.pings).end_obj();
    outln(j.text());
    return count >= min_count ? 0 : 1;
}

// SendNotifyMessage to the target window (as the shell sends tray callbacks) and times until a
// visible top-level window of CLASS (#32768 for a popup menu) of the target's process exists.
// JSON: {"shown_ms"}.
int cmd_notifytime(const Args& a) {
    long long msg = 0, w = 0, l = 0, timeout = 30000;
    if (a.size() < 4 || a.size() > 5 || !parse_value(a[0], msg, true) || !parse_value(a[1], w, false) ||
        !parse_value(a[2], l, false) || (a.size() > 4 && !parse_int(a[4], timeout)))
        return 2;
    HWND main = need_target();
    if (!main)
        return 1;
    DWORD pid = pid_of(main);
    double t0 = now_ms();
    if (!SendNotifyMessageW(main, (UINT)msg, (WPARAM)w, (LPARAM)l)) {
        err("SendNotifyMessage failed: " + num(GetLastError()));
        return 1;
    }
    while (!visible_window_of(a[3], pid)) {
        if (now_ms() - t0 > timeout) {
            err("no visible window of class " + to_utf8(a[3]));
            return 1;
        }
        Sleep(1);
    }
    Json j;
    j.obj().key("shown_ms").raw(ms(now_ms() - t0)).end_obj();
    outln(j.text());
    return 0;
}


// ---------------------------------------------------------------------------------------------
// The foreground over time, seen from inside Wine

// Samples GetForegroundWindow every 2 ms for MS milliseconds and prints one line of JSON for the
// first sample and for every change: {"t": ms since the start, "hwnd", "pid", "class"}. Each line
// goes out with its own WriteFile, unbuffered, so a log that captures the output has it at once.
int cmd_fgwatch(const Args& a) {
    long long duration = 0;
    if (a.size() != 1 || !parse_int(a[0], duration) || duration < 0)
        return 2;
    // A change must not slip between two samples because this thread waited for a core.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    const double start = now_ms();
    HWND last = nullptr;
    for (bool first = true;; first = false) {
        const double t = now_ms() - start;
        HWND h = GetForegroundWindow();
        if (first || h != last) {
            last = h;
            Json j;
            j.obj().kv("t", (long long)t).kv("hwnd", (unsigned long long)(ULONG_PTR)h).kv("pid", pid_of(h));
            j.kv("class", h ? class_of(h) : std::wstring()).end_obj();
            outln(j.text());
        }
        if (t >= (double)duration)
            return 0;
        Sleep(2);
    }
}

// Gives HWND|CLASS the foreground for MS milliseconds, then gives it back to the window that had
// it, as a program that takes the front for a moment would. JSON: {"hwnd", "back", "held_ms"}:
// held_ms runs from the moment the window was seen in front until the front was given back.
int cmd_visit(const Args& a) {
    long long hold = 0;
    if (a.size() != 2 || !parse_int(a[1], hold) || hold < 0)
        return 2;
    HWND h = resolve(a[0]);
    if (!h) {
        err("no such window");
        return 1;
    }
    HWND back = GetForegroundWindow();
    if (!bring_to_front(h, 1)) {
        err("window did not become the foreground window");
        return 1;
    }
    const double shown = now_ms();
    Sleep((DWORD)hold);
    const double held = now_ms() - shown;
    const bool returned = back && bring_to_front(back, 1);
    Json j;
    j.obj().kv("hwnd", (unsigned long long)(ULONG_PTR)h).kv("back", (unsigned long long)(ULONG_PTR)back);
    j.key("held_ms").raw(ms(held)).end_obj();
    outln(j.text());
    if (!returned)
        err("the front did not go back to the window that had it");
    return returned ? 0 : 1;
}

// ---------------------------------------------------------------------------------------------

void usage() {
    out("usage: probe [options] COMMAND [ARGS]\n"
        "\n"
        "options (anywhere; \"--\" ends them):\n"
        "  --class CLASS     target top-level window class (default frmMain)\n"
        "  --hwnd HWND       target window by handle (decimal)\n"
        "  --timeout MS      timeout for queries sent to the target (default 5000)\n"
        "  --action-timeout MS  how long click/close/... wait for the handler (default 2000);\n"
        "                    a handler still running then (modal box, menu) prints \"pending\"\n"
        "  --post            post actions instead of sending them (returns at once)\n"
        "  --all             windows: include hidden windows\n"
        "\n"
        "commands:\n"
        "  wait [CLASS] [TIMEOUT_MS]     wait for a visible top-level window; print its HWND\n"
        "  gone [CLASS] [TIMEOUT_MS]     wait until no visible window of the class is left\n"
        "  dump [CLASS|HWND]             JSON: the window and all its controls\n"
        "  windows                       JSON: visible top-level windows (--all: every one)\n"
        "  foreground                    JSON: foreground window, focus, menu mode\n"
        "  click ID                      BM_CLICK on a button / check box / radio button\n"
        "  command ID [CODE]             WM_COMMAND(ID, CODE=BN_CLICKED) to the control's parent\n"
        "  settext ID TEXT               WM_SETTEXT; for a combo box's edit field and a multi-line\n"
        "                                edit also the change notification to the parent\n"
        "  gettext ID                    print WM_GETTEXT of a control\n"
        "  select ID INDEX               list/combo box: set selection and notify the parent\n"
        "  close                         WM_CLOSE to the window\n"
        "  syscommand N                  WM_SYSCOMMAND N (number or SC_ name)\n"
        "  minimize | restore            WM_SYSCOMMAND SC_MINIMIZE / SC_RESTORE\n"
        "  notify MSG [WPARAM [LPARAM]]  SendNotifyMessageW to the window\n"
        "  send MSG [WPARAM [LPARAM]]    SendMessage, print the result\n"
        "  post MSG [WPARAM [LPARAM]]    PostMessage\n"
        "  regmsg NAME                   RegisterWindowMessageW, print the id\n"
        "  traydelete HWND|CLASS UID     remove that window's notification-area icon\n"
        "  keylog                        show a window that lists the keys it gets in its caption\n"
        "  target FILE [OPTION...]       show a document window (QuillonTarget) with a File menu\n"
        "                                whose Save writes its text to FILE. OPTIONs: menu-delay=MS\n"
        "                                no-menu file-view marks; marks=after\n"
        "                                ctrl-s untitled=NAME own-menu linger=MS npp (Notepad++: class,\n"
        "                                caption, WM_USER+1038 saves, text in a Scintilla edit; with\n"
        "                                untitled=NAME a new tab) also write FILE.state.json\n"
        "  hang SECONDS                  show a window that answers for SECONDS, minimises and hangs\n"
        "  office KIND FILE [OPTION...]  a stand-in for word (OpusApp > _WwF > _WwB > _WwG), excel\n"
        "                                (XLMAIN > XLDESK > EXCEL7), powerpoint (PPTFrameClass >\n"
        "                                MDIClient > mdiClass) or wps (as word) showing FILE, whose\n"
        "                                document window answers WM_GETOBJECT(OBJID_NATIVEOM) with its\n"
        "                                Window object (wps also in the Running Object Table), or for\n"
        "                                soffice (SALFRAME, through its automation bridge); state in\n"
        "                                FILE.state.json. OPTIONs: never-saved read-only protected\n"
        "                                autosave old no-object no-native\n"
        "                                malformed save-fails huge-path unsaved alerts-refused\n"
        "                                put-refused put-back-refused=N save-delay=MS locked (FILE\n"
        "                                held unshared) fill=BYTES (filler written after the text).\n"
        "                                Copies: SaveCopyAs (excel, powerpoint), WordOpenXML (word,\n"
        "                                wps), storeToURL (soffice). Post to its window:\n"
        "                                WM_APP+20 MS busy (calls rejected) for MS, 0 ends it;\n"
        "                                WM_APP+21 MS the next call hangs MS; WM_APP+22 changed;\n"
        "                                WM_APP+23 the next call ends the program (exit code 9)\n"
        "  doc read|save|save-quiet HWND|CLASS   JSON: type, saved, path, read_only, auto_save_on,\n"
        "                                exception and hresult of a Word/Excel document (save:\n"
        "                                Save() first; save-quiet: with DisplayAlerts off around it)\n"
        "  fgwatch MS                    one JSON line per foreground change (2 ms samples) for MS\n"
        "  visit HWND|CLASS MS           give the window the front for MS ms, then give it back\n"
        "  menuloop HWND|CLASS COUNT     open and close the program's tray menu COUNT times\n"
        "  objects                       JSON: menus and GDI objects of the target's program\n"
        "  activate [HWND|CLASS]         make the window the foreground window\n"
        "  desktop                       JSON: the desktop window (its X window in a virtual desktop)\n"
        "  keystate                      JSON: Shift/Ctrl/Alt/F2/F3 as GetAsyncKeyState sees them\n"
        "  sysmenu                       JSON: items of the window's system menu (id, text, state)\n"
        "  menubar                       JSON: items of the window's menu bar\n"
        "  popups                        JSON: popup menus of the program open right now, with\n"
        "                                item rectangles on screen (tray menu, system menu)\n"
        "  fonts                         JSON: font of the window and each control (face, points)\n"
        "  trayicons                     JSON: notification area icons shown now: mode, count,\n"
        "                                screen rectangles and tooltip texts\n"
        "  tooltips                      JSON: tooltip windows visible now and their text\n"
        "  manywindows N                 show N bordered windows \"bench window 0001\"...; print\n"
        "                                \"ready N\" and keep them until ended (benchmarks)\n"
        "  launchtime EXE CLASS [LIST_ID] [TIMEOUT_MS]   start EXE; JSON: ms until its CLASS\n"
        "                                window shows and (LIST_ID) until that list has an entry\n"
        "  refreshtime BUTTON_ID LIST_ID MIN_COUNT [TIMEOUT_MS]   JSON: ms from the button's\n"
        "                                WM_COMMAND until the list holds MIN_COUNT entries, and\n"
        "                                the longest wait for WM_NULL (pinged every 50 ms)\n"
        "  notifytime MSG WPARAM LPARAM CLASS [TIMEOUT_MS]   SendNotifyMessage; JSON: ms until a\n"
        "                                visible CLASS window of the target's process exists\n"
        "  (sysmenu, menubar, popups and fonts run inside the program through a hook and need a\n"
        "   probe of the program's bitness; trayicons needs explorer's bitness in a virtual\n"
        "   desktop with taskbar. The probe exits with 3 when it has the wrong bitness.)\n"
        "\n"
        "MSG may be a number, a WM_/SC_ name, such a name plus a number (WM_APP+20), or a registered\n"
        "message name (TaskbarCreated).\n");
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    // Options may stand anywhere; "--" ends them (for a TEXT that starts with "--").
    Args args, positional;
    for (int k = 1; k < argc; ++k)
        args.push_back(argv[k]);
    bool options_done = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& o = args[i];
        long long v = 0;
        bool has_value = i + 1 < args.size();
        if (options_done || o.size() < 2 || o[0] != L'-' || o[1] != L'-') {
            positional.push_back(o);
        } else if (o == L"--") {
            options_done = true;
        } else if (o == L"--class" && has_value) {
            g_opt.cls = args[++i];
        } else if (o == L"--hwnd" && has_value && parse_int(args[i + 1], v)) {
            g_opt.hwnd = (HWND)(INT_PTR)v;
            ++i;
        } else if (o == L"--timeout" && has_value && parse_int(args[i + 1], v)) {
            g_opt.timeout = (DWORD)v;
            ++i;
        } else if (o == L"--action-timeout" && has_value && parse_int(args[i + 1], v)) {
            g_opt.action_timeout = (DWORD)v;
            ++i;
        } else if (o == L"--post") {
            g_opt.post = true;
        } else if (o == L"--all") {
            g_opt.all = true;
        } else if (o == L"--help") {
            usage();
            return 0;
        } else {
            err("unknown option " + to_utf8(o));
            return 2;
        }
    }
    if (positional.empty()) {
        usage();
        return 2;
    }
    std::wstring cmd = positional[0];
    Args rest(positional.begin() + 1, positional.end());

    int rc = 2;
    if (cmd == L"help") {
        usage();
        return 0;
    } else if (cmd == L"wait") {
        rc = cmd_wait(rest);
    } else if (cmd == L"gone") {
        rc = cmd_gone(rest);
    } else if (cmd == L"dump") {
        rc = cmd_dump(rest);
    } else if (cmd == L"windows") {
        rc = cmd_windows(rest);
    } else if (cmd == L"foreground") {
        rc = cmd_foreground(rest);
    } else if (cmd == L"click") {
        rc = cmd_click(rest);
    } else if (cmd == L"command") {
        rc = cmd_command(rest);
    } else if (cmd == L"settext") {
        rc = cmd_settext(rest);
    } else if (cmd == L"gettext") {
        rc = cmd_gettext(rest);
    } else if (cmd == L"select") {
        rc = cmd_select(rest);
    } else if (cmd == L"close") {
        HWND h = need_target();
        rc = h ? act(h, WM_CLOSE, 0, 0) : 1;
    } else if (cmd == L"syscommand") {
        long long sc = 0;
        if (rest.size() == 1 && parse_value(rest[0], sc, false)) {
            HWND h = need_target();
            rc = h ? cmd_syscommand(h, sc) : 1;
        }
    } else if (cmd == L"minimize" || cmd == L"restore") {
        HWND h = need_target();
        rc = h ? cmd_syscommand(h, cmd == L"minimize" ? SC_MINIMIZE : SC_RESTORE) : 1;
    } else if (cmd == L"notify" || cmd == L"send" || cmd == L"post") {
        rc = cmd_message(cmd, rest);
    } else if (cmd == L"hang") {
        rc = cmd_hang(rest);
    } else if (cmd == L"objects") {
        rc = cmd_objects();
    } else if (cmd == L"menuloop") {
        rc = cmd_menuloop(rest);
    } else if (cmd == L"keylog") {
        rc = cmd_keylog(rest);
    } else if (cmd == L"target") {
        rc = cmd_target(rest);
    } else if (cmd == L"office") {
        rc = cmd_office(rest);
    } else if (cmd == L"doc") {
        rc = cmd_doc(rest);
    } else if (cmd == L"fgwatch") {
        rc = cmd_fgwatch(rest);
    } else if (cmd == L"visit") {
        rc = cmd_visit(rest);
    } else if (cmd == L"traydelete") {
        rc = cmd_traydelete(rest);
    } else if (cmd == L"regmsg") {
        rc = cmd_regmsg(rest);
    } else if (cmd == L"desktop") {
        rc = cmd_desktop(rest);
    } else if (cmd == L"activate") {
        rc = cmd_activate(rest);
    } else if (cmd == L"keystate") {
        rc = cmd_keystate(rest);
    } else if (cmd == L"sysmenu") {
        rc = cmd_menu(kQuerySysMenu);
    } else if (cmd == L"menubar") {
        rc = cmd_menu(kQueryMenuBar);
    } else if (cmd == L"popups") {
        rc = cmd_popups();
    } else if (cmd == L"fonts") {
        rc = cmd_fonts();
    } else if (cmd == L"trayicons") {
        rc = cmd_trayicons();
    } else if (cmd == L"tooltips") {
        rc = cmd_tooltips();
    } else if (cmd == L"manywindows") {
        rc = cmd_manywindows(rest);
    } else if (cmd == L"launchtime") {
        rc = cmd_launchtime(rest);
    } else if (cmd == L"refreshtime") {
        rc = cmd_refreshtime(rest);
    } else if (cmd == L"notifytime") {
        rc = cmd_notifytime(rest);

    } else {
        err("unknown command: " + to_utf8(cmd));
        usage();
        return 2;
    }
    if (rc == 2)
        err("bad arguments for " + to_utf8(cmd) + " (see: probe help)");
    if (rc != 0 && g_wrong_bitness)
        return 3;
    return rc;
}
