// Word's and Excel's documents as Microsoft documents them for other programs: the document
// window answers WM_GETOBJECT for OBJID_NATIVEOM with its Window object (AccessibleObjectFromWindow),
// whose Document (Word) or Parent (Excel) is the document, with Saved, Path, ReadOnly, AutoSaveOn
// and Save().
//
// A call into another program's object takes as long as that program does, and a call from a
// single-threaded apartment pumps messages while it waits. So every call is made on a worker
// thread of its own, an apartment with its own message loop, and Quillon's window only looks for
// the reply. A program that hangs keeps that thread; the caller gives up on the reply and starts
// no new request until it has come. The COM libraries are loaded by the worker, on the first
// request: a Quillon that never meets Word or Excel never loads them.
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/Win32Platform.h"
#include "scheduler/DocumentPrograms.h"

#include <ole2.h>

#include <string>

namespace quillon::win32 {
namespace {

constexpr DWORD kObjectIdNativeObjectModel = 0xFFFFFFF0; // OBJID_NATIVEOM
constexpr std::size_t kLongestPath = 32767;
constexpr SIZE_T kWorkerStack = 512 * 1024;

// What the calls need from ole32, oleaut32 and oleacc.
struct OleLibrary {
    HRESULT(WINAPI* coInitializeEx)(void*, DWORD) = nullptr;
    HRESULT(WINAPI* accessibleObjectFromWindow)(HWND, DWORD, REFIID, void**) = nullptr;
    void(WINAPI* sysFreeString)(BSTR) = nullptr;
    UINT(WINAPI* sysStringLen)(BSTR) = nullptr;
    HRESULT(WINAPI* variantClear)(VARIANTARG*) = nullptr;

    template <class Function> static bool Load(HMODULE module, const char* name, Function& function) {
        function = module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                          : nullptr;
        return function != nullptr;
    }
    bool Load() {
        const HMODULE ole32 = LoadLibraryW(L"ole32.dll");
        const HMODULE oleaut32 = LoadLibraryW(L"oleaut32.dll");
        const HMODULE oleacc = LoadLibraryW(L"oleacc.dll");
        return Load(ole32, "CoInitializeEx", coInitializeEx) &&
               Load(oleacc, "AccessibleObjectFromWindow", accessibleObjectFromWindow) &&
               Load(oleaut32, "SysFreeString", sysFreeString) && Load(oleaut32, "SysStringLen", sysStringLen) &&
               Load(oleaut32, "VariantClear", variantClear);
    }
};

OleLibrary g_ole;

// A VARIANT cleared when it goes out of scope.
class Variant {
public:
    Variant() { value_.vt = VT_EMPTY; } // what VariantInit does, without importing oleaut32
    ~Variant() { g_ole.variantClear(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* get() { return &value_; }
    const VARIANT& operator*() const { return value_; }

private:
    VARIANT value_{};
};

// A failed call: its HRESULT, or the answer's type was not what the interface promises.
struct CallFailure {
    HRESULT code = S_OK;
    bool unexpected = false;
};

class Caller {
public:
    explicit Caller(DocumentReply& reply) : reply_(reply) {}

    // False, with the reply saying why, when the call failed.
    bool Invoke(IDispatch* object, const wchar_t* name, WORD kind, VARIANT* argument, VARIANT* result) {
        DISPID id = 0;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (SUCCEEDED(hr)) {
            DISPID named = DISPID_PROPERTYPUT;
            DISPPARAMS parameters{};
            if (kind == DISPATCH_PROPERTYPUT) {
                parameters = {argument, &named, 1, 1};
            }
            EXCEPINFO exception{};
            UINT argumentError = 0;
            hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &parameters, result, &exception,
                                &argumentError);
            // An exception names its own code (Excel's while a cell is being edited, say).
            if (hr == DISP_E_EXCEPTION && FAILED(exception.scode))
                hr = exception.scode;
            g_ole.sysFreeString(exception.bstrSource);
            g_ole.sysFreeString(exception.bstrDescription);
            g_ole.sysFreeString(exception.bstrHelpFile);
        }
        if (FAILED(hr))
            reply_.failure = static_cast<std::uint32_t>(hr);
        return SUCCEEDED(hr);
    }
    bool Get(IDispatch* object, const wchar_t* name, VARIANT* result) {
        return Invoke(object, name, DISPATCH_PROPERTYGET, nullptr, result);
    }
    // A property that holds an object.
    ComPtr<IDispatch> GetObject(IDispatch* object, const wchar_t* name) {
        Variant value;
        if (!Get(object, name, value.get()))
            return {};
        if ((*value).vt != VT_DISPATCH || (*value).pdispVal == nullptr)
            return Unexpected<ComPtr<IDispatch>>();
        IDispatch* found = (*value).pdispVal;
        found->AddRef();
        return ComPtr<IDispatch>(found);
    }
    std::optional<bool> GetBool(IDispatch* object, const wchar_t* name) {
        Variant value;
        if (!Get(object, name, value.get()))
            return std::nullopt;
        if ((*value).vt != VT_BOOL)
            return Unexpected<std::optional<bool>>();
        return (*value).boolVal != VARIANT_FALSE;
    }
    std::optional<std::wstring> GetText(IDispatch* object, const wchar_t* name) {
        Variant value;
        if (!Get(object, name, value.get()))
            return std::nullopt;
        if ((*value).vt != VT_BSTR || g_ole.sysStringLen((*value).bstrVal) > kLongestPath)
            return Unexpected<std::optional<std::wstring>>();
        return (*value).bstrVal ? std::wstring((*value).bstrVal, g_ole.sysStringLen((*value).bstrVal)) : L"";
    }

private:
    template <class T> T Unexpected() {
        reply_.unexpected = true;
        return T{};
    }

    DocumentReply& reply_;
};

// The type name of the object: a Protected View window is a ProtectedViewWindow, not a Window.
std::wstring TypeName(IDispatch* object) {
    ITypeInfo* raw = nullptr;
    if (FAILED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &raw)) || raw == nullptr)
        return L"";
    ComPtr<ITypeInfo> info(raw);
    BSTR name = nullptr;
    if (FAILED(info.get()->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr)) || name == nullptr)
        return L"";
    std::wstring text(name, g_ole.sysStringLen(name));
    g_ole.sysFreeString(name);
    return text;
}

