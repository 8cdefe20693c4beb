// The document through the program's Application as it registers it in the Running Object Table
// under its ProgID (GetActiveObject): its open documents are listed, and the one the listed window
// shows is chosen by the core's MatchShownDocument. Only a running program is asked: nothing
// here creates an object, so nothing can start a program.
#include "platform/win32/Automation.h"

#include <algorithm>
#include <array>
#include <span>
#include <vector>

namespace quillon::win32 {
namespace {

// More open documents than anyone has: a count beyond it is not a count.
constexpr std::int32_t kMostDocuments = 4096;

// A listed document with the index of its application among the row's.
struct ListedDocument {
    ComPtr<IDispatch> document;
    std::size_t application = 0;
};

// The program's Application when it runs; null when it does not (or its ProgID is unknown).
ComPtr<IDispatch> RunningApplicationOf(const wchar_t* progId) {
    CLSID clsid{};
    IUnknown* running = nullptr;
    if (FAILED(Ole().clsidFromProgId(progId, &clsid)) ||
        FAILED(Ole().getActiveObject(clsid, nullptr, &running)) || running == nullptr)
        return {};
    const ComPtr<IUnknown> object(running);
    IDispatch* application = nullptr;
    if (FAILED(object.get()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&application))))
        return {};
    return ComPtr<IDispatch>(application);
}

// The window the document's first window is, by its Hwnd; 0 where a version has no Hwnd or the
// document shows no window.
WindowHandle WindowOf(IDispatch* document, const ModelDialect& dialect) {
    QuietCaller call;
    const ComPtr<IDispatch> windows = call->GetObject(document, dialect.windows);
    const ComPtr<IDispatch> first = windows ? call->Item(windows.get(), 1) : ComPtr<IDispatch>();
    const auto hwnd = first ? call->GetInteger(first.get(), L"Hwnd") : std::nullopt;
    return hwnd.value_or(0);
}

// The FullName of the application's active document; nothing when it has none.
std::optional<std::wstring> ActiveFullName(IDispatch* application, const ModelDialect& dialect) {
    QuietCaller call;
    const ComPtr<IDispatch> active = call->GetObject(application, dialect.activeDocument);
    return active ? call->GetText(active.get(), L"FullName") : std::nullopt;
}

// Adds the application's open documents to the lists; false, the reply saying why, when a call failed.
bool ListDocuments(Caller& call, IDispatch* application, std::size_t index, const ModelDialect& dialect,
                   std::vector<ListedDocument>& listed, std::vector<OpenDocument>& candidates) {
    const ComPtr<IDispatch> documents = call.GetObject(application, dialect.documents);
    const auto count = documents ? call.GetInteger(documents.get(), L"Count") : std::nullopt;
    if (!count)
        return false;
    if (*count < 0 || *count > kMostDocuments) {
        call.MarkUnexpected();
        return false;
    }
    const std::optional<std::wstring> active = ActiveFullName(application, dialect);
    for (std::int32_t i = 1; i <= *count; ++i) {
        ComPtr<IDispatch> document = call.Item(documents.get(), i);
        const auto name = document ? call.GetText(document.get(), L"Name") : std::nullopt;
        const auto fullName = name ? call.GetText(document.get(), L"FullName") : std::nullopt;
        if (!fullName)
            return false;
        const WindowHandle window = WindowOf(document.get(), dialect);
        candidates.push_back({*name, *fullName, window, active && *active == *fullName});
        listed.push_back({std::move(document), index});
    }
    return true;
}

// The document the window shows among the open documents of every running application of the
// row, left in `document`; its application's index, or nothing, the reply saying why.
std::optional<std::size_t> ShownDocument(const DocumentAsk& ask, const DocumentProgramInfo& info,
                                         Caller& call, DocumentReply& reply,
                                         std::span<const ComPtr<IDispatch>> applications,
                                         ComPtr<IDispatch>& document) {
    std::vector<ListedDocument> listed;
    std::vector<OpenDocument> candidates;
    for (std::size_t i = 0; i < applications.size(); ++i)
        if (applications[i] && !ListDocuments(call, applications[i].get(), i,
                                              DialectOf(info.applications[i].model), listed, candidates))
            return std::nullopt;
    const auto shown = MatchShownDocument(ask.target.window, ask.target.title, info.tabbed, candidates);
    if (!shown) {
        reply.notOneDocument = true;
        return std::nullopt;
    }
    document = std::move(listed[*shown].document);
    return listed[*shown].application;
}

} // namespace

// Every application of the row is asked (integrated WPS Office shows the documents of three in
// one window), and the core chooses among all their documents. The alerts an earlier Save left
// off are put back without that, into the application they were read from: they are its alerts,
// in its own type, whichever document the window shows by now.
Reached ReachRunningObject(const DocumentAsk& ask, const DocumentProgramInfo& info, Caller& call,
                           DocumentReply& reply, FoundDocument& found) {
    std::array<ComPtr<IDispatch>, std::tuple_size_v<decltype(info.applications)>> applications;
    for (std::size_t i = 0; i < applications.size(); ++i)
        if (info.applications[i].progId)
            applications[i] = RunningApplicationOf(info.applications[i].progId);
    if (std::none_of(applications.begin(), applications.end(),
                     [](const ComPtr<IDispatch>& application) { return bool(application); })) {
        reply.noObject = true;
        return Reached::Nothing;
    }
    std::optional<std::size_t> application = ask.application;
    if (ask.request != DocumentRequest::RestoreAlerts)
        application = ShownDocument(ask, info, call, reply, applications, found.document);
    else if (*application >= applications.size() || !applications[*application])
        application.reset(); // that application no longer runs: nothing of it to put back
    if (!application)
        return Reached::Answered;
    found.application = std::move(applications[*application]);
    found.place = static_cast<std::uint8_t>(*application);
    found.dialect = &DialectOf(info.applications[*application].model);
    return Reached::Document;
}

} // namespace quillon::win32
