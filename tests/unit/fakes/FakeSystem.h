// In-memory time, files, text conversion and keyboard device.
#pragma once

#include "platform/Platform.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quillon::fakes {

// Milliseconds since an arbitrary start; tests move it forward.
struct FakeClock {
    std::uint64_t now = 1'000'000;
    void Advance(std::uint64_t ms) { now += ms; }
};

// The state behind the keyboard device. It outlives the device, which the main window owns.
struct KeyboardState {
    std::array<std::uint8_t, 256> keys{};
    bool readsFail = false;
    bool acquired = true; // false once its input was lost, until it is acquired again
    bool signalsChanges = false; // true: read when a key changes, not on a clock
    int reads = 0;
    int acquires = 0;
    int unacquires = 0;
    void Press(int dik) { keys[dik] = 0x80; }
    void Release(int dik) { keys[dik] = 0; }
};

class FakeKeyboardDevice : public IKeyboardDevice {
public:
    explicit FakeKeyboardDevice(KeyboardState& state) : state_(state) {}
    KeyboardRead ReadState(std::array<std::uint8_t, 256>& out) override {
        ++state_.reads;
        if (!state_.acquired)
            return KeyboardRead::InputLost;
        if (state_.readsFail)
            return KeyboardRead::Failed;
        out = state_.keys;
        return KeyboardRead::Ok;
    }
    bool Acquire() override {
        ++state_.acquires;
        state_.acquired = true;
        return true;
    }
    void Unacquire() override {
        ++state_.unacquires;
        state_.acquired = false;
    }
    bool SignalsChanges() const override { return state_.signalsChanges; }

private:
    KeyboardState& state_;
};

// UTF-8 stands in for the ANSI code page, so every text survives the round trip.
inline std::string Utf8(const std::wstring& text) {
    std::string out;
    for (wchar_t wc : text) {
        const auto c = static_cast<std::uint32_t>(wc);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

inline std::wstring FromUtf8(const std::string& text) {
    std::wstring out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::uint32_t value = c;
        std::size_t extra = 0;
        if (c >= 0xE0) {
            value = c & 0x0F;
            extra = 2;
        } else if (c >= 0xC0) {
            value = c & 0x1F;
            extra = 1;
        }
        ++i;
        for (; extra > 0 && i < text.size(); --extra, ++i)
            value = (value << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
        out += static_cast<wchar_t>(value);
    }
    return out;
}

// A document's file on the disk, as the history's requests find it and a program's save writes it.
struct FakeFile {
    std::uint64_t lastWrite = 1;
    bool locked = false;         // another program holds it without sharing
    std::uint64_t keptWrite = 0; // the last write of the newest version kept of it
};

class FakeSystem : public ISystem {
public:
    explicit FakeSystem(FakeClock& clock) : clock(clock) {}

    std::uint64_t TickCountMs() override { return clock.now; }
    LocalTime LocalNow() override { return localNow; }
    std::wstring HistoryFolder() override { return history; }
    std::wstring NowAsGeneralDate() override { return dateTime; }
    std::wstring ExecutableFolder() override { return folder; }
    std::wstring ExecutablePath() override { return folder + L"\\quillon.exe"; }
    bool AppendBytes(const std::wstring& path, const std::string& bytes) override {
        ++appendCalls;
        if (writesFail)
            return false;
        files[path] += bytes;
        return true;
    }
    bool FileExists(const std::wstring& path) override { return files.contains(path); }
    bool RemoveFile(const std::wstring& path) override {
        ++removeCalls;
        return files.erase(path) == 1;
    }
    std::string ToAnsi(const std::wstring& text) override { return Utf8(text); }
    std::wstring FromAnsi(const std::string& text) override { return FromUtf8(text); }
    wchar_t DecimalSeparator() override { return L'.'; }
    KeyboardSetup OpenKeyboard(WindowHandle) override {
        KeyboardSetup setup;
        if (keyboardFailsAt) {
            setup.failedStep = *keyboardFailsAt;
            setup.errorCode = 0x80004005u;
        } else {
            setup.device = std::make_unique<FakeKeyboardDevice>(keyboard);
        }
        return setup;
    }
    int FullScreenWidth() override { return screenWidth; }
    int FullScreenHeight() override { return screenHeight; }
    void Trace(const wchar_t* event) override { traces.emplace_back(event); }

    FakeClock& clock;
    std::wstring dateTime = L"2024-03-05 14:07:09";
    LocalTime localNow{2024, 3, 5, 14, 7, 9};
    std::wstring history = L"C:\\Users\\me\\AppData\\Local\\Quillon\\History";
    std::wstring folder = L"C:\\Tools";
    std::map<std::wstring, std::string> files;
    bool writesFail = false;
    int appendCalls = 0;
    int removeCalls = 0;
    std::optional<KeyboardSetupStep> keyboardFailsAt;
    KeyboardState keyboard;
    int screenWidth = 1024;
    int screenHeight = 738;
    std::vector<std::wstring> traces;
};

} // namespace quillon::fakes
