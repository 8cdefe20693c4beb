// Synthetic input: a set of keys held down, and a record of every batch typed. Typed events are
// fed back into the key state, so a test can see a key left down by the program's own typing,
// and each one that went in is handed on (to the fake desktop's program in front).
#pragma once

#include "fakes/FakeSystem.h"
#include "platform/Platform.h"

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace quillon::fakes {

struct TypedBatch {
    std::vector<KeyEvent> events;
    WindowHandle target;
};

class FakeInput : public IInput {
public:
    bool IsKeyDown(std::uint8_t virtualKey) override { return down.count(virtualKey) != 0; }
    std::uint64_t MsSinceLastInput() override { return clock ? clock->now - lastInputAt : idleMs; }
    // The user presses a key or moves the mouse now.
    void UserInput() {
        if (clock)
            lastInputAt = clock->now;
    }
    std::size_t SendKeys(const std::vector<KeyEvent>& events, WindowHandle target) override {
        batches.push_back({events, target});
        UserInput(); // the system counts synthetic input as input too
        std::size_t inserted = insertLimit ? std::min(*insertLimit, events.size()) : events.size();
        if (const auto cut = cutBatches.find(batches.size() - 1); cut != cutBatches.end())
            inserted = std::min(cut->second, events.size());
        for (std::size_t i = 0; i < inserted; ++i) {
            if (events[i].down)
                down.insert(events[i].virtualKey);
            else
                down.erase(events[i].virtualKey);
            if (onKey)
                onKey(events[i]);
        }
        return inserted;
    }

    std::set<std::uint8_t> down;
    std::vector<TypedBatch> batches;
    std::optional<std::size_t> insertLimit; // the system inserts no more than this many events
    std::map<std::size_t, std::size_t> cutBatches; // batch index → events of it the system inserts
    std::function<void(const KeyEvent&)> onKey;
    // The user's last input: at `lastInputAt` on `clock`, or without a clock `idleMs` ago.
    const FakeClock* clock = nullptr;
    std::uint64_t lastInputAt = 0;
    std::uint64_t idleMs = 60'000;
};

} // namespace quillon::fakes
