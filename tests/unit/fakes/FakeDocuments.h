// Word's and Excel's document objects as another program reaches them: each document window
// answers for its document after a while, may refuse calls while busy, hang, or go away, and
// takes a Save. Time is the fake clock's.
#pragma once

#include "fakes/FakeSystem.h"
#include "platform/Platform.h"
#include "scheduler/History.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <utility>
#include <limits>
#include <map>
#include <vector>

namespace quillon::fakes {

// The alerts of one application of a program: the user's own setting, the one in force, and how
// often it refuses to take the user's back.
struct FakeApplication {
    AlertsSetting userAlerts{3, -1}, alerts{3, -1};
    int putBackRefusals = 0;
};

struct FakeDocument {
    DocumentState state{false, true, true, false, false, {}}; // saved to a file, nothing unsaved
    bool noObject = false;      // the window gives no object
    bool unexpected = false;    // the object answers with the wrong types
    std::uint32_t busyFailure = 0x80010001u; // what a busy program answers (RPC_E_CALL_REJECTED)
    std::uint64_t busyUntil = 0;    // calls are refused before this time
    std::uint64_t hangsUntil = 0;   // a call made before this time is answered only then
    std::uint64_t latencyMs = 1;    // how long an answered call takes
    std::uint64_t saveTakesMs = 0;  // how much longer its Save takes
    std::uint32_t saveFailure = 0;  // what its Save answers (0: it saves)
    std::uint32_t rereadFailure = 0; // what the read after a Save that was made answers, once
    bool saveLeavesChanges = false; // its Save returns without saving
    bool goneAfterSave = false;     // the program ends while saving
    bool saveLeavesFile = false;    // its Save says it saved, and writes nothing
    bool copyRefused = false;       // it gives no copy of a never-saved document
    std::uint8_t application = 0;   // which application of its program's row holds it
    int saves = 0;
};

class FakeDocuments : public IDocuments {
public:
    explicit FakeDocuments(FakeClock& clock) : clock_(clock) {}

    DocumentCallId Start(const DocumentAsk& ask) override {
        calls.push_back(ask);
        FakeDocument& doc = Of(ask.target);
        // Its Save would ask for a name in front of the user, or save what must not be saved.
        if (ask.request == DocumentRequest::Save && !doc.noObject && !doc.unexpected &&
            (!doc.state.hasPath || doc.state.protectedView || doc.state.readOnly || doc.state.savesItself))
            ADD_FAILURE() << "Save() asked of a document that must not be saved by it";
        Call call;
        call.reply = Answer(doc, ask);
        const std::uint64_t takes = doc.latencyMs + (ask.request == DocumentRequest::Save ? doc.saveTakesMs : 0);
        call.at = std::max(clock_.now + takes, doc.hangsUntil);
        calls_[++lastId_] = call;
        return lastId_;
    }
    std::optional<DocumentReply> TakeReply(DocumentCallId id) override {
        const auto call = calls_.find(id);
        if (call == calls_.end() || call->second.abandoned || clock_.now < call->second.at)
            return std::nullopt;
        const DocumentReply reply = call->second.reply;
        calls_.erase(call);
        return reply;
    }
    void Abandon(DocumentCallId id) override {
        if (const auto call = calls_.find(id); call != calls_.end())
            call->second.abandoned = true;
    }
    std::optional<DocumentReply> WaitForReply(DocumentCallId id, unsigned timeoutMs) override {
        const auto call = calls_.find(id);
        if (call == calls_.end() || call->second.at > clock_.now + timeoutMs)
            return std::nullopt;
        clock_.now = std::max(clock_.now, call->second.at);
        return TakeReply(id);
    }

