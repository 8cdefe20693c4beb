// Other programs' documents, reached through the object models the programs publish for other
// programs: scheduler/DocumentPrograms.h says which program is reached which way, Automation.h
// holds the calls every way shares, and each way has its file (NativeObject.cpp,
// RunningObject.cpp, OfficeBridge.cpp). This file runs the calls and picks the way.
//
// A call into another program's object takes as long as that program does, and a call from a
// single-threaded apartment pumps messages while it waits. So every call is made on a worker
// thread, an apartment of its own with its own message loop, and Quillon's window only looks for
// the reply. A program that hangs keeps its worker; the next call goes to an idle worker or to a
// new one, up to four. The workers and the COM libraries come with the first call: a Quillon that
// never meets such a program has neither.
#include "platform/win32/Automation.h"
#include "platform/win32/Win32History.h"
#include "platform/win32/Win32Platform.h"

#include <algorithm>
#include <memory>

namespace quillon::win32 {
namespace {

constexpr SIZE_T kWorkerStack = 512 * 1024;

class Locked {
public:
    explicit Locked(CRITICAL_SECTION& lock) : lock_(lock) { EnterCriticalSection(&lock_); }
    ~Locked() { LeaveCriticalSection(&lock_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    CRITICAL_SECTION& lock_;
};

ReachFunction ReachOf(DocumentReach reach) {
    switch (reach) {
    case DocumentReach::RunningObject:
        return ReachRunningObject;
    case DocumentReach::OfficeBridge:
        return ReachOfficeBridge;
    case DocumentReach::NativeObject:
        break;
    }
    return ReachNativeObject;
}

// One way of reaching the document, and the request made of what it found.
Reached TryReach(DocumentReach reach, const DocumentAsk& ask, const DocumentProgramInfo& info,
                 DocumentReply& reply) {
    reply = {};
    Caller call(reply);
    FoundDocument found;
    const Reached reached = ReachOf(reach)(ask, info, call, reply, found);
    if (reached == Reached::Document)
        ServeDocument(call, ask, found, reply);
    return reached;
}

// The program's first way, and its second where it has one and the first found no object.
// The history's requests are about files and windows' texts: they need no COM.
bool AboutFiles(const DocumentAsk& ask) {
    return ask.request == DocumentRequest::KeepVersion || ask.request == DocumentRequest::FileTime ||
           ask.request == DocumentRequest::CopyText;
}

DocumentReply Serve(const DocumentAsk& ask) {
    DocumentReply reply;
    if (AboutFiles(ask)) {
        ServeFile(ask, reply);
        return reply;
    }
    const DocumentProgramInfo& info = InfoOf(ask.target.program);
    if (TryReach(info.reaches[0], ask, info, reply) == Reached::Nothing && info.reaches[1] != info.reaches[0])
        TryReach(info.reaches[1], ask, info, reply);
    // A RestoreAlerts that did not reach the program's application has put nothing back.
    if (ask.request == DocumentRequest::RestoreAlerts && ask.userAlerts[ask.application] && !reply.alerts) {
        reply.alerts = ask.userAlerts[ask.application];
        reply.alertsPutBack = false;
        reply.alertsApplication = ask.application;
    }
    return reply;
}

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
        : wake(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
          answered(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
        InitializeCriticalSection(&lock);
    }
    ~Worker() { DeleteCriticalSection(&lock); }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // The call handed over, now the worker's; nothing when the wake was a stale one.
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
// must, and never ends before the process does. It becomes one, loading the COM libraries, with its
// first call into a program: a Quillon that only keeps files and texts never loads them.
DWORD WINAPI DocumentWorker(void* parameter) {
    auto* worker = static_cast<Win32Documents::Worker*>(parameter);
    std::optional<bool> usable;
    const HANDLE wake = worker->wake.get();
    for (;;) {
        if (MsgWaitForMultipleObjectsEx(1, &wake, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE) !=
            WAIT_OBJECT_0) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&message);
            continue;
        }
        const std::optional<DocumentAsk> ask = worker->TakeAsk();
        if (!ask)
            continue;
        if (!usable && !AboutFiles(*ask))
            usable = LoadOle() && SUCCEEDED(Ole().coInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        DocumentReply reply;
        if (AboutFiles(*ask) || usable.value_or(false))
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