bool IsUnknownMember(HRESULT hr) {
    return hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND;
}

// The document's state. AutoSaveOn came with later versions; one without it does not save by itself.
bool ReadState(Caller& call, IDispatch* document, DocumentReply& reply) {
    const auto saved = call.GetBool(document, L"Saved");
    if (!saved)
        return false;
    const auto path = call.GetText(document, L"Path");
    if (!path)
        return false;
    const auto readOnly = call.GetBool(document, L"ReadOnly");
    if (!readOnly)
        return false;
    auto savesItself = call.GetBool(document, L"AutoSaveOn");
    if (!savesItself && !reply.unexpected && IsUnknownMember(static_cast<HRESULT>(reply.failure))) {
        reply.failure = 0;
        savesItself = false;
    }
    if (!savesItself)
        return false;
    reply.state = {false, *saved, !path->empty(), *readOnly, *savesItself};
    return true;
}

// Save() as the program's own command, with its alerts switched off for the call and put back
// after it: a question it would ask (a format that loses features, say) gets its default answer
// instead of showing up in front of the user. Word's DisplayAlerts is a number (0: none), Excel's
// a Boolean.
void SaveQuietly(Caller& call, IDispatch* window, IDispatch* document, DocumentReply& reply) {
    const ComPtr<IDispatch> application = call.GetObject(window, L"Application");
    Variant alerts;
    const bool quiet = application && call.Get(application.get(), L"DisplayAlerts", alerts.get()) &&
                       ((*alerts).vt == VT_BOOL || (*alerts).vt == VT_I4 || (*alerts).vt == VT_I2);
    reply.failure = 0;
    reply.unexpected = false;
    if (quiet) {
        VARIANT none = *alerts;
        if (none.vt == VT_BOOL)
            none.boolVal = VARIANT_FALSE;
        else if (none.vt == VT_I4)
            none.lVal = 0;
        else
            none.iVal = 0;
        call.Invoke(application.get(), L"DisplayAlerts", DISPATCH_PROPERTYPUT, &none, nullptr);
        reply.failure = 0;
    }
    Variant result;
    const bool saved = call.Invoke(document, L"Save", DISPATCH_METHOD, nullptr, result.get());
    if (quiet) {
        const std::uint32_t failure = reply.failure;
        call.Invoke(application.get(), L"DisplayAlerts", DISPATCH_PROPERTYPUT, alerts.get(), nullptr);
        reply.failure = failure;
    }
    if (saved)
        ReadState(call, document, reply);
}

