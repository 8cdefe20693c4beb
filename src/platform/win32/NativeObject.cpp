// The document behind a document window, as Microsoft documents it for other programs (screen
// readers use it): the window answers WM_GETOBJECT for OBJID_NATIVEOM with its Window object
// (AccessibleObjectFromWindow), whose Document (Word), Parent (Excel) or Presentation
// (PowerPoint) is the document and whose Application holds the alerts.
#include "platform/win32/Automation.h"

namespace quillon::win32 {
namespace {

constexpr DWORD kObjectIdNativeObjectModel = 0xFFFFFFF0; // OBJID_NATIVEOM

// The type name of the object: a Protected View window is a ProtectedViewWindow, not a Window.
std::wstring TypeName(IDispatch* object) {
    ITypeInfo* raw = nullptr;
    if (FAILED(object->GetTypeInfo(0, kAutomationLocale, &raw)) || raw == nullptr)
        return L"";
    ComPtr<ITypeInfo> info(raw);
    BSTR name = nullptr;
    if (FAILED(info.get()->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr)) ||
        name == nullptr)
        return L"";
    std::wstring text(name, Ole().sysStringLen(name));
    Ole().sysFreeString(name);
    return text;
}

} // namespace

// The alerts belong to the application, which a Protected View window has too; the document is
// read only behind a window that holds one.
Reached ReachNativeObject(const DocumentAsk& ask, const DocumentProgramInfo& info, Caller& call,
                          DocumentReply& reply, FoundDocument& found) {
    if (ask.target.documentWindow == 0) {
        reply.noObject = true;
        return Reached::Nothing;
    }
    IDispatch* raw = nullptr;
    const HRESULT hr =
        Ole().accessibleObjectFromWindow(ToHwnd(ask.target.documentWindow), kObjectIdNativeObjectModel,
                                         IID_IDispatch, reinterpret_cast<void**>(&raw));
    if (FAILED(hr) || raw == nullptr) {
        reply.failure = FAILED(hr) ? static_cast<std::uint32_t>(hr) : 0;
        reply.noObject = reply.failure == 0;
        return Reached::Nothing;
    }
    const ComPtr<IDispatch> window(raw);
    found.dialect = &DialectOf(info.applications[0].model);
    if (ask.request != DocumentRequest::RestoreAlerts) {
        if (TypeName(window.get()) == L"ProtectedViewWindow") {
            reply.state.protectedView = true;
            return Reached::Answered;
        }
        found.document = call.GetObject(window.get(), found.dialect->documentOfWindow);
        if (!found.document)
            return Reached::Answered;
    }
    if (ask.request != DocumentRequest::Read)
        found.application = call.GetObject(window.get(), L"Application");
    return Reached::Document;
}

} // namespace quillon::win32
