#include "platform/win32/Automation.h"

#include "platform/win32/Win32History.h"
#include "platform/win32/Win32Text.h"

#include <vector>

namespace quillon::win32 {
namespace {

constexpr std::size_t kLongestPath = 32767;
constexpr std::size_t kLongestCopy = 128 * 1024 * 1024; // WordOpenXML of a document of images
constexpr const wchar_t* kAlerts = L"DisplayAlerts";

OleLibrary g_ole;
bool g_oleLoaded = false;
INIT_ONCE g_oleOnce = INIT_ONCE_STATIC_INIT;

template <class Function> bool Find(HMODULE module, const char* name, Function& function) {
    function =
        module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
    return function != nullptr;
}

BOOL CALLBACK LoadOleOnce(PINIT_ONCE, PVOID, PVOID*) {
    const HMODULE ole32 = LoadLibraryW(L"ole32.dll");
    const HMODULE oleaut32 = LoadLibraryW(L"oleaut32.dll");
    const HMODULE oleacc = LoadLibraryW(L"oleacc.dll");
    g_oleLoaded = Find(ole32, "CoInitializeEx", g_ole.coInitializeEx) &&
                  Find(ole32, "CLSIDFromProgID", g_ole.clsidFromProgId) &&
                  Find(ole32, "CoCreateInstance", g_ole.coCreateInstance) &&
                  Find(oleaut32, "GetActiveObject", g_ole.getActiveObject) &&
                  Find(oleacc, "AccessibleObjectFromWindow", g_ole.accessibleObjectFromWindow) &&
                  Find(oleaut32, "SysAllocString", g_ole.sysAllocString) &&
                  Find(oleaut32, "SysFreeString", g_ole.sysFreeString) &&
                  Find(oleaut32, "SysStringLen", g_ole.sysStringLen) &&
                  Find(oleaut32, "VariantClear", g_ole.variantClear) &&
                  Find(oleaut32, "SafeArrayCreateVector", g_ole.safeArrayCreateVector) &&
                  Find(oleaut32, "SafeArrayPutElement", g_ole.safeArrayPutElement);
    return TRUE;
}

} // namespace

bool LoadOle() {
    InitOnceExecuteOnce(&g_oleOnce, LoadOleOnce, nullptr, nullptr);
    return g_oleLoaded;
}

const OleLibrary& Ole() {
    return g_ole;
}

Variant::Variant(std::int32_t number) {
    value_.vt = VT_I4;
    value_.lVal = number;
}

Variant::Variant(const wchar_t* text) {
    value_.vt = VT_BSTR;
    value_.bstrVal = Ole().sysAllocString(text);
}

// Only the types an alerts setting comes in; any other is sent as nothing, which the program refuses.
Variant::Variant(const AlertsSetting& setting) {
    value_.vt = VT_EMPTY;
    if (setting.type == VT_BOOL)
        value_.boolVal = static_cast<VARIANT_BOOL>(setting.value);
    else if (setting.type == VT_I2)
        value_.iVal = static_cast<SHORT>(setting.value);
    else if (setting.type == VT_I4)
        value_.lVal = setting.value;
    else
        return;
    value_.vt = setting.type;
}

Variant::Variant(IDispatch* object) {
    SAFEARRAY* array = Ole().safeArrayCreateVector(VT_VARIANT, 0, 1);
    VARIANT element{};
    element.vt = VT_DISPATCH;
    element.pdispVal = object;
    LONG first = 0;
    if (!array || FAILED(Ole().safeArrayPutElement(array, &first, &element))) {
        value_.vt = VT_EMPTY;
        if (array) {
            value_.vt = VT_ARRAY | VT_VARIANT;
            value_.parray = array; // cleared with the variant
        }
        return;
    }
    value_.vt = VT_ARRAY | VT_VARIANT;
    value_.parray = array;
}

std::int32_t NumberIn(const VARIANT& value) {
    switch (value.vt) {
    case VT_BOOL:
        return value.boolVal;
    case VT_I2:
        return value.iVal;
    case VT_I4:
        return value.lVal;
    default:
        return 0;
    }
}

ComPtr<IDispatch> Shared(IDispatch* object) {
    if (object)
        object->AddRef();
    return ComPtr<IDispatch>(object);
}

bool IsUnknownMember(HRESULT hr) {
    return hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND;
}

bool Caller::Invoke(IDispatch* object, const wchar_t* name, WORD kind, std::span<VARIANT> arguments,
                    VARIANT* result) {
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, kAutomationLocale, &id);
    if (SUCCEEDED(hr)) {
        // DISPPARAMS holds the arguments last to first; a put names its value.
        std::vector<VARIANT> backwards(arguments.rbegin(), arguments.rend());
        DISPID named = DISPID_PROPERTYPUT;
        const bool put = kind == DISPATCH_PROPERTYPUT;
        DISPPARAMS parameters{backwards.data(), put ? &named : nullptr, static_cast<UINT>(backwards.size()),
                              put ? 1u : 0u};
        EXCEPINFO exception{};
        UINT argumentError = 0;
        hr = object->Invoke(id, IID_NULL, kAutomationLocale, kind, &parameters, result, &exception,
                            &argumentError);
        // An exception names its own code (Excel's while a cell is being edited, say).
        if (hr == DISP_E_EXCEPTION && FAILED(exception.scode))
            hr = exception.scode;
        Ole().sysFreeString(exception.bstrSource);
        Ole().sysFreeString(exception.bstrDescription);
        Ole().sysFreeString(exception.bstrHelpFile);
    }
    if (FAILED(hr))
        reply_.failure = static_cast<std::uint32_t>(hr);
    return SUCCEEDED(hr);
}

