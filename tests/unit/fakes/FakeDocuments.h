// Word's and Excel's document objects as another program reaches them: each document window
// answers for its document after a while, may refuse calls while busy, hang, or go away, and
// takes a Save. Time is the fake clock's.
#pragma once

#include "fakes/FakeSystem.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <limits>
#include <map>
#include <vector>

namespace quillon::fakes {

struct FakeDocument {
    DocumentState state{false, true, true, false, false}; // saved to a file, nothing unsaved
    bool noObject = false;      // the window gives no object
    bool unexpected = false;    // the object answers with the wrong types
    std::uint32_t busyFailure = 0x80010001u; // what a busy program answers (RPC_E_CALL_REJECTED)
    std::uint64_t busyUntil = 0;    // calls are refused before this time
    std::uint64_t hangsUntil = 0;   // a call made before this time is answered only then
    std::uint64_t latencyMs = 1;    // how long an answered call takes
    std::uint32_t saveFailure = 0;  // what its Save answers (0: it saves)
    bool saveLeavesChanges = false; // its Save returns without saving
    bool goneAfterSave = false;     // the program ends while saving
    int saves = 0;
};

struct DocumentCall {
    DocumentRequest request;
    DocumentProgram program;
    WindowHandle window;
    bool operator==(const DocumentCall&) const = default;
};

class FakeDocuments : public IDocuments {
public:
    explicit FakeDocuments(FakeClock& clock) : clock_(clock) {}

    bool Start(DocumentRequest request, DocumentProgram program, WindowHandle documentWindow) override {
        if (Outstanding())
            return false;
        calls.push_back({request, program, documentWindow});
        FakeDocument& doc = documents[documentWindow];
        // Its Save would ask for a name in front of the user, or save what must not be saved.
        if (request == DocumentRequest::Save && !doc.noObject && !doc.unexpected &&
            (!doc.state.hasPath || doc.state.protectedView || doc.state.readOnly || doc.state.savesItself))
            ADD_FAILURE() << "Save() asked of a document that must not be saved by it";
        reply_ = Answer(doc, request);
        const std::uint64_t answered = std::max(clock_.now + doc.latencyMs, doc.hangsUntil);
        replyAt_ = answered;
        pending_ = true;
        return true;
    }
    std::optional<DocumentReply> TakeReply() override {
        if (!pending_ || clock_.now < replyAt_)
            return std::nullopt;
        pending_ = false;
        return reply_;
    }
    bool Outstanding() const override { return pending_ && clock_.now < replyAt_; }

    int CountOf(DocumentRequest request) const {
        int n = 0;
        for (const DocumentCall& call : calls)
            n += call.request == request;
        return n;
    }

    std::map<WindowHandle, FakeDocument> documents;
    std::vector<DocumentCall> calls;

private:
    DocumentReply Answer(FakeDocument& doc, DocumentRequest request) {
        DocumentReply reply;
        if (doc.noObject) {
            reply.noObject = true;
            return reply;
        }
        if (doc.unexpected) {
            reply.unexpected = true;
            return reply;
        }
        if (clock_.now < doc.busyUntil) {
            reply.failure = doc.busyFailure;
            return reply;
        }
        if (request == DocumentRequest::Save) {
            if (doc.goneAfterSave) {
                reply.failure = 0x800706BEu; // RPC_S_CALL_FAILED
                return reply;
            }
            if (doc.saveFailure != 0) {
                reply.failure = doc.saveFailure;
                return reply;
            }
            ++doc.saves;
            if (!doc.saveLeavesChanges)
                doc.state.saved = true;
        }
        reply.state = doc.state;
        return reply;
    }

    FakeClock& clock_;
    DocumentReply reply_;
    std::uint64_t replyAt_ = 0;
    bool pending_ = false;
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
