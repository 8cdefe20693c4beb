#include "scheduler/Versions.h"

#include "scheduler/History.h"

namespace quillon {

void Versions::Begin(std::wstring file) {
    Abandon();
    file_ = std::move(file);
    checkedAt_.reset();
    lastWrite_.reset();
    writtenFrom_.reset();
    missing_ = KeepResult::None;
}

// The worker reads the file's time, then copies it unless the history has it already; a version
// checked a while ago (the user went on working meanwhile, and may have saved it) is checked again.
bool Versions::ReadyToSave(std::uint64_t now) {
    if (file_.empty())
        return true;
    writtenFrom_.reset();
    if (call_ == 0) {
        if (checkedAt_ && now - *checkedAt_ <= kFreshMs)
            return true;
        DocumentAsk ask;
        ask.request = DocumentRequest::KeepVersion;
        ask.keep.file = file_;
        ask.keep.history = system_.HistoryFolder();
        ask.keep.now = system_.LocalNow();
        ask.keep.copyTo = ask.keep.history + L"\\" + history::VersionFolder(file_) + L"\\" +
                          history::VersionName(file_, ask.keep.now);
        call_ = documents_.Start(ask);
        askedAt_ = now;
        if (call_ != 0)
            return false;
        missing_ = KeepResult::Failed;
    } else if (const auto reply = documents_.TakeReply(call_)) {
        call_ = 0;
        lastWrite_ = reply->keep.lastWrite;
        const KeepResult result = reply->keep.result;
        missing_ = result == KeepResult::Kept || result == KeepResult::Unchanged ? KeepResult::None : result;
    } else if (now - askedAt_ >= kKeepWaitMs) {
        Abandon(); // the copy goes on, and is written whole or not at all; the save does not wait
        lastWrite_.reset();
        missing_ = KeepResult::TooSlow;
    } else {
        return false;
    }
    checkedAt_ = now;
    return true;
}

std::optional<SaveOutcome> Versions::Confirm(std::uint64_t now, ActivityLog& log, bool writeLog,
                                             const std::wstring& entry) {
    const auto written = Written(now);
    if (!written)
        return std::nullopt;
    if (*written)
        log.CountSave(writeLog, entry);
    return *written ? SaveOutcome::Saved : SaveOutcome::FileNotWritten;
}

std::optional<bool> Versions::Written(std::uint64_t now) {
    if (file_.empty() || !lastWrite_)
        return true;
    if (!writtenFrom_) {
        Abandon();
        writtenFrom_ = now;
    }
    if (call_ != 0)
        if (const auto reply = documents_.TakeReply(call_)) {
            call_ = 0;
            if (reply->keep.lastWrite > lastWrite_)
                return true;
        }
    if (now - *writtenFrom_ >= kWrittenWaitMs) {
        Abandon();
        return false;
    }
    if (call_ == 0 && now - askedAt_ >= kStatEveryMs) {
        DocumentAsk ask;
        ask.request = DocumentRequest::FileTime;
        ask.keep.file = file_;
        call_ = documents_.Start(ask);
        askedAt_ = now;
    }
    return std::nullopt;
}

void Versions::Abandon() {
    if (call_ != 0)
        documents_.Abandon(call_);
    call_ = 0;
}

} // namespace quillon
