#include "scheduler/AlertsOwed.h"

#include "scheduler/DocumentSave.h"

#include <algorithm>
#include <utility>

namespace quillon {

void AlertsOwed::Note(const DocumentTarget& target, const DocumentReply& reply) {
    if (!reply.alerts || reply.alertsApplication >= kMostApplications)
        return;
    Owed* owed = Find(target, reply.alertsApplication);
    if (reply.alertsPutBack) {
        // A put-back still under way ends the record itself when it comes.
        if (owed && owed->call == 0)
            owed_.erase(owed_.begin() + (owed - owed_.data()));
        return;
    }
    if (!owed) {
        const auto started = desktop_.ProcessStartTime(target.processId);
        if (!started) // the program has ended: its alerts went with it
            return;
        owed_.push_back({target, *started, reply.alertsApplication, *reply.alerts});
        owed = &owed_.back();
    }
    owed->nextAt = system_.TickCountMs() + kRetryMs;
}

void AlertsOwed::Adopt(const DocumentTarget& target, DocumentCallId call) {
    if (call != 0)
        adopted_.push_back({target, call});
}

UserAlerts AlertsOwed::OwedTo(const DocumentTarget& target) const {
    UserAlerts users;
    for (const Owed& owed : owed_)
        if (owed.target.processId == target.processId && owed.target.program == target.program)
            users[owed.application] = owed.setting;
    return users;
}

void AlertsOwed::Poll(std::uint64_t now) {
    std::vector<std::pair<DocumentTarget, DocumentReply>> replies;
    std::erase_if(adopted_, [&](const Adopted& adopted) {
        auto reply = documents_.TakeReply(adopted.call);
        if (reply)
            replies.emplace_back(adopted.target, std::move(*reply));
        return reply.has_value();
    });
    std::erase_if(owed_, [&](Owed& owed) {
        if (!StillRuns(owed)) {
            if (owed.call != 0)
                documents_.Abandon(owed.call);
            return true;
        }
        if (owed.call != 0) {
            if (auto reply = documents_.TakeReply(owed.call)) {
                owed.call = 0;
                replies.emplace_back(owed.target, std::move(*reply));
            } else if (now - owed.callStart >= kCallWaitMs) {
                documents_.Abandon(owed.call);
                owed.call = 0;
            }
        } else if (now >= owed.nextAt) {
            owed.nextAt = now + kRetryMs;
            Ask(owed, now);
        }
        return false;
    });
    for (const auto& [target, reply] : replies)
        Note(target, reply);
}

void AlertsOwed::BeforeExit(unsigned timeoutMs) {
    const std::uint64_t until = system_.TickCountMs() + timeoutMs;
    const auto left = [&] {
        const std::uint64_t now = system_.TickCountMs();
        return static_cast<unsigned>(now < until ? until - now : 0);
    };
    for (const Adopted& adopted : std::exchange(adopted_, {}))
        if (const auto reply = documents_.WaitForReply(adopted.call, left()))
            Note(adopted.target, *reply);
    for (Owed& owed : owed_)
        if (owed.call == 0 && StillRuns(owed))
            Ask(owed, system_.TickCountMs());
    std::vector<std::pair<DocumentTarget, DocumentReply>> replies;
    for (const Owed& owed : owed_)
        if (owed.call != 0)
            if (auto reply = documents_.WaitForReply(owed.call, left()))
                replies.emplace_back(owed.target, std::move(*reply));
    for (Owed& owed : owed_)
        owed.call = 0;
    for (const auto& [target, reply] : replies)
        Note(target, reply);
}

AlertsOwed::Owed* AlertsOwed::Find(const DocumentTarget& target, std::uint8_t application) {
    const auto found = std::find_if(owed_.begin(), owed_.end(), [&](const Owed& owed) {
        return owed.target.processId == target.processId && owed.target.program == target.program &&
               owed.application == application;
    });
    return found == owed_.end() ? nullptr : &*found;
}

bool AlertsOwed::StillRuns(const Owed& owed) {
    return desktop_.ProcessStartTime(owed.target.processId) == owed.started;
}

// The window it was reached through while it is still the program's, else any other window of the
// program that shows one of its documents (Excel shows each workbook in a window of its own).
std::optional<DocumentTarget> AlertsOwed::Reach(const Owed& owed) {
    const DocumentTarget& last = owed.target;
    if (desktop_.IsWindow(last.window) && desktop_.ProcessIdOf(last.window) == last.processId)
        return last;
    std::optional<DocumentTarget> found;
    desktop_.EnumerateWindows([&](WindowHandle window) {
        if (found || desktop_.ProcessIdOf(window) != last.processId)
            return;
        if (auto target = FindDocumentTarget(desktop_, window); target && target->program == last.program)
            found = std::move(target);
    });
    return found;
}

// A program the system takes for hung is not asked; one without a window to reach it through is
// asked once it shows one again.
bool AlertsOwed::Ask(Owed& owed, std::uint64_t now) {
    const auto target = Reach(owed);
    if (!target || desktop_.IsHung(target->window))
        return false;
    owed.target = *target;
    DocumentAsk ask;
    ask.request = DocumentRequest::RestoreAlerts;
    ask.target = *target;
    ask.userAlerts[owed.application] = owed.setting;
    ask.application = owed.application;
    owed.call = documents_.Start(ask);
    owed.callStart = now;
    return owed.call != 0;
}

} // namespace quillon
