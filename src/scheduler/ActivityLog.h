// The activity log "quillon.log" beside the executable: one line per typed save.
#pragma once

#include "platform/Platform.h"

#include <string>

namespace quillon {

// The log's path in `folder`, with exactly one backslash before the file name.
std::wstring LogPath(const std::wstring& folder);
// One line: the date-and-time text, one space, the listed entry with its line breaks as spaces,
// then CR LF.
std::wstring LogLine(const std::wstring& dateTime, const std::wstring& entry);

class ActivityLog {
public:
    explicit ActivityLog(ISystem& system) : system_(system) {}
    // Appends the line for a save of `entry`, opening and closing the file for it.
    bool Write(const std::wstring& entry);
    // A save the program made (and its file shows, where it is known): its line when the log is
    // on, and the mark on the debugger's output.
    void CountSave(bool writeLog, const std::wstring& entry);
    // Deletes the log; a missing file is not an error worth telling anyone about.
    void Clear();

private:
    ISystem& system_;
};

} // namespace quillon