    int CountOf(DocumentRequest request) const {
        return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                              [request](const DocumentAsk& ask) { return ask.request == request; }));
    }
    FakeDocument& Of(const DocumentTarget& target) {
        return documents[target.documentWindow != 0 ? target.documentWindow : target.window];
    }
    FakeApplication& App(std::uint32_t processId, std::uint8_t application = 0) {
        return applications[{processId, application}];
    }

    std::map<WindowHandle, FakeDocument> documents; // by document window, or top-level window without one
    std::map<std::wstring, FakeFile> files;          // the documents' files, by path
    std::map<WindowHandle, std::wstring> texts;      // the text each control holds
    std::vector<std::wstring> copies;                // what was written into the history, in order
    std::map<std::pair<std::uint32_t, std::uint8_t>, FakeApplication> applications; // by process and place
    std::vector<DocumentAsk> calls;
    IDesktop* desktop = nullptr; // a put-back reaches the program only through a window that exists

private:
    struct Call {
        DocumentReply reply;
        std::uint64_t at = 0;
        bool abandoned = false;
    };

    DocumentReply Answer(FakeDocument& doc, const DocumentAsk& ask) {
        DocumentReply reply;
        if (ask.request == DocumentRequest::KeepVersion || ask.request == DocumentRequest::FileTime ||
            ask.request == DocumentRequest::CopyText)
            return Keep(ask, reply);
        if (ask.request == DocumentRequest::RestoreAlerts && desktop && !desktop->IsWindow(ask.target.window)) {
            reply.noObject = true;
            reply.alerts = ask.userAlerts[ask.application];
            reply.alertsPutBack = false;
            reply.alertsApplication = ask.application;
            return reply;
        }
        reply.noObject = doc.noObject;
        reply.unexpected = doc.unexpected;
        if (doc.noObject || doc.unexpected)
            return reply;
        if (clock_.now < doc.busyUntil) {
            reply.failure = doc.busyFailure;
            return reply;
        }
        if (ask.request == DocumentRequest::RestoreAlerts) {
            FakeApplication& app = App(ask.target.processId, ask.application);
            return PutBack(app, ask.userAlerts[ask.application].value_or(app.alerts), ask.application, reply);
        }
        if (ask.request == DocumentRequest::Save && !Save(doc, ask, reply))
            return reply;
        if (ask.request == DocumentRequest::SaveCopy)
            return Copy(doc, ask, reply);
        if (reply.saveMade && std::exchange(doc.rereadFailure, 0u) != 0) {
            reply.failure = doc.busyFailure;
            return reply;
        }
        reply.state = doc.state;
        return reply;
    }
    // Save() as the worker makes it: the alerts switched off around it and put back after.
    bool Save(FakeDocument& doc, const DocumentAsk& ask, DocumentReply& reply) {
        FakeApplication& app = App(ask.target.processId, doc.application);
        const AlertsSetting users = ask.userAlerts[doc.application].value_or(app.alerts);
        if (users != app.userAlerts)
            ADD_FAILURE() << "the route's own alerts setting was taken for the user's";
        app.alerts = {users.type, 0};
        reply.saveCalled = true;
        reply.failure = doc.goneAfterSave ? 0x800706BEu : doc.saveFailure; // RPC_S_CALL_FAILED when gone
        reply.saveMade = reply.failure == 0;
        doc.saves += reply.saveMade;
        if (reply.saveMade && !doc.saveLeavesFile && !doc.state.name.empty())
            ++files[doc.state.name].lastWrite;
        doc.state.saved |= reply.saveMade && !doc.saveLeavesChanges;
        PutBack(app, users, doc.application, reply);
        return reply.saveMade;
    }
    // A never-saved document's copy, as SaveCopyAs makes it: the document stays as it is.
    DocumentReply& Copy(const FakeDocument& doc, const DocumentAsk& ask, DocumentReply& reply) {
        if (doc.state.hasPath)
            ADD_FAILURE() << "a copy asked of a document saved to a file";
        reply.saveCalled = true;
        reply.saveMade = !doc.copyRefused;
        reply.failure = doc.copyRefused ? 0x800A03ECu : 0;
        if (reply.saveMade) {
            reply.keep = {KeepResult::Kept, std::nullopt, ask.keep.copyTo + L".xlsx"};
            copies.push_back(reply.keep.path);
        }
        reply.state = doc.state;
        return reply;
    }
    // The history's requests about files and texts.
    DocumentReply& Keep(const DocumentAsk& ask, DocumentReply& reply) {
        KeepReply& keep = reply.keep;
        if (ask.request == DocumentRequest::CopyText) {
            const std::wstring& text = texts[ask.keep.control];
            keep.hash = history::TextHash(text);
            keep.result = text.empty() || keep.hash == ask.keep.lastHash ? KeepResult::Unchanged : KeepResult::Kept;
        } else if (const auto file = files.find(ask.keep.file); file == files.end()) {
            keep.result = KeepResult::NoFile;
        } else if (keep.lastWrite = file->second.lastWrite; ask.request == DocumentRequest::KeepVersion) {
            const bool kept = file->second.keptWrite == file->second.lastWrite;
            keep.result = file->second.locked ? KeepResult::Locked : kept ? KeepResult::Unchanged : KeepResult::Kept;
            if (keep.result == KeepResult::Kept)
                file->second.keptWrite = file->second.lastWrite;
        }
        if (keep.result == KeepResult::Kept)
            copies.push_back(keep.path = ask.keep.copyTo);
        return reply;
    }
    DocumentReply& PutBack(FakeApplication& app, const AlertsSetting& users, std::uint8_t application,
                           DocumentReply& reply) {
        reply.alerts = users;
        reply.alertsApplication = application;
        reply.alertsPutBack = app.putBackRefusals == 0;
        if (app.putBackRefusals > 0) {
            --app.putBackRefusals;
            if (!reply.saveCalled)
                reply.failure = 0x80010001u; // RPC_E_CALL_REJECTED
        } else {
            app.alerts = users;
        }
        return reply;
    }

    FakeClock& clock_;
    std::map<DocumentCallId, Call> calls_;
    DocumentCallId lastId_ = 0;
};

