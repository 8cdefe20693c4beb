// The programs Quillon saves through their own documents, and how each is reached: one table.
// A program is told by its top-level window's class (and, where two programs share classes, by
// its program file's name); its document is reached through the object behind its document
// window, through its Application in the Running Object Table, or through LibreOffice's
// automation bridge; and its object model says Saved / Path / ReadOnly / Save in one of a few
// dialects. The next program is added here, with its row and, where new, its dialect.
#pragma once

#include "platform/Platform.h"

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quillon {

// The object models the programs publish, each a dialect of the same few questions.
enum class ObjectModel { Word, Excel, PowerPoint, LibreOffice };

// How a flag of the document is answered: a Boolean, or an MsoTriState number (PowerPoint).
enum class FlagType { Boolean, TriState };

// How the program's alerts are switched off around a Save: not at all (the save shows no
// question by its contract), a WdAlertLevel / PpAlertLevel number, or a Boolean.
enum class AlertsType { None, Level, Boolean };

// How a document never saved gives a copy of its content, leaving itself as it is: Word's
// WordOpenXML (the whole document as one Word XML file), Excel's and PowerPoint's SaveCopyAs
// (a file in the document's own format), LibreOffice's storeToURL.
enum class CopyWay { WordOpenXml, SaveCopyAs, StoreToUrl };

struct ModelDialect {
    // The document behind the window's object: Document, Parent, Presentation.
    const wchar_t* documentOfWindow;
    const wchar_t* documents;      // the Application's collection of open documents
    const wchar_t* activeDocument; // the Application's active document
    // A document's collection of windows: their Hwnd tells which window shows it.
    const wchar_t* windows;
    FlagType flags;
    AlertsType alerts;
    std::int32_t alertsNone; // the level that shows no question (Level only)
    bool autoSave;           // documents may answer AutoSaveOn
    CopyWay copy;
    const wchar_t* copyExtension; // SaveCopyAs: the file's own, of a new document
};
const ModelDialect& DialectOf(ObjectModel model);

// An Application the program registers in the Running Object Table under its ProgID.
struct RunningApplication {
    ObjectModel model;
    const wchar_t* progId; // nullptr: none
};

enum class DocumentReach {
    NativeObject,  // the document window answers OBJID_NATIVEOM with its Window object
    RunningObject, // the program's Application from the Running Object Table (GetActiveObject)
    OfficeBridge,  // LibreOffice's automation bridge (its ServiceManager's Desktop and components)
};

struct DocumentProgramInfo {
    DocumentProgram program;
    const wchar_t* topClass; // the top-level window's class
    // Its program file's name, where another program shares its classes; nullptr: any.
    const wchar_t* executable;
    // The classes from the top-level window down to the document window, each a descendant of the
    // one before; none: no document window.
    std::array<const wchar_t*, 2> documentWindow;
    std::array<DocumentReach, 2> reaches; // tried in this order; the second equal to the first: none
    std::array<RunningApplication, 3> applications; // the object model(s); the first is the native object's
    bool tabbed;      // one window shows each of its documents in a tab: the active one is the shown one
    bool keysSaveNew; // its classic File menu asks for a never-saved document's name
};

// Every program of the table, the programs sharing classes with another before it.
std::span<const DocumentProgramInfo> DocumentPrograms();
const DocumentProgramInfo& InfoOf(DocumentProgram program);

// The row of a top-level window: by its class, and its program file's name where that tells.
const DocumentProgramInfo* FindDocumentProgram(std::wstring_view topClass, std::wstring_view executablePath);

// A flag as the object model answered it (its automation type and value): nothing for what the
// dialect does not promise. MsoTriState promises msoTrue (-1) and msoFalse (0) for these flags.
std::optional<bool> DecodeFlag(FlagType type, std::uint16_t variantType, std::int32_t value);

// The alerts setting that shows no question, of the type the program answered; nothing when its
// answer is not of the dialect's type.
std::optional<AlertsSetting> AlertsOff(const ModelDialect& dialect, const AlertsSetting& current);

// A LibreOffice document's own format, by the identifier of its kind (getIdentifier): the filter
// storeToURL is given, and the extension; nothing for a kind it is not known for.
struct OfficeFormat {
    const wchar_t* filter;
    const wchar_t* extension;
};
std::optional<OfficeFormat> LibreOfficeFormat(std::wstring_view identifier);

// One of a program's open documents, as its object model lists it.
struct OpenDocument {
    std::wstring name;       // Name (LibreOffice: its frame's title)
    std::wstring fullName;   // FullName: its path, or its name when never saved
    WindowHandle window = 0; // the top-level window its object model says shows it; 0: unknown
    bool active = false;     // the program's active document
};

// Which of them the listed window shows: the one whose window is the listed one, else the one
// its title names; in a tabbed window the active one of those. Nothing when no single one is.
std::optional<std::size_t> MatchShownDocument(WindowHandle window, std::wstring_view title, bool tabbed,
                                              std::span<const OpenDocument> documents);

} // namespace quillon
