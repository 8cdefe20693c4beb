#define DIRECTINPUT_VERSION 0x0700
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/Win32Platform.h"

#include <dinput.h>


namespace quillon::win32 {
namespace {

// Tells the main window when F2 or F3 goes down or up, so the device needs reading only then:
// a low-level keyboard hook of the window's own thread sees every key on its way to whichever
// program has the focus and passes it on untouched. While no key changes, nothing in Quillon runs.
class ChangeSignal {
public:
    explicit ChangeSignal(HWND window) {
        window_ = window;
        hook_ = SetWindowsHookExW(WH_KEYBOARD_LL, OnKey, GetModuleHandleW(nullptr), 0);
    }
    ~ChangeSignal() {
        if (hook_)
            UnhookWindowsHookEx(hook_);
    }
    ChangeSignal(const ChangeSignal&) = delete;
    ChangeSignal& operator=(const ChangeSignal&) = delete;

    bool Active() const { return hook_ != nullptr; }

private:
    static LRESULT CALLBACK OnKey(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HC_ACTION) {
            const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
            if (key->vkCode == VK_F2 || key->vkCode == VK_F3)
                PostMessageW(window_, kKeyboardChangedMessage, 0, 0);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static inline HWND window_ = nullptr; // the hook procedure has no context of its own
    HHOOK hook_ = nullptr;
};

class DirectInputKeyboard final : public IKeyboardDevice {
public:
    DirectInputKeyboard(ComPtr<IDirectInput7W> directInput, ComPtr<IDirectInputDevice7W> device,
                        std::unique_ptr<ChangeSignal> signal)
        : directInput_(std::move(directInput)), device_(std::move(device)), signal_(std::move(signal)) {}
    ~DirectInputKeyboard() override { signal_.reset(); }

    KeyboardRead ReadState(std::array<std::uint8_t, 256>& state) override {
        const HRESULT result = device_.get()->GetDeviceState(static_cast<DWORD>(state.size()), state.data());
        if (result == DIERR_INPUTLOST || result == DIERR_NOTACQUIRED)
            return KeyboardRead::InputLost;
        return SUCCEEDED(result) ? KeyboardRead::Ok : KeyboardRead::Failed;
    }

    bool Acquire() override { return SUCCEEDED(device_.get()->Acquire()); }
    void Unacquire() override { device_.get()->Unacquire(); }
    bool SignalsChanges() const override { return signal_->Active(); }

private:
    ComPtr<IDirectInput7W> directInput_; // declared first, released last
    ComPtr<IDirectInputDevice7W> device_;
    std::unique_ptr<ChangeSignal> signal_;
};

KeyboardSetup Failure(KeyboardSetupStep step, HRESULT result) {
    KeyboardSetup setup;
    setup.failedStep = step;
    setup.errorCode = static_cast<std::uint32_t>(result);
    return setup;
}

} // namespace

KeyboardSetup OpenDirectInputKeyboard(HINSTANCE instance, HWND window) {
    IDirectInput7W* rawInput = nullptr;
    HRESULT result = DirectInputCreateEx(instance, DIRECTINPUT_VERSION, IID_IDirectInput7W,
                                         reinterpret_cast<void**>(&rawInput), nullptr);
    if (FAILED(result))
        return Failure(KeyboardSetupStep::CreateDirectInput, result);
    ComPtr<IDirectInput7W> directInput(rawInput);

    IDirectInputDevice7W* rawDevice = nullptr;
    result = directInput.get()->CreateDeviceEx(GUID_SysKeyboard, IID_IDirectInputDevice7W,
                                               reinterpret_cast<void**>(&rawDevice), nullptr);
    if (FAILED(result))
        return Failure(KeyboardSetupStep::CreateDevice, result);
    ComPtr<IDirectInputDevice7W> device(rawDevice);

    if (FAILED(result = device.get()->SetDataFormat(&c_dfDIKeyboard)))
        return Failure(KeyboardSetupStep::SetDataFormat, result);
    if (FAILED(result = device.get()->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND)))
        return Failure(KeyboardSetupStep::SetCooperativeLevel, result);
    // Without the signal the watch reads the device on a 10 ms clock instead.
    auto signal = std::make_unique<ChangeSignal>(window);
    if (FAILED(result = device.get()->Acquire()))
        return Failure(KeyboardSetupStep::Acquire, result);

    KeyboardSetup setup;
    setup.device =
        std::make_unique<DirectInputKeyboard>(std::move(directInput), std::move(device), std::move(signal));
    return setup;
}

} // namespace quillon::win32