bool Caller::Get(IDispatch* object, const wchar_t* name, Variant& result) {
    return Invoke(object, name, DISPATCH_PROPERTYGET, {}, result.get());
}

bool Caller::Put(IDispatch* object, const wchar_t* name, const AlertsSetting& setting) {
    Variant value(setting);
    return Put(object, name, value.get());
}

bool Caller::Put(IDispatch* object, const wchar_t* name, VARIANT* value) {
    return Invoke(object, name, DISPATCH_PROPERTYPUT, {value, 1}, nullptr);
}

bool Caller::Call(IDispatch* object, const wchar_t* name, Variant& result, std::span<VARIANT> arguments) {
    return Invoke(object, name, DISPATCH_METHOD, arguments, result.get());
}

ComPtr<IDispatch> Caller::ObjectIn(const Variant& value) {
    if ((*value).vt != VT_DISPATCH || (*value).pdispVal == nullptr) {
        MarkUnexpected();
        return {};
    }
    return Shared((*value).pdispVal);
}

std::optional<bool> Caller::BoolIn(const Variant& value) {
    if ((*value).vt != VT_BOOL) {
        MarkUnexpected();
        return std::nullopt;
    }
    return (*value).boolVal != VARIANT_FALSE;
}

std::optional<std::wstring> Caller::TextIn(const Variant& value, std::size_t longest) {
    if ((*value).vt != VT_BSTR || Ole().sysStringLen((*value).bstrVal) > longest) {
        MarkUnexpected();
        return std::nullopt;
    }
    const BSTR text = (*value).bstrVal;
    return text ? std::wstring(text, Ole().sysStringLen(text)) : std::wstring();
}

ComPtr<IDispatch> Caller::GetObject(IDispatch* object, const wchar_t* name) {
    Variant value;
    return Get(object, name, value) ? ObjectIn(value) : ComPtr<IDispatch>();
}

ComPtr<IDispatch> Caller::CallObject(IDispatch* object, const wchar_t* name, std::span<VARIANT> arguments) {
    Variant value;
    return Call(object, name, value, arguments) ? ObjectIn(value) : ComPtr<IDispatch>();
}

ComPtr<IDispatch> Caller::Item(IDispatch* collection, std::int32_t index) {
    Variant position(index);
    Variant value;
    if (!Invoke(collection, L"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {position.get(), 1},
                value.get()))
        return {};
    return ObjectIn(value);
}

std::optional<bool> Caller::GetBool(IDispatch* object, const wchar_t* name) {
    Variant value;
    return Get(object, name, value) ? BoolIn(value) : std::nullopt;
}

