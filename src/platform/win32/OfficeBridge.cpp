// LibreOffice's documents through its automation bridge: the ServiceManager that a running office
// registers for COM gives the Desktop, whose components are its open documents, each named by
// its frame's title, the title its window shows. A component answers isModified, hasLocation,
// isReadonly and store(), all methods; store() asks nothing by its contract.
#include "platform/win32/Automation.h"
#include "platform/win32/Win32History.h"
#include "platform/win32/Win32Platform.h"
#include "scheduler/History.h"

#include <vector>

namespace quillon::win32 {
namespace {

// com.sun.star.ServiceManager
constexpr CLSID kServiceManager{0x82154420, 0x0FBF, 0x11d4, {0x83, 0x13, 0x00, 0x50, 0x04, 0x52, 0x6A, 0xB4}};
// More open documents than anyone has: an enumeration that goes on past it does not end.
constexpr std::size_t kMostComponents = 4096;

// Whether the window is still the office's own (its class and program file as the row says).
// COM starts the program of a class that no running process offers: asked for the ServiceManager
// with no office running, it would start one.
bool IsOfficeWindow(WindowHandle window, const DocumentProgramInfo& info) {
    Win32Desktop desktop;
    return desktop.IsWindow(window) &&
           FindDocumentProgram(desktop.ClassName(window), desktop.ExecutablePath(window)) == &info;
}

// The title of the component's frame; empty for a component without one (a hidden document),
// which no window's title then names.
std::wstring FrameTitle(IDispatch* component) {
    QuietCaller call;
    const ComPtr<IDispatch> controller = call->CallObject(component, L"getCurrentController");
    const ComPtr<IDispatch> frame =
        controller ? call->CallObject(controller.get(), L"getFrame") : ComPtr<IDispatch>();
    return frame ? call->CallText(frame.get(), L"getTitle").value_or(L"") : L"";
}

// The Desktop's components; nothing, the reply saying why, when a call failed.
std::optional<std::vector<ComPtr<IDispatch>>> Components(Caller& call, IDispatch* manager) {
    Variant service(L"com.sun.star.frame.Desktop");
    const ComPtr<IDispatch> desktop = call.CallObject(manager, L"createInstance", {service.get(), 1});
    const ComPtr<IDispatch> components =
        desktop ? call.CallObject(desktop.get(), L"getComponents") : ComPtr<IDispatch>();
    const ComPtr<IDispatch> enumeration =
        components ? call.CallObject(components.get(), L"createEnumeration") : ComPtr<IDispatch>();
    if (!enumeration)
        return std::nullopt;
    std::vector<ComPtr<IDispatch>> found;
    for (;;) {
        const auto more = call.CallBool(enumeration.get(), L"hasMoreElements");
        if (!more)
            return std::nullopt;
        if (!*more)
            return found;
        if (found.size() == kMostComponents) {
            call.MarkUnexpected();
            return std::nullopt;
        }
        ComPtr<IDispatch> component = call.CallObject(enumeration.get(), L"nextElement");
        if (!component)
            return std::nullopt;
        found.push_back(std::move(component));
    }
}

bool ReadComponent(Caller& call, IDispatch* component, const ModelDialect&, DocumentReply& reply) {
    const auto modified = call.CallBool(component, L"isModified");
    const auto located = modified ? call.CallBool(component, L"hasLocation") : std::nullopt;
    const auto readOnly = located ? call.CallBool(component, L"isReadonly") : std::nullopt;
    if (!readOnly)
        return false;
    // Its location, where the version before a store is kept from: a file URL, or none.
    reply.state = {false,     !*modified, *located,
                   *readOnly, false,      QuietCaller()->CallText(component, L"getLocation").value_or(L"")};
    return true;
}

bool Store(Caller& call, IDispatch* component) {
    Variant result;
    return call.Call(component, L"store", result);
}

// A never-saved document stored to a file of the history in its own format (storeToURL leaves the
// document's location and modified state alone), the filter named in the media descriptor as a
// PropertyValue struct the bridge makes.
void StoreCopy(Caller& call, const DocumentAsk& ask, const FoundDocument& found, DocumentReply& reply) {
    const auto format =
        LibreOfficeFormat(QuietCaller()->CallText(found.document.get(), L"getIdentifier").value_or(L""));
    if (!format || !found.structs) {
        reply.keep.result = KeepResult::Refused;
        return;
    }
    const ProgramCopy copy = PrepareProgramCopy(ask.keep, format->extension);
    if (copy.ready != KeepResult::Kept) {
        reply.keep.result = copy.ready;
        return;
    }
    Variant kind(L"com.sun.star.beans.PropertyValue"), name(L"FilterName"), filter(format->filter);
    const ComPtr<IDispatch> property =
        call.CallObject(found.structs.get(), L"Bridge_GetStruct", {kind.get(), 1});
    reply.saveCalled = true;
    if (property && call.Put(property.get(), L"Name", name.get()) &&
        call.Put(property.get(), L"Value", filter.get())) {
        Variant url(history::FileUrlOf(copy.partial).c_str()), descriptor(property.get()), result;
        VARIANT arguments[] = {*url, *descriptor};
        reply.saveMade = call.Call(found.document.get(), L"storeToURL", result, arguments);
    }
    reply.keep.result = CompleteProgramCopy(copy, reply.saveMade, reply.keep.path);
}

const DocumentCalls kComponentCalls{ReadComponent, Store, StoreCopy};

} // namespace

Reached ReachOfficeBridge(const DocumentAsk& ask, const DocumentProgramInfo& info, Caller& call,
                          DocumentReply& reply, FoundDocument& found) {
    if (!IsOfficeWindow(ask.target.window, info)) {
        reply.noObject = true;
        return Reached::Nothing;
    }
    IDispatch* raw = nullptr;
    const HRESULT hr = Ole().coCreateInstance(kServiceManager, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                              reinterpret_cast<void**>(&raw));
    if (FAILED(hr) || raw == nullptr) {
        reply.failure = FAILED(hr) ? static_cast<std::uint32_t>(hr) : 0;
        reply.noObject = reply.failure == 0;
        return Reached::Nothing;
    }
    const ComPtr<IDispatch> manager(raw);
    auto components = Components(call, manager.get());
    if (!components)
        return Reached::Answered;
    std::vector<OpenDocument> candidates;
    for (const ComPtr<IDispatch>& component : *components)
        candidates.push_back({FrameTitle(component.get()), L"", 0, false});
    const auto shown = MatchShownDocument(ask.target.window, ask.target.title, info.tabbed, candidates);
    if (!shown) {
        reply.notOneDocument = true;
        return Reached::Answered;
    }
    found.document = std::move((*components)[*shown]);
    found.structs = Shared(manager.get());
    found.dialect = &DialectOf(info.applications[0].model);
    found.calls = &kComponentCalls;
    return Reached::Document;
}

} // namespace quillon::win32