DocumentReply Serve(DocumentRequest request, DocumentProgram program, HWND documentWindow) {
    if (request == DocumentRequest::RestoreAlerts)
        return {};
    DocumentReply reply;
    IDispatch* raw = nullptr;
    const HRESULT found = g_ole.accessibleObjectFromWindow(documentWindow, kObjectIdNativeObjectModel, IID_IDispatch,
                                                           reinterpret_cast<void**>(&raw));
    if (FAILED(found) || raw == nullptr) {
        reply.failure = FAILED(found) ? static_cast<std::uint32_t>(found) : 0;
        reply.noObject = reply.failure == 0;
        return reply;
    }
    const ComPtr<IDispatch> window(raw);
    if (TypeName(window.get()) == L"ProtectedViewWindow") {
        reply.state.protectedView = true;
        return reply;
    }
    Caller call(reply);
    const ComPtr<IDispatch> document =
        call.GetObject(window.get(), DialectOf(InfoOf(program).applications[0].model).documentOfWindow);
    if (!document)
        return reply;
    if (request == DocumentRequest::Save)
        SaveQuietly(call, window.get(), document.get(), reply);
    else
        ReadState(call, document.get(), reply);
    return reply;
}

} // namespace

// What the window's thread and the worker share. The window's thread hands a request over and
// looks for the reply; the worker takes the request, makes the calls and leaves the reply. It is
// never freed: a worker stuck in a call that never returns may still write its reply into it.
struct Win32Documents::Channel {
    CRITICAL_SECTION lock;
    HANDLE wake = nullptr; // set when a request is waiting
    bool started = false;
    bool requested = false;
    bool answered = false;
    bool outstanding = false;
    DocumentCallId call = 0;
    DocumentRequest request = DocumentRequest::Read;
    DocumentProgram program = DocumentProgram::Word;
    HWND window = nullptr;
    DocumentReply reply;

    Channel() {
        InitializeCriticalSection(&lock);
        wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
};

namespace {

class Locked {
public:
    explicit Locked(CRITICAL_SECTION& lock) : lock_(lock) { EnterCriticalSection(&lock_); }
    ~Locked() { LeaveCriticalSection(&lock_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    CRITICAL_SECTION& lock_;
};

} // namespace

// The worker: an apartment that waits for requests and pumps its messages meanwhile, as an
// apartment must, and never ends before the process does.
static DWORD WINAPI DocumentWorker(void* parameter) {
    auto* channel = static_cast<Win32Documents::Channel*>(parameter);
    const bool usable = g_ole.Load() && SUCCEEDED(g_ole.coInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    for (;;) {
        const DWORD woke = MsgWaitForMultipleObjectsEx(1, &channel->wake, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke != WAIT_OBJECT_0) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&message);
            continue;
        }
        DocumentRequest request;
        DocumentProgram program;
        HWND window;
        {
            Locked locked(channel->lock);
            if (!channel->requested)
                continue;
            channel->requested = false;
            request = channel->request;
            program = channel->program;
            window = channel->window;
        }
        DocumentReply reply;
        if (usable)
            reply = Serve(request, program, window);
        else
            reply.noObject = true;
        Locked locked(channel->lock);
        channel->reply = reply;
        channel->answered = true;
    }
}

Win32Documents::Win32Documents() : channel_(new Channel) {}

// The channel stays for a worker that may still be in a call.
Win32Documents::~Win32Documents() = default;

DocumentCallId Win32Documents::Start(const DocumentAsk& ask) {
    Locked locked(channel_->lock);
    if ((channel_->outstanding && !channel_->answered) || channel_->wake == nullptr)
        return 0;
    if (!channel_->started) {
        UniqueKernelHandle worker(CreateThread(nullptr, kWorkerStack, DocumentWorker, channel_,
                                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
        if (!worker)
            return 0;
        channel_->started = true;
    }
    channel_->request = ask.request;
    channel_->program = ask.target.program;
    channel_->window = ToHwnd(ask.target.documentWindow);
    channel_->requested = true;
    channel_->answered = false;
    channel_->outstanding = true;
    channel_->call = channel_->call + 1 == 0 ? 1 : channel_->call + 1;
    SetEvent(channel_->wake);
    return channel_->call;
}

std::optional<DocumentReply> Win32Documents::TakeReply(DocumentCallId call) {
    Locked locked(channel_->lock);
    if (call != channel_->call || !channel_->outstanding || !channel_->answered)
        return std::nullopt;
    channel_->outstanding = false;
    channel_->answered = false;
    return channel_->reply;
}

void Win32Documents::Abandon(DocumentCallId) {}

std::optional<DocumentReply> Win32Documents::WaitForReply(DocumentCallId call, unsigned timeoutMs) {
    const ULONGLONG until = GetTickCount64() + timeoutMs;
    for (;;) {
        if (auto reply = TakeReply(call))
            return reply;
        if (GetTickCount64() >= until)
            return std::nullopt;
        Sleep(10);
    }
}

} // namespace quillon::win32