std::optional<bool> Caller::CallBool(IDispatch* object, const wchar_t* name) {
    Variant value;
    return Call(object, name, value) ? BoolIn(value) : std::nullopt;
}

std::optional<bool> Caller::GetFlag(IDispatch* object, const wchar_t* name, FlagType type) {
    Variant value;
    if (!Get(object, name, value))
        return std::nullopt;
    const auto flag = DecodeFlag(type, (*value).vt, NumberIn(*value));
    if (!flag)
        MarkUnexpected();
    return flag;
}

std::optional<std::int32_t> Caller::GetInteger(IDispatch* object, const wchar_t* name) {
    Variant value;
    if (!Get(object, name, value))
        return std::nullopt;
    if ((*value).vt != VT_I4 && (*value).vt != VT_I2) {
        MarkUnexpected();
        return std::nullopt;
    }
    return NumberIn(*value);
}

std::optional<std::wstring> Caller::GetText(IDispatch* object, const wchar_t* name, std::size_t longest) {
    Variant value;
    return Get(object, name, value) ? TextIn(value, longest) : std::nullopt;
}

std::optional<std::wstring> Caller::CallText(IDispatch* object, const wchar_t* name) {
    Variant value;
    return Call(object, name, value) ? TextIn(value) : std::nullopt;
}

