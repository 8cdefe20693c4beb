// The alerts Quillon switched off for a Save and a program has not taken back yet. A program whose
// alerts are off closes a changed document without asking whether to save it, so a put-back the
// program refused is owed until it takes it: one per program and application (integrated WPS
// Office shows the documents of three applications in one window, each with its own alerts). It
// belongs to the program, not to the window it was saved through: it is asked again every second
// through any window of the program still open, given in the program's own type to the very
// application it was read from, and dropped only when the program has ended. A call that may
// switch the alerts off and that nobody waits for any more (a Save still under way when another
// program was chosen) is adopted here, and its reply read for what it owes.
#pragma once

#include "platform/Platform.h"

#include <optional>
#include <vector>

namespace quillon {

class AlertsOwed {
public:
    static constexpr std::uint64_t kRetryMs = 1000;    // a refused put-back is asked again
    static constexpr std::uint64_t kCallWaitMs = 5000; // a put-back unanswered this long is asked again

    AlertsOwed(IDesktop& desktop, ISystem& system, IDocuments& documents)
        : desktop_(desktop), system_(system), documents_(documents) {}

    // What a reply said of the user's alerts: put back, or still owed.
    void Note(const DocumentTarget& target, const DocumentReply& reply);
    // A call whose reply nobody waits for any more, though it may switch the alerts off.
    void Adopt(const DocumentTarget& target, DocumentCallId call);
    // The user's own settings still owed to the program of `target`, by application: a Save gives
    // them as the user's, since the program's present "none" is Quillon's.
    UserAlerts OwedTo(const DocumentTarget& target) const;
    // The adopted calls' replies, the put-backs asked again, ended programs forgotten.
    void Poll(std::uint64_t now);
    bool Busy() const { return !owed_.empty() || !adopted_.empty(); }
    // Quillon ends: the adopted calls are waited for, then every put-back is asked once more and
    // waited for, all within `timeoutMs`.
    void BeforeExit(unsigned timeoutMs);

private:
    struct Owed {
        DocumentTarget target;     // a window of the program it was reached through last
        std::uint64_t started = 0; // when the program's process began: a reused process id is another program
        std::uint8_t application = 0;
        AlertsSetting setting;
        DocumentCallId call = 0;
        std::uint64_t callStart = 0;
        std::uint64_t nextAt = 0;
    };
    struct Adopted {
        DocumentTarget target;
        DocumentCallId call = 0;
    };

    Owed* Find(const DocumentTarget& target, std::uint8_t application);
    bool StillRuns(const Owed& owed);
    std::optional<DocumentTarget> Reach(const Owed& owed);
    bool Ask(Owed& owed, std::uint64_t now);

    IDesktop& desktop_;
    ISystem& system_;
    IDocuments& documents_;
    std::vector<Owed> owed_;
    std::vector<Adopted> adopted_;
};

} // namespace quillon