// Per-user values in memory, as the registry's W functions keep them under HKEY_CURRENT_USER.
class FakeUserRegistry : public IUserRegistry {
public:
    struct Value {
        std::uint32_t type = reg::RegSz;
        std::wstring text;
    };
    std::optional<std::wstring> ReadText(const std::wstring& keyPath, const std::wstring& name,
                                         std::size_t maxChars) override {
        ++reads;
        const auto found = values.find(Name(keyPath, name));
        if (found == values.end() || found->second.type != reg::RegSz || found->second.text.size() > maxChars)
            return std::nullopt;
        return found->second.text;
    }
    bool WriteText(const std::wstring& keyPath, const std::wstring& name, const std::wstring& text) override {
        ++writes;
        if (writesFail)
            return false;
        values[Name(keyPath, name)] = {reg::RegSz, text};
        return true;
    }
    bool DeleteValue(const std::wstring& keyPath, const std::wstring& name) override {
        if (writesFail)
            return false;
        values.erase(Name(keyPath, name));
        return true;
    }
    // The value as stored, or nothing.
    std::optional<std::wstring> Get(const std::wstring& keyPath, const std::wstring& name) const {
        const auto found = values.find(Name(keyPath, name));
        return found == values.end() ? std::nullopt : std::optional<std::wstring>(found->second.text);
    }
    void Put(const std::wstring& keyPath, const std::wstring& name, const std::wstring& text,
             std::uint32_t type = reg::RegSz) {
        values[Name(keyPath, name)] = {type, text};
    }

    // Key paths and value names ignore letter case.
    static std::wstring Name(const std::wstring& keyPath, const std::wstring& name) {
        std::wstring key = keyPath + L"\\" + name;
        for (wchar_t& c : key)
            c = static_cast<wchar_t>(std::towlower(c));
        return key;
    }

    std::map<std::wstring, Value> values;
    bool writesFail = false;
    int reads = 0;
    int writes = 0;
};

} // namespace quillon::fakes