namespace {

// AutoSaveOn came with later versions; one without it does not save by itself.
std::optional<bool> ReadAutoSave(Caller& call, IDispatch* document, DocumentReply& reply) {
    const auto on = call.GetBool(document, L"AutoSaveOn");
    if (!on && !reply.unexpected && IsUnknownMember(static_cast<HRESULT>(reply.failure))) {
        reply.failure = 0;
        return false;
    }
    return on;
}

// Saved / Path / ReadOnly (and AutoSaveOn where the dialect has it), as Word, Excel and
// PowerPoint answer them.
bool ReadProperties(Caller& call, IDispatch* document, const ModelDialect& dialect, DocumentReply& reply) {
    const auto saved = call.GetFlag(document, L"Saved", dialect.flags);
    if (!saved)
        return false;
    const auto path = call.GetText(document, L"Path");
    if (!path)
        return false;
    const auto readOnly = call.GetFlag(document, L"ReadOnly", dialect.flags);
    if (!readOnly)
        return false;
    const auto savesItself =
        dialect.autoSave ? ReadAutoSave(call, document, reply) : std::optional<bool>(false);
    if (!savesItself)
        return false;
    // Its FullName, where the version before a Save is kept from: its file's path, or a web address.
    reply.state = {false,     *saved,       !path->empty(),
                   *readOnly, *savesItself, QuietCaller()->GetText(document, L"FullName").value_or(L"")};
    return true;
}

bool SaveByMethod(Caller& call, IDispatch* document) {
    Variant result;
    return call.Call(document, L"Save", result);
}

// Puts the user's alerts setting back after a Save was tried: the reply keeps the failure it had
// (the Save's own, or none), and says whether the program has the setting again.
void PutBackAfterSave(Caller& call, IDispatch* application, const AlertsSetting& users,
                      DocumentReply& reply) {
    const std::uint32_t failure = reply.failure;
    reply.alerts = users;
    reply.alertsPutBack = call.Put(application, kAlerts, users);
    reply.failure = failure;
}

// Switches the program's alerts to "none" and gives the user's setting: the one a pending
// put-back holds when there is one (the program's present "none" is then not the user's), else
// the one just read. Nothing, with alertsNotOff, when they could not be read or switched; a
// refused switch is undone all the same.
std::optional<AlertsSetting> SwitchAlertsOff(Caller& call, IDispatch* application,
                                             const ModelDialect& dialect,
                                             const std::optional<AlertsSetting>& pending,
                                             DocumentReply& reply) {
    reply.alertsNotOff = true;
    Variant value;
    if (!application || !call.Get(application, kAlerts, value))
        return std::nullopt;
    const AlertsSetting current{(*value).vt, NumberIn(*value)};
    const auto none = AlertsOff(dialect, current);
    if (!none)
        return std::nullopt;
    const AlertsSetting users = pending.value_or(current);
    if (!call.Put(application, kAlerts, *none)) {
        PutBackAfterSave(call, application, users, reply);
        return std::nullopt;
    }
    reply.alertsNotOff = false;
    return users;
}

// `change` (a Save, or a copy the program writes) as the program's own command, with its alerts
// switched off for the call and put back after it whatever it answered: a question it would ask (a
// format that loses features, say) gets its default answer instead of showing up in front of the
// user.
template <class Change>
void WithAlertsOff(Caller& call, const DocumentAsk& ask, const FoundDocument& found, DocumentReply& reply,
                   Change change) {
    std::optional<AlertsSetting> users;
    if (found.dialect->alerts != AlertsType::None) {
        reply.alertsApplication = found.place;
        users = SwitchAlertsOff(call, found.application.get(), *found.dialect, ask.userAlerts[found.place],
                                reply);
        if (!users)
            return;
    }
    reply.saveCalled = true;
    reply.saveMade = change();
    if (users)
        PutBackAfterSave(call, found.application.get(), *users, reply);
}

// Save(), then the state again.
void SaveQuietly(Caller& call, const DocumentAsk& ask, const FoundDocument& found, DocumentReply& reply) {
    WithAlertsOff(call, ask, found, reply, [&] { return found.calls->save(call, found.document.get()); });
    if (reply.saveMade)
        found.calls->read(call, found.document.get(), *found.dialect, reply);
}

// A never-saved document's copy: Word gives the whole document as one Word XML file, which Word
// opens by a double click; Excel and PowerPoint write a copy in the document's own format, with
// their alerts off as for a Save. The document stays as it was, unnamed and holding its changes.
void CopyByObjectModel(Caller& call, const DocumentAsk& ask, const FoundDocument& found,
                       DocumentReply& reply) {
    const ModelDialect& dialect = *found.dialect;
    if (dialect.copy == CopyWay::WordOpenXml) {
        reply.saveCalled = true;
        const auto xml = call.GetText(found.document.get(), L"WordOpenXML", kLongestCopy);
        reply.saveMade = xml.has_value();
        if (xml)
            reply.keep.result = WriteCopy(ask.keep, dialect.copyExtension, ToUtf8(*xml), reply.keep.path);
        return;
    }
    const ProgramCopy copy = PrepareProgramCopy(ask.keep, dialect.copyExtension);
    if (copy.ready != KeepResult::Kept) {
        reply.keep.result = copy.ready;
        return;
    }
    WithAlertsOff(call, ask, found, reply, [&] {
        Variant name(copy.partial.c_str());
        Variant result;
        return call.Call(found.document.get(), L"SaveCopyAs", result, {name.get(), 1});
    });
    reply.keep.result = CompleteProgramCopy(copy, reply.saveMade, reply.keep.path);
}

// Puts back the setting an earlier Save could not, into the application it was read from (the way
// of reaching it found that one); a dialect without alerts has nothing to put.
void RestoreAlerts(Caller& call, const DocumentAsk& ask, const FoundDocument& found, DocumentReply& reply) {
    const auto& users = ask.userAlerts[ask.application];
    if (!users || found.place != ask.application)
        return;
    reply.alerts = users;
    reply.alertsApplication = ask.application;
    if (found.dialect->alerts != AlertsType::None)
        reply.alertsPutBack = found.application && call.Put(found.application.get(), kAlerts, *users);
}

} // namespace

const DocumentCalls kObjectModelCalls{ReadProperties, SaveByMethod, CopyByObjectModel};

void ServeDocument(Caller& call, const DocumentAsk& ask, const FoundDocument& found, DocumentReply& reply) {
    switch (ask.request) {
    case DocumentRequest::Read:
        found.calls->read(call, found.document.get(), *found.dialect, reply);
        return;
    case DocumentRequest::Save:
        return SaveQuietly(call, ask, found, reply);
    case DocumentRequest::RestoreAlerts:
        return RestoreAlerts(call, ask, found, reply);
    case DocumentRequest::SaveCopy:
        return found.calls->copy(call, ask, found, reply);
    case DocumentRequest::KeepVersion:
    case DocumentRequest::FileTime:
    case DocumentRequest::CopyText:
        break; // files, not documents: Win32History.cpp
    }
}

} // namespace quillon::win32
