#include "scheduler/DocumentPrograms.h"

#include "windows/TitleMarks.h"

#include <algorithm>
#include <cwctype>

namespace quillon {
namespace {

// Automation types (VARTYPE) the dialects answer in.
constexpr std::uint16_t kVariantI2 = 2, kVariantI4 = 3, kVariantBool = 11;

using enum ObjectModel;
using enum DocumentReach;

constexpr ModelDialect kDialects[] = {
    // Word: Window.Document; WdAlertLevel, wdAlertsNone 0.
    {L"Document", L"Documents", L"ActiveDocument", L"Windows", FlagType::Boolean, AlertsType::Level, 0, true,
     CopyWay::WordOpenXml, L".xml"},
    // Excel: Window.Parent is the workbook; DisplayAlerts is a Boolean.
    {L"Parent", L"Workbooks", L"ActiveWorkbook", L"Windows", FlagType::Boolean, AlertsType::Boolean, 0, true,
     CopyWay::SaveCopyAs, L".xlsx"},
    // PowerPoint: DocumentWindow.Presentation; Saved and ReadOnly are MsoTriState; ppAlertsNone 1.
    {L"Presentation", L"Presentations", L"ActivePresentation", L"Windows", FlagType::TriState,
     AlertsType::Level, 1, true, CopyWay::SaveCopyAs, L".pptx"},
    // LibreOffice's components answer isModified / hasLocation / isReadonly, and store() asks nothing.
    {nullptr, nullptr, nullptr, nullptr, FlagType::Boolean, AlertsType::None, 0, false, CopyWay::StoreToUrl,
     nullptr},
};

constexpr RunningApplication kNone{Word, nullptr};

// WPS Office follows Word's, Excel's and PowerPoint's object models and window classes; its
// program files tell it from them, so its rows come first.
constexpr DocumentProgramInfo kPrograms[] = {
    {DocumentProgram::WpsWriter, L"OpusApp", L"wps.exe", {L"_WwG", nullptr},
     {NativeObject, RunningObject}, {{{Word, L"KWPS.Application"}, kNone, kNone}}, false, false},
    {DocumentProgram::WpsSpreadsheets, L"XLMAIN", L"et.exe", {L"EXCEL7", nullptr},
     {NativeObject, RunningObject}, {{{Excel, L"KET.Application"}, kNone, kNone}}, false, false},
    {DocumentProgram::WpsPresentation, L"PP12FrameClass", L"wpp.exe",
     {L"mdiClass", nullptr}, {NativeObject, RunningObject},
     {{{PowerPoint, L"KWPP.Application"}, kNone, kNone}}, false, false},
    // Its integrated mode shows every document, of any of the three, in tabs of one window.
    {DocumentProgram::WpsOffice, L"KPromeMainWindow", nullptr, {nullptr, nullptr},
     {RunningObject, RunningObject},
     {{{Word, L"KWPS.Application"}, {Excel, L"KET.Application"}, {PowerPoint, L"KWPP.Application"}}}, true,
     false},
    {DocumentProgram::LibreOffice, L"SALFRAME", L"soffice.bin", {nullptr, nullptr},
     {OfficeBridge, OfficeBridge}, {{{LibreOffice, nullptr}, kNone, kNone}}, false, false},
    {DocumentProgram::Word, L"OpusApp", nullptr, {L"_WwG", nullptr},
     {NativeObject, NativeObject}, {{{Word, nullptr}, kNone, kNone}}, false, true},
    {DocumentProgram::Excel, L"XLMAIN", nullptr, {L"XLDESK", L"EXCEL7"},
     {NativeObject, NativeObject}, {{{Excel, nullptr}, kNone, kNone}}, false, true},
    {DocumentProgram::PowerPoint, L"PPTFrameClass", nullptr, {L"MDIClient", L"mdiClass"},
     {NativeObject, NativeObject}, {{{PowerPoint, nullptr}, kNone, kNone}}, false, false},
};

bool SameText(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
               return std::towlower(x) == std::towlower(y);
           });
}

