// What every way of reaching another program's document shares: the COM libraries, loaded on
// first need; a VARIANT owner; the Caller, which makes IDispatch calls by name; and the steps a
// found document takes (read its state, save it with the program's alerts off, put the alerts
// back). The ways of reaching it, one file each (DocumentReach in scheduler/DocumentPrograms.h),
// are declared at the end; Win32Documents.cpp runs them on its workers.
#pragma once

#include "platform/win32/UniqueHandle.h"
#include "scheduler/DocumentPrograms.h"

#include <ole2.h>

#include <optional>
#include <span>
#include <string>

namespace quillon::win32 {

// Office answers its object model in this locale on any system; LOCALE_USER_DEFAULT is refused
// by Office without that language's pack, as Microsoft warns.
constexpr LCID kAutomationLocale = 0x0409;

// What the calls need from ole32, oleaut32 and oleacc. The program imports none of them: a
// Quillon that never meets such a program never loads them.
struct OleLibrary {
    HRESULT(WINAPI* coInitializeEx)(void*, DWORD) = nullptr;
    HRESULT(WINAPI* clsidFromProgId)(LPCOLESTR, CLSID*) = nullptr;
    HRESULT(WINAPI* coCreateInstance)(REFCLSID, IUnknown*, DWORD, REFIID, void**) = nullptr;
    HRESULT(WINAPI* getActiveObject)(REFCLSID, void*, IUnknown**) = nullptr;
    HRESULT(WINAPI* accessibleObjectFromWindow)(HWND, DWORD, REFIID, void**) = nullptr;
    BSTR(WINAPI* sysAllocString)(const OLECHAR*) = nullptr;
    void(WINAPI* sysFreeString)(BSTR) = nullptr;
    UINT(WINAPI* sysStringLen)(BSTR) = nullptr;
    HRESULT(WINAPI* variantClear)(VARIANTARG*) = nullptr;
    SAFEARRAY*(WINAPI* safeArrayCreateVector)(VARTYPE, LONG, ULONG) = nullptr;
    HRESULT(WINAPI* safeArrayPutElement)(SAFEARRAY*, LONG*, void*) = nullptr;
};

// Loads the libraries once for every thread that asks; false when one of them or of their
// functions is missing.
bool LoadOle();
// The loaded functions: only after LoadOle() said true.
const OleLibrary& Ole();

// A VARIANT cleared when it goes out of scope.
class Variant {
public:
    Variant() { value_.vt = VT_EMPTY; } // what VariantInit does, without importing oleaut32
    explicit Variant(std::int32_t number);
    explicit Variant(const wchar_t* text); // a BSTR; empty when it could not be allocated
    explicit Variant(const AlertsSetting& setting);
    // A one-element array of variants holding `object`, as a sequence of structs is passed.
    explicit Variant(IDispatch* object);
    ~Variant() { Ole().variantClear(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* get() { return &value_; }
    const VARIANT& operator*() const { return value_; }

private:
    VARIANT value_{};
};

// The number a VT_BOOL, VT_I2 or VT_I4 answer holds (VARIANT_TRUE is -1); 0 for any other type.
std::int32_t NumberIn(const VARIANT& value);

// The same object held once more.
ComPtr<IDispatch> Shared(IDispatch* object);

// IDispatch calls by name with positional arguments. Each call that fails leaves its HRESULT in
// the reply (an exception's own code where it names one), and an answer of a type other than the
// one expected marks the reply unexpected; the typed calls then give nothing.
class Caller {
public:
    explicit Caller(DocumentReply& reply) : reply_(reply) {}

    // `kind` is DISPATCH_PROPERTYGET, DISPATCH_METHOD or both; the arguments go first to last.
    bool Invoke(IDispatch* object, const wchar_t* name, WORD kind, std::span<VARIANT> arguments,
                VARIANT* result);
    bool Get(IDispatch* object, const wchar_t* name, Variant& result);
    bool Put(IDispatch* object, const wchar_t* name, const AlertsSetting& setting);
    bool Put(IDispatch* object, const wchar_t* name, VARIANT* value);
    bool Call(IDispatch* object, const wchar_t* name, Variant& result, std::span<VARIANT> arguments = {});

    ComPtr<IDispatch> GetObject(IDispatch* object, const wchar_t* name);
    ComPtr<IDispatch> CallObject(IDispatch* object, const wchar_t* name, std::span<VARIANT> arguments = {});
    // A collection's member `index` (from 1), read as Visual Basic reads it: method or property.
    ComPtr<IDispatch> Item(IDispatch* collection, std::int32_t index);
    std::optional<bool> GetBool(IDispatch* object, const wchar_t* name);
    std::optional<bool> CallBool(IDispatch* object, const wchar_t* name);
    // A Boolean or an MsoTriState, as the dialect answers its flags.
    std::optional<bool> GetFlag(IDispatch* object, const wchar_t* name, FlagType type);
    std::optional<std::int32_t> GetInteger(IDispatch* object, const wchar_t* name);
    // A BSTR of at most a path's longest (32767 characters), or `longest`.
    std::optional<std::wstring> GetText(IDispatch* object, const wchar_t* name, std::size_t longest = 32767);
    std::optional<std::wstring> CallText(IDispatch* object, const wchar_t* name);

    ComPtr<IDispatch> ObjectIn(const Variant& value);
    std::optional<bool> BoolIn(const Variant& value);
    std::optional<std::wstring> TextIn(const Variant& value, std::size_t longest = 32767);
    void MarkUnexpected() { reply_.unexpected = true; }

private:
    DocumentReply& reply_;
};

bool IsUnknownMember(HRESULT hr);

// A Caller for calls that may fail without it mattering: their failures stay out of the reply.
class QuietCaller {
public:
    QuietCaller() : call_(ignored_) {}
    Caller* operator->() { return &call_; }

private:
    DocumentReply ignored_;
    Caller call_;
};

struct FoundDocument;

// How a found document tells its state, takes its Save and gives a copy of itself: by the
// properties of Word's, Excel's and PowerPoint's object models, or by LibreOffice's component
// methods. `read` fills reply.state and says whether it could; `copy` leaves what it came to in
// reply.keep, and marks the program's own call in saveCalled and saveMade.
struct DocumentCalls {
    bool (*read)(Caller& call, IDispatch* document, const ModelDialect& dialect, DocumentReply& reply);
    bool (*save)(Caller& call, IDispatch* document);
    void (*copy)(Caller& call, const DocumentAsk& ask, const FoundDocument& found, DocumentReply& reply);
};
extern const DocumentCalls kObjectModelCalls;

// A document a way of reaching it found, with the application that holds it.
struct FoundDocument {
    ComPtr<IDispatch> document;    // null where only the application was needed (RestoreAlerts)
    ComPtr<IDispatch> application; // null where it could not be had, or the dialect has no alerts
    std::uint8_t place = 0;        // the application's place among its row's
    ComPtr<IDispatch> structs;     // LibreOffice's service manager, which makes the structs its calls take
    const ModelDialect* dialect = nullptr;
    const DocumentCalls* calls = &kObjectModelCalls;
};

// The ask's request made of the found document: Read, Save with the alerts off, or RestoreAlerts.
void ServeDocument(Caller& call, const DocumentAsk& ask, const FoundDocument& found, DocumentReply& reply);

// What a way of reaching the document came to.
enum class Reached {
    Document, // `found` holds it
    Nothing,  // the program gives no object this way (the reply says why): the next way may
    Answered, // the reply is complete: Protected View, no single document shown, a call failed
};

// The ways, one file each: NativeObject.cpp, RunningObject.cpp, OfficeBridge.cpp.
using ReachFunction = Reached (*)(const DocumentAsk& ask, const DocumentProgramInfo& info, Caller& call,
                                  DocumentReply& reply, FoundDocument& found);
Reached ReachNativeObject(const DocumentAsk& ask, const DocumentProgramInfo& info, Caller& call,
                          DocumentReply& reply, FoundDocument& found);
Reached ReachRunningObject(const DocumentAsk& ask, const DocumentProgramInfo& info, Caller& call,
                           DocumentReply& reply, FoundDocument& found);
Reached ReachOfficeBridge(const DocumentAsk& ask, const DocumentProgramInfo& info, Caller& call,
                          DocumentReply& reply, FoundDocument& found);

} // namespace quillon::win32
