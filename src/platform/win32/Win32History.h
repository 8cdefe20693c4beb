// The history's files, made on a document worker (scheduler/History.h says what is kept and
// what goes). Every copy is written under a name that marks it partial and renamed once whole,
// so that it is in the history whole or not at all; the history is pruned before it is written.
#pragma once

#include "platform/Platform.h"

#include <string>

namespace quillon::win32 {

// KeepVersion, FileTime and CopyText.
void ServeFile(const DocumentAsk& ask, DocumentReply& reply);

// Writes `bytes` into the history as `keep.copyTo` followed by `extension`; the path written, or
// why nothing was.
KeepResult WriteCopy(const KeepAsk& keep, const std::wstring& extension, const std::string& bytes,
                     std::wstring& path);

// A copy that a program writes itself (SaveCopyAs, storeToURL): the partial name it is given,
// and the name it gets once the program has written it whole.
struct ProgramCopy {
    KeepResult ready = KeepResult::None; // Kept: the history has room and its folder is there
    std::wstring partial;
    std::wstring whole;
};
// `incoming`: the bytes the copy is expected to take, where they are known.
ProgramCopy PrepareProgramCopy(const KeepAsk& keep, const std::wstring& extension,
                               std::uint64_t incoming = 0);
// Once the program answered: the copy renamed whole, or removed when it was not `made`.
KeepResult CompleteProgramCopy(const ProgramCopy& copy, bool made, std::wstring& path);

} // namespace quillon::win32