std::wstring_view FileNameOf(std::wstring_view path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}

bool TitleNamesAny(std::wstring_view title, const OpenDocument& document) {
    return TitleNamesDocument(title, document.name) || TitleNamesDocument(title, document.fullName);
}

} // namespace

const ModelDialect& DialectOf(ObjectModel model) {
    return kDialects[static_cast<std::size_t>(model)];
}

std::span<const DocumentProgramInfo> DocumentPrograms() {
    return kPrograms;
}

const DocumentProgramInfo& InfoOf(DocumentProgram program) {
    return *std::find_if(std::begin(kPrograms), std::end(kPrograms),
                         [program](const DocumentProgramInfo& info) { return info.program == program; });
}

const DocumentProgramInfo* FindDocumentProgram(std::wstring_view topClass, std::wstring_view executablePath) {
    for (const DocumentProgramInfo& info : kPrograms)
        if (topClass == info.topClass &&
            (!info.executable || SameText(FileNameOf(executablePath), info.executable)))
            return &info;
    return nullptr;
}

std::optional<bool> DecodeFlag(FlagType type, std::uint16_t variantType, std::int32_t value) {
    if (type == FlagType::Boolean)
        return variantType == kVariantBool ? std::optional<bool>(value != 0) : std::nullopt;
    if ((variantType != kVariantI4 && variantType != kVariantI2) || (value != -1 && value != 0))
        return std::nullopt;
    return value == -1;
}

std::optional<AlertsSetting> AlertsOff(const ModelDialect& dialect, const AlertsSetting& current) {
    switch (dialect.alerts) {
    case AlertsType::Boolean:
        return current.type == kVariantBool ? std::optional<AlertsSetting>({kVariantBool, 0}) : std::nullopt;
    case AlertsType::Level:
        if (current.type == kVariantI4 || current.type == kVariantI2)
            return AlertsSetting{current.type, dialect.alertsNone};
        return std::nullopt;
    case AlertsType::None:
        break;
    }
    return std::nullopt;
}

std::optional<OfficeFormat> LibreOfficeFormat(std::wstring_view identifier) {
    constexpr std::pair<std::wstring_view, OfficeFormat> kFormats[] = {
        {L"com.sun.star.text.TextDocument", {L"writer8", L".odt"}},
        {L"com.sun.star.sheet.SpreadsheetDocument", {L"calc8", L".ods"}},
        {L"com.sun.star.presentation.PresentationDocument", {L"impress8", L".odp"}},
        {L"com.sun.star.drawing.DrawingDocument", {L"draw8", L".odg"}},
    };
    for (const auto& [kind, format] : kFormats)
        if (kind == identifier)
            return format;
    return std::nullopt;
}

std::optional<std::size_t> MatchShownDocument(WindowHandle window, std::wstring_view title, bool tabbed,
                                              std::span<const OpenDocument> documents) {
    std::vector<std::size_t> inWindow, named;
    for (std::size_t i = 0; i < documents.size(); ++i)
        if (window != 0 && documents[i].window == window)
            inWindow.push_back(i);
    if (inWindow.size() == 1)
        return inWindow.front();
    // Several in the one window (its tabs), or none known by window: the title tells.
    for (std::size_t i = 0; i < documents.size(); ++i)
        if ((inWindow.empty() || std::find(inWindow.begin(), inWindow.end(), i) != inWindow.end()) &&
            TitleNamesAny(title, documents[i]))
            named.push_back(i);
    if (named.size() == 1)
        return named.front();
    const auto isActive = [&](std::size_t i) { return documents[i].active; };
    if ((tabbed || !inWindow.empty()) && std::count_if(named.begin(), named.end(), isActive) == 1)
        return *std::find_if(named.begin(), named.end(), isActive);
    return std::nullopt;
}

} // namespace quillon
