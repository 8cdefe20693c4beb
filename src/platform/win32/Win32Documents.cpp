// Word's and Excel's documents as Microsoft documents them for other programs: the document
// window answers WM_GETOBJECT for OBJID_NATIVEOM with its Window object (AccessibleObjectFromWindow),
// whose Document (Word) or Parent (Excel) is the document, with Saved, Path, ReadOnly, AutoSaveOn
// and Save().
//
// A call into another program's object takes as long as that program does, and a call from a
// single-threaded apartment pumps messages while it waits. So every call is made on a worker
// thread, an apartment of its own with its own message loop, and Quillon's window only looks for
// the reply. A program that hangs keeps its worker; the next call goes to an idle worker or to a
// new one, up to four. The workers and the COM libraries come with the first call: a Quillon that
// never meets such a program has neither.
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/Win32Platform.h"
#include "scheduler/DocumentPrograms.h"

#include <ole2.h>

#include <algorithm>
#include <memory>
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
bool g_oleLoaded = false;
INIT_ONCE g_oleOnce = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK LoadOleOnce(PINIT_ONCE, PVOID, PVOID*) {
    g_oleLoaded = g_ole.Load();
    return TRUE;
}

// Loads the libraries once for every worker that asks.
bool LoadOle() {
    InitOnceExecuteOnce(&g_oleOnce, LoadOleOnce, nullptr, nullptr);
    return g_oleLoaded;
}

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

DocumentReply Serve(const DocumentAsk& ask) {
    const DocumentRequest request = ask.request;
    const DocumentProgram program = ask.target.program;
    const HWND documentWindow = ToHwnd(ask.target.documentWindow);
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

// What Quillon's window thread and a worker share. The window's thread hands a call over and
// looks for the reply; the worker makes the call and leaves the reply. Never freed once its
// thread runs: a worker stuck in a call that never returns may still write its reply into it.
struct Win32Documents::Worker {
    CRITICAL_SECTION lock;
    UniqueKernelHandle wake;     // set when a call is handed over
    UniqueKernelHandle answered; // set when a reply is left
    // Under the lock:
    DocumentCallId call = 0; // the call it holds until its reply is taken, or comes when abandoned; 0: idle
    bool handedOver = false; // the call waits for the worker to take it
    bool replied = false;
    bool abandoned = false;
    DocumentAsk ask;
    DocumentReply reply;

    Worker()
        : wake(CreateEventW(nullptr, FALSE, FALSE, nullptr)), answered(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
        InitializeCriticalSection(&lock);
    }
    ~Worker() { DeleteCriticalSection(&lock); }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // The call handed over, taken off the channel; nothing when the wake was a stale one.
    std::optional<DocumentAsk> TakeAsk() {
        Locked locked(lock);
        if (!handedOver)
            return std::nullopt;
        handedOver = false;
        return ask;
    }
    // Leaves the reply, or drops it when the call was abandoned: the worker is idle again then.
    void Answer(const DocumentReply& answer) {
        {
            Locked locked(lock);
            if (abandoned) {
                call = 0;
                abandoned = false;
                return;
            }
            reply = answer;
            replied = true;
        }
        SetEvent(answered.get());
    }
};

namespace {

// A worker: an apartment that waits for calls and pumps its messages meanwhile, as an apartment
// must, and never ends before the process does.
DWORD WINAPI DocumentWorker(void* parameter) {
    auto* worker = static_cast<Win32Documents::Worker*>(parameter);
    const bool usable = LoadOle() && SUCCEEDED(g_ole.coInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    const HANDLE wake = worker->wake.get();
    for (;;) {
        if (MsgWaitForMultipleObjectsEx(1, &wake, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE) != WAIT_OBJECT_0) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&message);
            continue;
        }
        const std::optional<DocumentAsk> ask = worker->TakeAsk();
        if (!ask)
            continue;
        DocumentReply reply;
        if (usable)
            reply = Serve(*ask);
        else
            reply.noObject = true;
        worker->Answer(reply);
    }
}

} // namespace

Win32Documents::Win32Documents() = default;

// The workers stay: one may still be in a call.
Win32Documents::~Win32Documents() = default;

DocumentCallId Win32Documents::Start(const DocumentAsk& ask) {
    Worker* worker = IdleWorker();
    if (!worker)
        worker = NewWorker();
    if (!worker)
        return 0;
    if (++lastCall_ == 0)
        ++lastCall_;
    Locked locked(worker->lock);
    worker->call = lastCall_;
    worker->ask = ask;
    worker->handedOver = true;
    worker->replied = false;
    worker->abandoned = false;
    SetEvent(worker->wake.get());
    return lastCall_;
}

std::optional<DocumentReply> Win32Documents::TakeReply(DocumentCallId call) {
    Worker* worker = AwaitedWorker(call);
    if (!worker)
        return std::nullopt;
    Locked locked(worker->lock);
    if (worker->call != call || worker->abandoned || !worker->replied)
        return std::nullopt;
    worker->call = 0;
    worker->replied = false;
    return worker->reply;
}

// A reply already left is dropped at once; one still to come, when it comes.
void Win32Documents::Abandon(DocumentCallId call) {
    Worker* worker = AwaitedWorker(call);
    if (!worker)
        return;
    Locked locked(worker->lock);
    if (worker->call != call)
        return;
    if (worker->replied) {
        worker->call = 0;
        worker->replied = false;
    } else {
        worker->abandoned = true;
    }
}

std::optional<DocumentReply> Win32Documents::WaitForReply(DocumentCallId call, unsigned timeoutMs) {
    const ULONGLONG until = GetTickCount64() + timeoutMs;
    for (;;) {
        if (auto reply = TakeReply(call))
            return reply;
        Worker* worker = AwaitedWorker(call);
        const ULONGLONG now = GetTickCount64();
        if (!worker || now >= until)
            return std::nullopt;
        WaitForSingleObject(worker->answered.get(), static_cast<DWORD>(until - now));
    }
}

Win32Documents::Worker* Win32Documents::IdleWorker() {
    for (Worker* worker : workers_) {
        if (!worker)
            continue;
        Locked locked(worker->lock);
        if (worker->call == 0)
            return worker;
    }
    return nullptr;
}

// A worker whose events could not be made is not used: its loop would have nothing to wait on.
Win32Documents::Worker* Win32Documents::NewWorker() {
    const auto slot = std::find(workers_.begin(), workers_.end(), nullptr);
    if (slot == workers_.end())
        return nullptr;
    auto worker = std::make_unique<Worker>();
    if (!worker->wake || !worker->answered)
        return nullptr;
    const UniqueKernelHandle thread(CreateThread(nullptr, kWorkerStack, DocumentWorker, worker.get(),
                                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    if (!thread)
        return nullptr;
    *slot = worker.release();
    return *slot;
}

// The worker that holds the call for a caller still waiting for it; null for any other call.
Win32Documents::Worker* Win32Documents::AwaitedWorker(DocumentCallId call) {
    if (call == 0)
        return nullptr;
    for (Worker* worker : workers_) {
        if (!worker)
            continue;
        Locked locked(worker->lock);
        if (worker->call == call && !worker->abandoned)
            return worker;
    }
    return nullptr;
}

} // namespace quillon::win32
