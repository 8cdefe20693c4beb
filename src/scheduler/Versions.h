// Every save Quillon makes can be undone: right before a save goes out, the file it overwrites is
// kept in the history as it stands on disk (the user's own last save, or Quillon's previous one),
// unless the newest version kept of it is the same; and the save counts only once the file's
// last write has moved past the one read then. Each way of saving (the File menu's keys, Ctrl+S,
// a program's save message, a document's Save) asks right before its save and once its program
// says the save is made. The copy runs off the window's thread and is waited for a few seconds at
// most: a version that cannot be kept never keeps the save from being made, and the tip says why.
#pragma once

#include "platform/Platform.h"
#include "scheduler/ActivityLog.h"
#include "scheduler/SaveOutcome.h"

#include <optional>
#include <string>

namespace quillon {

class Versions {
public:
    static constexpr std::uint64_t kKeepWaitMs = 3000;    // a copy that takes longer is not waited for
    static constexpr std::uint64_t kFreshMs = 500;        // a version checked longer ago is checked again
    static constexpr std::uint64_t kWrittenWaitMs = 3000; // after its program's word, the file must change
    static constexpr std::uint64_t kStatEveryMs = 100;

    Versions(ISystem& system, IDocuments& documents) : system_(system), documents_(documents) {}

    // A save of `file` begins; empty when its file is not known for certain (no version is kept,
    // and the save is confirmed as the way confirms it).
    void Begin(std::wstring file);
    // Right before the save goes out, polled: true once the version is kept, or is not to be kept,
    // or took too long.
    bool ReadyToSave(std::uint64_t now);
    // Once the program says the save is made, polled: Saved, and its log line written, once the
    // file was written since (at once where the file, or its time before the save, is unknown);
    // FileNotWritten when it was not in time; nothing while it may still be.
    std::optional<SaveOutcome> Confirm(std::uint64_t now, ActivityLog& log, bool writeLog, const std::wstring& entry);
    // Why no version could be kept before the last save (KeepResult::None when one was, or when
    // there was nothing to keep).
    KeepResult Missing() const { return missing_; }

private:
    std::optional<bool> Written(std::uint64_t now);
    void Abandon();

    ISystem& system_;
    IDocuments& documents_;
    std::wstring file_;
    DocumentCallId call_ = 0;
    std::uint64_t askedAt_ = 0;
    std::optional<std::uint64_t> checkedAt_;   // when the version was last kept or found kept
    std::optional<std::uint64_t> lastWrite_;   // the file's last write right before the save
    std::optional<std::uint64_t> writtenFrom_; // when the program said the save is made
    KeepResult missing_ = KeepResult::None;
};

} // namespace quillon
